#include "carve/carve_types.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <sstream>
#include <tuple>

namespace korv {

namespace {

constexpr std::array kRows{
    CarveRow{"AVI", "AVI    -   Audio Video Interleave"},
    CarveRow{"BMP", "BMP    -   Bitmap Image File"},
    CarveRow{"CDR", "CDR    -   Corel Draw File"},
    CarveRow{"CPP", "CPP    -   C++ Code File"},
    CarveRow{"DOC", "DOC    -   Microsoft Office Word File"},
    CarveRow{"DWG", "DWG    -   Autocad Drawing File"},
    CarveRow{"EML", "EML    -   Email Client File"},
    CarveRow{"HTML", "HTML   -   Web Files"},
    CarveRow{"JPEG", "JPEG   -   Image Format"},
    CarveRow{"MDB", "MDB    -   Database File"},
    CarveRow{"PDF", "PDF    -   Adobe File"},
    CarveRow{"PMD", "PMD    -   Adobe Pagemaker File"},
    CarveRow{"PNG", "PNG    -   Image Format"},
    CarveRow{"PPT", "PPT    -   Microsoft Office Powerpoint File"},
    CarveRow{"PSD", "PSD    -   Adobe Photoshop File"},
    CarveRow{"RAR", "RAR    -   Archival File Format"},
    CarveRow{"RTF", "RTF    -   Rich Text Format Document"},
    CarveRow{"SAM", "SAM    -   Sam Document Files"},
    CarveRow{"SWF", "SWF    -   Shockwave Flash File"},
    CarveRow{"TIF", "TIF    -   Image File Format"},
    CarveRow{"XLS", "XLS    -   Microsoft Office Excel File"},
    CarveRow{"XML", "XML    -   Schema Extension Element"},
    CarveRow{"ZIP", "ZIP    -   Compressed Archive File"},
    // Added after the classic rows, so those keep their indices.
    CarveRow{"GIF", "GIF    -   Graphics Interchange Format"},
    CarveRow{"MP4", "MP4    -   MPEG-4 Video File"},
    CarveRow{"MOV", "MOV    -   QuickTime Movie File"},
    CarveRow{"MP3", "MP3    -   MPEG Audio File"},
    CarveRow{"WAV", "WAV    -   Waveform Audio File"},
    CarveRow{"7Z", "7Z     -   7-Zip Archive File"},
    CarveRow{"SQLITE", "SQLITE -   SQLite Database File"},
    CarveRow{"DOCX", "DOCX   -   Office Open Word File"},
    CarveRow{"XLSX", "XLSX   -   Office Open Excel File"},
    CarveRow{"PPTX", "PPTX   -   Office Open Powerpoint File"},
};

std::vector<std::uint8_t> Bytes(std::string_view text) { return {text.begin(), text.end()}; }
std::vector<std::uint8_t> Bytes(std::initializer_list<std::uint8_t> bytes) { return bytes; }

Signature At0(std::vector<std::uint8_t> bytes) { return {std::move(bytes), 0, {}}; }
Signature Anywhere(std::vector<std::uint8_t> bytes, std::string_view typeName = {}) {
  return {std::move(bytes), -1, typeName};
}

CarveEntry NewEntry(std::string_view name, std::vector<Signature> headers) {
  CarveEntry entry;
  entry.name = name;
  entry.headers = std::move(headers);
  return entry;
}

constexpr std::uint8_t kRiff[] = {'R', 'I', 'F', 'F'};

CarveEntry SizeFieldEntry(std::string_view name, Signature header, std::uint32_t offset, std::uint32_t add,
                          std::uint64_t maxSize) {
  CarveEntry entry = NewEntry(name, {std::move(header)});
  entry.endRule = EndRule::SizeField;
  entry.exactEnd = ExactEnd::SizeField;
  entry.sizeFieldOffset = offset;
  entry.sizeFieldAdd = add;
  entry.maxSize = maxSize;
  return entry;
}

CarveEntry FooterEntry(std::string_view name, std::vector<Signature> headers, std::vector<Signature> footers,
                       ExactEnd exact) {
  CarveEntry entry = NewEntry(name, std::move(headers));
  entry.footers = std::move(footers);
  entry.exactEnd = exact;
  return entry;
}

// Every entry in list order, each with the rows it writes. Entries of rows
// found through another entry (PMD, PPT, XLS; MOV; DOCX, XLSX, PPTX) have
// no entry of their own.
std::vector<CarveEntry> AllEntries() {
  std::vector<CarveEntry> entries;
  const std::vector<std::uint8_t> riff(std::begin(kRiff), std::end(kRiff));

  CarveEntry avi = SizeFieldEntry("AVI", At0(riff), 4, 8, 734'003'200);
  avi.clampToMax = true;
  entries.push_back(std::move(avi));
  entries.push_back(SizeFieldEntry("BMP", At0(Bytes("BM")), 2, 0, 52'428'800));
  entries.push_back(SizeFieldEntry("CDR", At0(riff), 4, 8, 52'428'800));

  CarveEntry cpp = FooterEntry("CPP", {At0(Bytes("// "))}, {Anywhere(Bytes({0x7D, 0x0D, 0x0A, 0x00, 0x00}))},
                               ExactEnd::None);
  cpp.maxSearchBytes = 512'000;
  entries.push_back(std::move(cpp));

  CarveEntry doc = NewEntry("DOC", {At0(Bytes({0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1}))});
  doc.endRule = EndRule::CompoundDocument;
  doc.footers = {Anywhere(Bytes("Word.Document"), "DOC"),
                 Anywhere(Bytes({0x00, 0x00, 0x00, 0x14, 0x00, 0x00, 0x00, 0x5F, 0xC0, 0x91, 0xE3}), "PPT"),
                 Anywhere(Bytes({0x01, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x04}), "XLS"),
                 Anywhere(Bytes("DISPLAY"), "PMD")};
  doc.outputs = {"DOC", "PMD", "PPT", "XLS"};
  entries.push_back(std::move(doc));

  CarveEntry dwg = FooterEntry("DWG", {At0(Bytes("AC1015"))},
                               {Anywhere(Bytes({0xAC, 0xDB, 0xBF, 0xF6, 0xED, 0xC3, 0x55, 0xFE, 0x00, 0x00}))},
                               ExactEnd::None);
  dwg.maxSearchBytes = 734'003'200;
  entries.push_back(std::move(dwg));
  entries.push_back(FooterEntry("EML", {At0(Bytes("MIME-"))}, {Anywhere(Bytes({0x0D, 0x0A, 0x00, 0x00}))},
                                ExactEnd::None));

  CarveEntry html = FooterEntry(
      "HTML", {At0(Bytes("<html>")), At0(Bytes("\r\n<html>")), At0(Bytes("<HTML>")), At0(Bytes("\r\n<HTML>"))},
      {Anywhere(Bytes("</html>")), Anywhere(Bytes("</HTML>"))}, ExactEnd::AfterFooter);
  html.htmlLength = true;
  entries.push_back(std::move(html));

  entries.push_back(FooterEntry("JPEG", {At0(Bytes({0xFF, 0xD8, 0xFF}))}, {Anywhere(Bytes({0xFF, 0xD9}))},
                                ExactEnd::Jpeg));

  CarveEntry mdb = NewEntry("MDB", {At0(Bytes({0x00, 0x01, 0x00, 0x00, 'S', 't', 'a', 'n'}))});
  mdb.endRule = EndRule::Database;
  entries.push_back(std::move(mdb));

  entries.push_back(FooterEntry("PDF", {At0(Bytes("%PDF"))}, {Anywhere(Bytes("%%EOF"))}, ExactEnd::Pdf));
  entries.push_back(FooterEntry("PNG", {At0(Bytes({0x89, 'P', 'N', 'G'}))},
                                {Anywhere(Bytes({'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82}))}, ExactEnd::Png));

  std::vector<std::uint8_t> psdFooter(16, 0);
  psdFooter[0] = 0xFF;
  entries.push_back(FooterEntry("PSD", {At0(Bytes("8BPS"))}, {Anywhere(std::move(psdFooter))}, ExactEnd::None));
  entries.push_back(FooterEntry("RAR", {At0(Bytes("Rar!"))}, {Anywhere(Bytes({0x00, 0x40, 0x07, 0x00}))},
                                ExactEnd::None));
  entries.push_back(FooterEntry("RTF", {At0(Bytes("{\\rtf1"))}, {Anywhere(Bytes({0x00, 0x00}))}, ExactEnd::Rtf));

  CarveEntry sam = NewEntry("SAM", {At0(Bytes("reg"))});
  sam.endRule = EndRule::FixedLength;
  sam.maxSize = 28'672;
  entries.push_back(std::move(sam));

  entries.push_back(SizeFieldEntry("SWF", At0(Bytes("FWS")), 4, 0, 52'428'800));
  entries.push_back(FooterEntry("TIF", {At0(Bytes({'I', 'I', '*', 0x00}))}, {Anywhere(std::vector<std::uint8_t>(16, 0))},
                                ExactEnd::None));
  entries.push_back(FooterEntry("XML", {At0(Bytes("<?xml"))}, {Anywhere(Bytes({0x0D, 0x0A, 0x00, 0x00}))},
                                ExactEnd::Xml));

  CarveEntry zip = FooterEntry("ZIP", {At0(Bytes("PK"))}, {Anywhere(Bytes({'P', 'K', 0x05, 0x06}))}, ExactEnd::Zip);
  zip.outputs = {"ZIP", "DOCX", "XLSX", "PPTX"};
  entries.push_back(std::move(zip));

  // The added types.
  CarveEntry gif = NewEntry("GIF", {At0(Bytes("GIF87a")), At0(Bytes("GIF89a"))});
  gif.endRule = EndRule::Structure;
  gif.exactEnd = ExactEnd::Gif;
  entries.push_back(std::move(gif));
  CarveEntry mp4 = NewEntry("MP4", {Signature{Bytes("ftyp"), 4, {}}});
  mp4.endRule = EndRule::Structure;
  mp4.exactEnd = ExactEnd::Mp4;
  mp4.maxSearchBytes = 4'294'967'296;
  mp4.outputs = {"MP4", "MOV"};
  entries.push_back(std::move(mp4));
  CarveEntry mp3 = NewEntry("MP3", {At0(Bytes("ID3"))});
  mp3.endRule = EndRule::Structure;
  mp3.exactEnd = ExactEnd::Mp3;
  mp3.maxSearchBytes = 104'857'600;
  entries.push_back(std::move(mp3));
  entries.push_back(SizeFieldEntry("WAV", At0(riff), 4, 8, 734'003'200));
  CarveEntry sevenZip = NewEntry("7Z", {At0(Bytes({'7', 'z', 0xBC, 0xAF, 0x27, 0x1C}))});
  sevenZip.endRule = EndRule::Structure;
  sevenZip.exactEnd = ExactEnd::SevenZip;
  sevenZip.maxSearchBytes = 4'294'967'296;
  entries.push_back(std::move(sevenZip));
  CarveEntry sqlite = NewEntry("SQLITE", {At0(Bytes(std::string_view("SQLite format 3\0", 16)))});
  sqlite.endRule = EndRule::Structure;
  sqlite.exactEnd = ExactEnd::Sqlite;
  sqlite.maxSearchBytes = 4'294'967'296;
  entries.push_back(std::move(sqlite));

  for (CarveEntry& entry : entries) {
    if (entry.outputs.empty()) entry.outputs = {entry.name};
  }
  return entries;
}

std::string Upper(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

bool IsJpegMarkerAfterStart(std::uint8_t marker) {
  return (marker >= 0xE0 && marker <= 0xEF) || marker == 0xDB || marker == 0xC4 || marker == 0xFE ||
         marker == 0xDD || (marker >= 0xC0 && marker <= 0xC2);
}

// What a header's bytes alone cannot tell: the marker segment after a JPEG's
// start of image, the RIFF form type, the ID3 version.
bool HeaderHolds(const CarveEntry& entry, ByteView sector) {
  const std::string_view name = entry.name;
  if (name == "JPEG") {
    const auto marker = sector.u8(3);
    const auto length = sector.u16be(4);
    return marker && length && IsJpegMarkerAfterStart(*marker) && *length >= 2;
  }
  if (name == "BMP") {
    // Reserved words zero, and an information header of a size some
    // version of the format defines.
    const auto reserved = sector.u32le(6);
    const auto infoSize = sector.u32le(14);
    return reserved == 0u && infoSize &&
           (*infoSize == 12 || *infoSize == 40 || *infoSize == 52 || *infoSize == 56 || *infoSize == 108 ||
            *infoSize == 124);
  }
  // An archive begins with a local file header, or is empty and holds only
  // its end record.
  if (name == "ZIP") return sector.matches(2, "\x03\x04") || sector.matches(2, "\x05\x06");
  if (name == "AVI") return sector.matches(8, "AVI ");
  if (name == "WAV") return sector.matches(8, "WAVE");
  if (name == "CDR") return sector.matches(8, "CDR");
  if (name == "MP3") {
    const auto major = sector.u8(3);
    return major && *major >= 2 && *major <= 4;
  }
  if (name == "MP4") {
    const auto size = sector.u32be(0);
    return size && *size >= 8;
  }
  return true;
}

bool SignatureAt(const Signature& signature, ByteView sector) {
  if (signature.offset < 0) return false;
  const ByteView bytes = sector.sub(static_cast<std::uint64_t>(signature.offset), signature.bytes.size());
  return bytes.size() == signature.bytes.size() && std::equal(signature.bytes.begin(), signature.bytes.end(), bytes.data());
}

}  // namespace

std::span<const CarveRow> CarveRows() { return kRows; }

std::optional<std::vector<std::size_t>> RowsNamed(std::string_view commaSeparated) {
  std::vector<std::size_t> rows;
  std::istringstream list{std::string(commaSeparated)};
  for (std::string name; std::getline(list, name, ',');) {
    const std::string wanted = Upper(name);
    if (wanted == "ALL") {
      for (std::size_t row = 0; row < kRows.size(); ++row) rows.push_back(row);
      continue;
    }
    const auto found = std::find_if(kRows.begin(), kRows.end(), [&](const CarveRow& row) { return row.name == wanted; });
    if (found == kRows.end()) return std::nullopt;
    rows.push_back(static_cast<std::size_t>(found - kRows.begin()));
  }
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

bool IsTicked(const CarveEntry& entry, std::string_view name) {
  return std::find(entry.ticked.begin(), entry.ticked.end(), name) != entry.ticked.end();
}

std::vector<CarveEntry> BuildCarveEntries(std::span<const std::size_t> tickedRows) {
  std::vector<CarveEntry> built;
  for (CarveEntry& entry : AllEntries()) {
    for (const std::size_t row : tickedRows) {
      if (row >= kRows.size()) continue;
      const std::string_view name = kRows[row].name;
      if (std::find(entry.outputs.begin(), entry.outputs.end(), name) != entry.outputs.end()) {
        entry.ticked.push_back(name);
      }
    }
    if (!entry.ticked.empty()) built.push_back(std::move(entry));
  }
  return built;
}

HeaderIndex::HeaderIndex(std::span<const CarveEntry> entries) : entries_(entries) {
  for (std::size_t e = 0; e < entries.size(); ++e) {
    for (std::size_t h = 0; h < entries[e].headers.size(); ++h) {
      const Signature& header = entries[e].headers[h];
      if (header.bytes.empty()) continue;
      if (header.offset == 0) {
        atStart_[header.bytes.front()].push_back({e, h});
      } else {
        elsewhere_.push_back({e, h});
      }
    }
  }
}

std::optional<HeaderMatch> HeaderIndex::Find(ByteView sector) const {
  const auto first = sector.u8(0);
  if (!first) return std::nullopt;
  const auto holds = [&](const HeaderMatch& m) {
    return SignatureAt(entries_[m.entry].headers[m.header], sector) && HeaderHolds(entries_[m.entry], sector);
  };
  std::optional<HeaderMatch> found;
  for (const HeaderMatch& m : atStart_[*first]) {
    if (holds(m)) {
      found = m;
      break;
    }
  }
  // Both lists are in list order: a header elsewhere wins only when its
  // entry comes first.
  for (const HeaderMatch& m : elsewhere_) {
    if (found && std::tie(m.entry, m.header) > std::tie(found->entry, found->header)) break;
    if (holds(m)) return m;
  }
  return found;
}

std::optional<HeaderMatch> FindHeader(std::span<const CarveEntry> entries, ByteView sector) {
  return HeaderIndex(entries).Find(sector);
}

}  // namespace korv
