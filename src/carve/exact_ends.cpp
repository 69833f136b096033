#include "carve/exact_ends.h"

#include <algorithm>
#include <array>
#include <string>

namespace korv {

namespace {

// A damaged file must not keep a walk alive: no walk takes more steps.
constexpr std::uint64_t kMaxSteps = 10'000'000;

std::optional<std::uint64_t> End(std::uint64_t start, std::uint64_t pos, std::uint64_t limit) {
  if (pos <= start || pos - start > limit) return std::nullopt;
  return pos - start;
}

// The position just after one line end (CR LF, LF or CR) at pos, or pos.
std::uint64_t AfterLineEnd(RangeReader& reader, std::uint64_t pos) {
  const ByteView bytes = reader.At(pos, 2);
  const auto first = bytes.u8(0);
  if (first == 0x0D) return bytes.u8(1) == 0x0A ? pos + 2 : pos + 1;
  if (first == 0x0A) return pos + 1;
  return pos;
}

bool IsJpegStandalone(std::uint8_t marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }

// After a start-of-scan header: the position of the next marker, skipping
// stuffed bytes (FF 00) and restart markers.
std::optional<std::uint64_t> AfterEntropyData(RangeReader& reader, std::uint64_t pos, std::uint64_t end) {
  for (std::uint64_t steps = 0; steps < kMaxSteps; ++steps) {
    const auto ff = reader.FindByte(0xFF, pos, end);
    if (!ff) return std::nullopt;
    const auto next = reader.At(*ff + 1, 1).u8(0);
    if (!next) return std::nullopt;
    if (*next == 0x00 || *next == 0xFF || (*next >= 0xD0 && *next <= 0xD7)) {
      pos = *ff + (*next == 0xFF ? 1 : 2);
      continue;
    }
    return *ff;
  }
  return std::nullopt;
}

// Length of a list of GIF data sub-blocks at pos (ending with a size of 0).
std::optional<std::uint64_t> AfterSubBlocks(RangeReader& reader, std::uint64_t pos, std::uint64_t end) {
  for (std::uint64_t steps = 0; steps < kMaxSteps && pos < end; ++steps) {
    const auto size = reader.At(pos, 1).u8(0);
    if (!size) return std::nullopt;
    pos += 1 + *size;
    if (*size == 0) return pos;
  }
  return std::nullopt;
}

std::optional<std::uint64_t> GifLength(RangeReader& reader, std::uint64_t start, std::uint64_t limit) {
  const std::uint64_t end = start + limit;
  const ByteView screen = reader.At(start, 13);
  const auto flags = screen.u8(10);
  if (!flags) return std::nullopt;
  std::uint64_t pos = start + 13;
  if (*flags & 0x80) pos += 3ULL << ((*flags & 7) + 1);
  for (std::uint64_t steps = 0; steps < kMaxSteps && pos < end; ++steps) {
    const auto block = reader.At(pos, 1).u8(0);
    if (!block) return std::nullopt;
    if (*block == 0x3B) return End(start, pos + 1, limit);
    if (*block == 0x21) {
      const auto after = AfterSubBlocks(reader, pos + 2, end);
      if (!after) return std::nullopt;
      pos = *after;
    } else if (*block == 0x2C) {
      const auto imageFlags = reader.At(pos + 9, 1).u8(0);
      if (!imageFlags) return std::nullopt;
      pos += 10;
      if (*imageFlags & 0x80) pos += 3ULL << ((*imageFlags & 7) + 1);
      const auto after = AfterSubBlocks(reader, pos + 1, end);  // one byte of LZW code size first
      if (!after) return std::nullopt;
      pos = *after;
    } else {
      return std::nullopt;
    }
  }
  return std::nullopt;
}

bool IsChunkLetter(std::uint8_t c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The end-of-central-directory record that closes an archive beginning at
// `start`: its central directory lies just before it.
bool ClosesArchive(ByteView record, std::uint64_t recordPos, std::uint64_t start) {
  const auto cdSize = record.u32le(12);
  const auto cdOffset = record.u32le(16);
  if (!cdSize || !cdOffset) return false;
  return start + *cdOffset + *cdSize == recordPos;
}

// DOCX, XLSX or PPTX when the central directory names the parts of an
// Office document, else ZIP.
std::string_view ZipKind(RangeReader& reader, std::uint64_t start, ByteView record) {
  const auto count = record.u16le(10);
  const auto cdOffset = record.u32le(16);
  if (!count || !cdOffset) return "ZIP";
  std::uint64_t pos = start + *cdOffset;
  for (std::uint32_t i = 0; i < *count && i < 4096; ++i) {
    const ByteView entry = reader.At(pos, 46);
    const auto nameLength = entry.u16le(28);
    const auto extraLength = entry.u16le(30);
    const auto commentLength = entry.u16le(32);
    if (!entry.matches(0, "PK\x01\x02") || !nameLength || !extraLength || !commentLength) return "ZIP";
    const ByteView name = reader.At(pos + 46, *nameLength);
    if (name.matches(0, "word/")) return "DOCX";
    if (name.matches(0, "xl/")) return "XLSX";
    if (name.matches(0, "ppt/")) return "PPTX";
    pos += 46ULL + *nameLength + *extraLength + *commentLength;
  }
  return "ZIP";
}

std::optional<ExactLength> ZipLength(RangeReader& reader, std::uint64_t start, std::uint64_t limit) {
  static constexpr std::uint8_t kEnd[] = {'P', 'K', 0x05, 0x06};
  const std::uint64_t end = start + limit;
  std::uint64_t from = start;
  for (std::uint64_t steps = 0; steps < kMaxSteps; ++steps) {
    const auto found = reader.Find(kEnd, from, end);
    if (!found) return std::nullopt;
    const ByteView record = reader.At(*found, 22);
    const auto commentLength = record.u16le(20);
    if (commentLength && ClosesArchive(record, *found, start)) {
      const auto bytes = End(start, *found + 22 + *commentLength, limit);
      if (!bytes) return std::nullopt;
      return ExactLength{*bytes, ZipKind(reader, start, record)};
    }
    from = *found + 1;  // an archive stored inside this one: its record does not close ours
  }
  return std::nullopt;
}

// Whether an incremental update begins with `next`: a cross-reference
// section, or an object ("12 0 obj").
bool BeginsPdfUpdate(ByteView next) {
  if (next.matches(0, "xref")) return true;
  std::uint64_t at = 0;
  for (int number = 0; number < 2; ++number) {
    const std::uint64_t digits = at;
    while (next.u8(at) && *next.u8(at) >= '0' && *next.u8(at) <= '9') ++at;
    if (at == digits || next.u8(at) != ' ') return false;
    ++at;
  }
  return next.matches(at, "obj");
}

// The last "%%EOF" of the run: an incremental update follows an "%%EOF" at
// once with more objects or a cross-reference section, and the file then
// ends at a later "%%EOF".
std::optional<std::uint64_t> PdfLength(RangeReader& reader, std::uint64_t start, std::uint64_t limit) {
  static constexpr std::uint8_t kEof[] = {'%', '%', 'E', 'O', 'F'};
  const std::uint64_t end = start + limit;
  std::optional<std::uint64_t> fileEnd;
  std::uint64_t from = start;
  for (std::uint64_t steps = 0; steps < kMaxSteps; ++steps) {
    const auto found = reader.Find(kEof, from, end);
    if (!found) break;
    fileEnd = AfterLineEnd(reader, *found + sizeof(kEof));
    if (!BeginsPdfUpdate(reader.At(*fileEnd, 32))) break;
    from = *fileEnd;
  }
  if (!fileEnd) return std::nullopt;
  return End(start, *fileEnd, limit);
}

std::optional<std::uint64_t> AfterFooter(RangeReader& reader, const CarveEntry& entry, std::uint64_t start,
                                         std::uint64_t limit) {
  std::optional<std::uint64_t> first;
  std::size_t footerLength = 0;
  for (const Signature& footer : entry.footers) {
    const auto found = reader.Find(footer.bytes, start, first.value_or(start + limit));
    if (found && (!first || *found < *first)) {
      first = found;
      footerLength = footer.bytes.size();
    }
  }
  if (!first) return std::nullopt;
  // A footer of a line end and zeros (XML) ends the text at its line end;
  // a closing tag ends with it, and one line end after it is the file's.
  const ByteView footer = reader.At(*first, footerLength);
  if (footer.u8(0) == 0x0D) return End(start, *first + 2, limit);
  return End(start, AfterLineEnd(reader, *first + footerLength), limit);
}

// The name of an XML document's root element: the first tag after the
// declaration, comments and document type; empty when none is found in the
// document's first bytes.
std::string RootElementName(ByteView head) {
  const std::string_view text(reinterpret_cast<const char*>(head.data()), head.size());
  std::size_t at = 0;
  for (int steps = 0; steps < 64; ++steps) {
    at = text.find('<', at);
    if (at == std::string_view::npos || at + 1 >= text.size()) return {};
    const std::string_view rest = text.substr(at);
    std::size_t close = std::string_view::npos;
    if (rest.starts_with("<?")) close = text.find("?>", at);
    if (rest.starts_with("<!--")) close = text.find("-->", at);
    if (close == std::string_view::npos && rest.starts_with("<!")) close = text.find('>', at);
    if (rest.starts_with("<?") || rest.starts_with("<!")) {
      if (close == std::string_view::npos) return {};
      at = close + 1;
      continue;
    }
    const std::size_t end = rest.find_first_of(" \t\r\n/>", 1);
    if (end == std::string_view::npos || end == 1) return {};
    return std::string(rest.substr(1, end - 1));
  }
  return {};
}

// An XML document ends with its root element's closing tag and one line
// end: the zeros of the classic footer are the slack after a file, which a
// disk need not hold.
std::optional<std::uint64_t> XmlLength(RangeReader& reader, const CarveEntry& entry, std::uint64_t start,
                                       std::uint64_t limit) {
  constexpr std::size_t kHeadBytes = 4096;
  const std::string name = RootElementName(reader.At(start, kHeadBytes));
  if (name.empty()) return AfterFooter(reader, entry, start, limit);
  const std::string closing = "</" + name + ">";
  const std::span tag(reinterpret_cast<const std::uint8_t*>(closing.data()), closing.size());
  const auto found = reader.Find(tag, start, start + limit);
  if (!found) return std::nullopt;
  return End(start, AfterLineEnd(reader, *found + closing.size()), limit);
}

std::optional<std::uint64_t> SizeFieldLength(RangeReader& reader, const CarveEntry& entry, std::uint64_t start,
                                             std::uint64_t limit) {
  const auto field = reader.At(start, entry.sizeFieldOffset + 4).u32le(entry.sizeFieldOffset);
  if (!field || *field == 0) return std::nullopt;
  std::uint64_t size = std::uint64_t{*field} + entry.sizeFieldAdd;
  if (size > entry.maxSize) {
    if (!entry.clampToMax) return std::nullopt;
    size = entry.maxSize;
  }
  return End(start, start + size, limit);
}

std::optional<ExactLength> Mp4Length(RangeReader& reader, std::uint64_t start, std::uint64_t limit) {
  std::uint64_t pos = start;
  const std::uint64_t end = std::min(start + limit, reader.size());
  bool movie = false;
  std::string_view kind = "MP4";
  const ByteView ftyp = reader.At(start, 12);
  if (ftyp.matches(8, "qt  ")) kind = "MOV";
  for (std::uint64_t steps = 0; steps < kMaxSteps && pos + 8 <= end; ++steps) {
    const ByteView box = reader.At(pos, 16);
    const auto size32 = box.u32be(0);
    if (!size32) break;
    std::uint64_t size = *size32;
    if (size == 1) size = box.u64be(8).value_or(0);
    const ByteView type = box.sub(4, 4);
    if (size < 8 || type.size() != 4 ||
        !std::all_of(type.data(), type.data() + 4, [](std::uint8_t c) { return c >= 0x20 && c <= 0x7E; })) {
      break;
    }
    if (type.span()[0] == 'm' && (box.matches(4, "moov"))) movie = true;
    const auto next = CheckedAdd(pos, size);
    if (!next || *next > end) break;
    pos = *next;
  }
  if (!movie) return std::nullopt;
  const auto bytes = End(start, pos, limit);
  if (!bytes) return std::nullopt;
  return ExactLength{*bytes, kind};
}

// Bytes of one MPEG audio frame whose header is `header`, or 0 when it is
// not a frame header.
std::uint32_t MpegFrameBytes(std::uint32_t header) {
  if ((header & 0xFFE00000u) != 0xFFE00000u) return 0;
  const unsigned version = (header >> 19) & 3;  // 0: 2.5, 2: 2, 3: 1
  const unsigned layer = (header >> 17) & 3;    // 1: III, 2: II, 3: I
  const unsigned bitrateIndex = (header >> 12) & 15;
  const unsigned rateIndex = (header >> 10) & 3;
  const unsigned padding = (header >> 9) & 1;
  if (version == 1 || layer == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3) return 0;
  static constexpr std::array<std::array<std::uint16_t, 15>, 5> kBitrates{{
      {0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG 1 layer I
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // MPEG 1 layer II
      {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320},      // MPEG 1 layer III
      {0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG 2 layer I
      {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // MPEG 2 layers II, III
  }};
  static constexpr std::array<std::uint32_t, 3> kRates{44100, 48000, 32000};
  const bool mpeg1 = version == 3;
  const unsigned table = mpeg1 ? 3 - layer : (layer == 3 ? 3 : 4);
  const std::uint32_t bitrate = kBitrates[table][bitrateIndex] * 1000u;
  const std::uint32_t rate = kRates[rateIndex] >> (mpeg1 ? 0 : (version == 2 ? 1 : 2));
  if (layer == 3) return (12 * bitrate / rate + padding) * 4;
  const std::uint32_t perFrame = (layer == 1 && !mpeg1) ? 72 : 144;
  return perFrame * bitrate / rate + padding;
}

std::optional<std::uint64_t> Mp3Length(RangeReader& reader, std::uint64_t start, std::uint64_t limit) {
  const ByteView tag = reader.At(start, 10);
  const auto flags = tag.u8(5);
  std::uint32_t tagSize = 0;
  for (int i = 6; i < 10; ++i) {
    const auto byte = tag.u8(static_cast<std::uint64_t>(i));
    if (!byte || (*byte & 0x80)) return std::nullopt;
    tagSize = (tagSize << 7) | *byte;
  }
  if (!flags) return std::nullopt;
  std::uint64_t pos = start + 10 + tagSize + ((*flags & 0x10) ? 10 : 0);
  const std::uint64_t end = std::min(start + limit, reader.size());
  std::uint64_t frames = 0;
  for (; frames < kMaxSteps && pos + 4 <= end; ++frames) {
    const auto header = reader.At(pos, 4).u32be(0);
    const std::uint32_t bytes = header ? MpegFrameBytes(*header) : 0;
    if (bytes == 0 || pos + bytes > end) break;
    pos += bytes;
  }
  if (frames == 0) return std::nullopt;
  if (reader.At(pos, 3).matches(0, "TAG")) pos += 128;
  return End(start, pos, limit);
}

std::optional<std::uint64_t> SevenZipLength(RangeReader& reader, std::uint64_t start, std::uint64_t limit) {
  const ByteView header = reader.At(start, 32);
  const auto offset = header.u64le(12);
  const auto size = header.u64le(20);
  if (!offset || !size || *size == 0) return std::nullopt;
  const auto tail = CheckedAdd(*offset, *size);
  const auto total = tail ? CheckedAdd(*tail, 32) : std::nullopt;
  if (!total || *total > limit) return std::nullopt;
  return *total;
}

// Page size × page count, trusted only when the header says the count is
// current (the change counter equals the version-valid-for number).
std::optional<std::uint64_t> SqliteLength(RangeReader& reader, std::uint64_t start, std::uint64_t limit) {
  const ByteView header = reader.At(start, 100);
  const auto pageField = header.u16be(16);
  const auto changes = header.u32be(24);
  const auto pages = header.u32be(28);
  const auto validFor = header.u32be(92);
  if (!pageField || !changes || !pages || !validFor || *pages == 0 || *changes != *validFor) return std::nullopt;
  const std::uint64_t pageSize = *pageField == 1 ? 65536 : *pageField;
  if (pageSize < 512 || !IsPowerOfTwo(pageSize)) return std::nullopt;
  const auto total = CheckedMul(pageSize, *pages);
  if (!total || *total > limit) return std::nullopt;
  return *total;
}

}  // namespace

std::optional<std::uint64_t> JpegLength(RangeReader& reader, std::uint64_t start, std::uint64_t limit) {
  const std::uint64_t end = start + limit;
  std::uint64_t pos = start + 2;
  for (std::uint64_t steps = 0; steps < kMaxSteps && pos < end; ++steps) {
    const ByteView marker = reader.At(pos, 4);
    if (marker.u8(0) != 0xFF) return std::nullopt;
    const auto code = marker.u8(1);
    if (!code) return std::nullopt;
    if (*code == 0xFF) {  // fill byte
      ++pos;
      continue;
    }
    if (*code == 0xD9) return End(start, pos + 2, limit);
    if (*code == 0xD8 || *code == 0x00) return std::nullopt;
    if (IsJpegStandalone(*code)) {
      pos += 2;
      continue;
    }
    const auto length = marker.u16be(2);
    if (!length || *length < 2) return std::nullopt;
    pos += 2 + *length;
    if (*code == 0xDA) {
      const auto next = AfterEntropyData(reader, pos, end);
      if (!next) return std::nullopt;
      pos = *next;
    }
  }
  return std::nullopt;
}

std::optional<std::uint64_t> PngLength(RangeReader& reader, std::uint64_t start, std::uint64_t limit) {
  if (!reader.At(start, 8).matches(0, "\x89PNG\r\n\x1a\n")) return std::nullopt;
  std::uint64_t pos = start + 8;
  const std::uint64_t end = start + limit;
  for (std::uint64_t steps = 0; steps < kMaxSteps && pos < end; ++steps) {
    const ByteView chunk = reader.At(pos, 8);
    const auto length = chunk.u32be(0);
    const ByteView type = chunk.sub(4, 4);
    if (!length || *length > 0x7FFFFFFFu || type.size() != 4 ||
        !std::all_of(type.data(), type.data() + 4, IsChunkLetter)) {
      return std::nullopt;
    }
    pos += 12ULL + *length;
    if (type.matches(0, "IEND")) return End(start, pos, limit);
  }
  return std::nullopt;
}

std::optional<std::uint64_t> RtfLength(RangeReader& reader, std::uint64_t start, std::uint64_t limit) {
  const std::uint64_t end = std::min(start + limit, reader.size());
  std::uint64_t depth = 0;
  bool escaped = false;
  for (std::uint64_t pos = start; pos < end;) {
    const ByteView ahead = reader.Ahead(pos, 1);
    const ByteView piece = ahead.sub(0, std::min<std::uint64_t>(ahead.size(), end - pos));
    if (piece.empty()) return std::nullopt;
    for (std::size_t i = 0; i < piece.size(); ++i) {
      const std::uint8_t c = piece.data()[i];
      if (c == 0) return std::nullopt;  // text never holds a NUL: the file broke off
      if (escaped) {
        escaped = false;
        continue;
      }
      if (c == '\\') escaped = true;
      if (c == '{') ++depth;
      if (c == '}' && depth > 0 && --depth == 0) return End(start, AfterLineEnd(reader, pos + i + 1), limit);
    }
    pos += piece.size();
    if (reader.stopRequested()) return std::nullopt;
  }
  return std::nullopt;
}

std::optional<ExactLength> FindExactEnd(RangeReader& reader, const CarveEntry& entry, std::uint64_t start,
                                        std::uint64_t limit) {
  const auto plain = [](std::optional<std::uint64_t> bytes) -> std::optional<ExactLength> {
    if (!bytes) return std::nullopt;
    return ExactLength{*bytes, {}};
  };
  switch (entry.exactEnd) {
    case ExactEnd::None: return std::nullopt;
    case ExactEnd::SizeField: return plain(SizeFieldLength(reader, entry, start, limit));
    case ExactEnd::AfterFooter: return plain(AfterFooter(reader, entry, start, limit));
    case ExactEnd::Xml: return plain(XmlLength(reader, entry, start, limit));
    case ExactEnd::Jpeg: return plain(JpegLength(reader, start, limit));
    case ExactEnd::Png: return plain(PngLength(reader, start, limit));
    case ExactEnd::Zip: return ZipLength(reader, start, limit);
    case ExactEnd::Pdf: return plain(PdfLength(reader, start, limit));
    case ExactEnd::Rtf: return plain(RtfLength(reader, start, limit));
    case ExactEnd::Gif: return plain(GifLength(reader, start, limit));
    case ExactEnd::Mp4: return Mp4Length(reader, start, limit);
    case ExactEnd::Mp3: return plain(Mp3Length(reader, start, limit));
    case ExactEnd::SevenZip: return plain(SevenZipLength(reader, start, limit));
    case ExactEnd::Sqlite: return plain(SqliteLength(reader, start, limit));
  }
  return std::nullopt;
}

}  // namespace korv
