// What the results view's preview does with a file, without a window: which
// kind of preview its name asks for, the text of an RTF file, and the
// entries of a ZIP archive.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korv {

inline constexpr std::string_view kPreviewWaitText = "Please wait while generating preview......";
inline constexpr std::string_view kQuestionStopPreview =
    "Do you want to stop this process. This may give you incomplete data.";
inline constexpr std::string_view kArchiveColumns[] = {"File Name", "Modified Date", "Actual Size", "Compressed Size"};
// Files larger than this are not extracted for a preview (only to open).
inline constexpr std::uint64_t kMaxPreviewBytes = 256ull << 20;

enum class PreviewKind { Picture, RichText, Archive, None };

// By the last four characters of the name, without regard to case: "JPEG",
// ".jpg", ".BMP", ".PNG", ".GIF", ".TIF", ".dng", ".ico" a picture, ".rtf"
// rich text, ".zip" an archive, anything else none.
PreviewKind PreviewKindOf(std::u16string_view name);

// Whether a preview extracts the file at all: only a kind the preview can
// show, and never more than kMaxPreviewBytes (the no-preview picture shows
// instead). An open extracts every file.
bool ExtractForPreview(std::u16string_view name, std::uint64_t size);

// A stretch of RTF text with its character formatting.
struct RtfRun {
  std::string text;  // UTF-8
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool paragraphEnd = false;  // a paragraph ends after this run
};

// The text of an RTF document with the common character formatting (\b,
// \i, \ul, \par, \line, \tab, \'hh in Windows-1252, \uN with its fallback,
// groups, destinations such as fonttbl, colortbl, stylesheet, info, pict
// and \* skipped). Never returns markup; a damaged document gives what
// could be read. Time and memory grow with the input's size only, whatever
// its nesting.
std::vector<RtfRun> ReadRtf(std::string_view document);
std::string RtfPlainText(std::string_view document);

struct ZipEntry {
  std::string name;      // UTF-8
  std::string modified;  // "dd-Mon-yyyy hh:mm:ss"
  std::uint64_t size = 0;
  std::uint64_t compressedSize = 0;
};
// A preview lists no more entries than this: it is a glance, not a catalogue.
inline constexpr std::size_t kMaxZipEntries = 100000;
// The entries of a ZIP archive (at most kMaxZipEntries of them, in the
// archive's order), or nothing when it cannot be read.
std::optional<std::vector<ZipEntry>> ListZipEntries(const std::string& path);

}  // namespace korv
