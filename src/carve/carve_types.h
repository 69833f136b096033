// The file types carving knows: the rows the user ticks, and the entries
// the scan searches for (one entry may stand for several rows, as the
// compound-document entry stands for DOC, PPT, XLS and PMD).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/bytes.h"

namespace korv {

inline constexpr std::string_view kMsgNoExtensionTicked = "You have not selected any extension. Please select.";

// One row of the extension list.
struct CarveRow {
  std::string_view name;  // upper case; the folder and the file extension
  std::string_view text;  // the row as the list shows it
};

// Every row in list order: the 23 classic rows, then the types added after
// them (their indices never move).
std::span<const CarveRow> CarveRows();
// The rows for names given by the user ("jpeg", "PNG"; "all" for every row);
// nothing for an unknown name.
std::optional<std::vector<std::size_t>> RowsNamed(std::string_view commaSeparated);

// How an entry finds where its file ends.
enum class EndRule {
  SizeField,         // a little-endian size in the header (AVI, BMP, CDR, SWF, WAV)
  FixedLength,       // always maxSize bytes (SAM)
  Footer,            // the first footer after the header
  CompoundDocument,  // the probed compound-document type and its footers
  Database,          // the MDB sector walk
  Structure,         // only the file's own structure (the added types): always exact
};

// How the file's own structure gives its exact end, when it does.
enum class ExactEnd {
  None,        // only the whole-sector rule
  SizeField,   // the size field, exactly
  AfterFooter, // just after the footer (and one line end after it)
  Xml,         // the root element's closing tag and one line end
  Jpeg, Png, Zip, Pdf, Rtf, Gif, Mp4, Mp3, SevenZip, Sqlite,
};

struct Signature {
  std::vector<std::uint8_t> bytes;
  std::int32_t offset = 0;  // -1: anywhere
  std::string_view typeName;  // the type a footer match stands for
};

struct CarveEntry {
  std::string_view name;
  std::vector<Signature> headers;
  EndRule endRule = EndRule::Footer;
  ExactEnd exactEnd = ExactEnd::None;
  std::vector<Signature> footers;
  std::uint32_t sizeFieldOffset = 0;
  std::uint32_t sizeFieldAdd = 0;  // bytes the size field does not count (RIFF's first 8)
  std::uint64_t maxSize = 0;       // size-field and fixed-length types
  bool clampToMax = false;         // AVI: a bigger size is cut to maxSize
  std::uint64_t maxSearchBytes = 10'485'760;  // how far after the header an end is looked for
  std::vector<std::string_view> outputs;      // the row names this entry can write
  std::vector<std::string_view> ticked;       // those of them the user ticked
  bool htmlLength = false;                    // the whole-sector rule adds one sector, not two
};

// The entries to search for the ticked rows, in list order.
std::vector<CarveEntry> BuildCarveEntries(std::span<const std::size_t> tickedRows);

bool IsTicked(const CarveEntry& entry, std::string_view name);

struct HeaderMatch {
  std::size_t entry = 0;
  std::size_t header = 0;
};

// The headers of a list of entries, looked up by the sector's first byte so
// that a sector costs one or two comparisons instead of one per header.
class HeaderIndex {
 public:
  explicit HeaderIndex(std::span<const CarveEntry> entries);
  // The first entry in list order whose header stands in `sector`.
  std::optional<HeaderMatch> Find(ByteView sector) const;

 private:
  std::span<const CarveEntry> entries_;
  std::array<std::vector<HeaderMatch>, 256> atStart_;  // headers at offset 0, by their first byte
  std::vector<HeaderMatch> elsewhere_;                 // headers at other offsets
};

// The first entry whose header stands in `sector` (first hit wins).
std::optional<HeaderMatch> FindHeader(std::span<const CarveEntry> entries, ByteView sector);

}  // namespace korv
