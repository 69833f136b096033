// The installed applications a file may be opened with, as desktop entries
// (`.desktop` files) describe them: the name shown, the command line, and
// the MIME types the application declares. Toolkit-free: the wizard reads
// the files and asks the MIME database; this decides what they say.
//
// Entries come from any package on the machine, so they are read with
// bounds: only the first kMaxDesktopEntryBytes of a file, no line longer
// than kMaxDesktopEntryLine, no more than kMaxExecArguments arguments.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korv {

inline constexpr std::size_t kMaxDesktopEntryBytes = 64 * 1024;
inline constexpr std::size_t kMaxDesktopEntryLine = 4096;
inline constexpr std::size_t kMaxExecArguments = 256;

struct DesktopEntry {
  std::string id;  // the file's desktop id, "org.example.Viewer.desktop"
  std::string name;
  std::string exec;
  std::vector<std::string> mimeTypes;
  bool noDisplay = false;
  // Set by OrderForTypes: the entry declares one of the file's types.
  bool declaresType = false;
};

// The application described by the `[Desktop Entry]` group of `text`, or
// nothing when it is not an application that can be started (another
// Type, Hidden, no Name or no Exec). Localised keys ("Name[de]") are passed
// over; the plain key is the one shown.
std::optional<DesktopEntry> ParseDesktopEntry(std::string_view text, std::string_view id);

// The command line of `exec` as a program and its arguments, split by the
// desktop entry rules (double quotes, backslash escapes), with %f %F %u %U
// replaced by `file`, %% by "%", and every other field code dropped. When
// Exec names no file code the file is added at the end, so the program
// still gets it. Empty when the line is unusable (an open quote, no
// program or a field code in its place, too many arguments).
std::vector<std::string> ExecArguments(std::string_view exec, const std::string& file);

// The entries to offer for a file whose type (with its aliases and the
// types it inherits) is `types`: those declaring one of them first, then the
// others that are meant to be shown, each part by name; a desktop id met
// twice keeps its first entry (the data folders come in order of
// precedence).
std::vector<DesktopEntry> OrderForTypes(std::vector<DesktopEntry> entries, const std::vector<std::string>& types);

}  // namespace korv
