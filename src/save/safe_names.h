// Names from a disk made into names of the host, and the paths saved files
// go to. A recovered name comes from a damaged, possibly hostile disk: it
// never names a path outside the folder the user chose.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "engine/store.h"

namespace korv {

// The longest name, in bytes of UTF-8, the host's file systems take.
inline constexpr std::size_t kMaxHostNameBytes = 255;
// What an empty file name becomes, followed by the file's insertion number.
inline constexpr std::string_view kNoNamePrefix = "NoName";

// A found name as one component of a host path: UTF-8, "/" and NUL replaced
// by "_", "." and ".." given a stand-in ("_" and "__"), shortened to 255
// bytes keeping its extension. An empty name becomes kNoNamePrefix followed
// by `emptyNumber`.
std::string SafeHostName(std::u16string_view name, std::uint32_t emptyNumber);

// The name a found file is saved under: SafeHostName of its name; for a
// stream item going to a file system whose names cannot hold ":" (FAT,
// exFAT), with every ":" made "_", so "file:stream" becomes "file_stream".
std::string SavedFileName(const FoundFile& file, bool namesMayHoldColons);

// `name` cut to at most `maxBytes` bytes of UTF-8 on a character boundary,
// keeping the extension (the last "." and what follows) when it is short
// enough to leave room for part of the stem.
std::string ShortenName(std::string_view name, std::size_t maxBytes = kMaxHostNameBytes);

// True when `path`, taken without following links, lies inside `folder`
// (and is not the folder itself).
bool LiesInside(const std::filesystem::path& folder, const std::filesystem::path& path);

// True when something, a dangling link included, is at `path`.
bool SomethingAt(const std::filesystem::path& path);

// The destination of a file: its folder and its name, rewritten together by
// MakeUniqueName.
struct SaveTarget {
  std::filesystem::path folder;
  std::string name;

  std::filesystem::path path() const { return folder / name; }
};

// The Rename answer: the first of name0.ext, name1.ext, … name9999.ext (the
// number at the end when the name has no ".") at which nothing exists
// replaces the target's name. When all 10,000 exist the target stays as it
// was, and the file is overwritten.
void MakeUniqueName(SaveTarget& target);

// Makes every missing folder along `path`. False when the path is not a
// folder afterwards (a file of that name in the way is never removed).
bool CreateFolderPath(const std::filesystem::path& path);

}  // namespace korv
