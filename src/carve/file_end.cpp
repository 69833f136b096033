#include "carve/file_end.h"

#include <algorithm>
#include <array>

#include "carve/exact_ends.h"

namespace korv {

namespace {

// The MDB walk reads the sectors after the header in batches of this many.
constexpr std::uint64_t kDatabaseBatch = 8;

std::uint64_t SectorsFor(std::uint64_t bytes, std::uint32_t sectorBytes) {
  return (bytes + sectorBytes - 1) / sectorBytes;
}

// The whole-sector length of a file whose end lies `sizeBytes` after its
// header: size ÷ sector + 2 for sectors up to 512 bytes, + 1 for larger.
std::uint64_t WholeSectorsForSize(std::uint64_t sizeBytes, std::uint32_t sectorBytes) {
  return sizeBytes / sectorBytes + (sectorBytes <= 512 ? 2 : 1);
}

// Cuts a length that runs past the range to the range: nothing past its
// end is read.
CarvedExtent Extent(const RangeReader& reader, std::uint64_t start, std::uint64_t bytes, std::string_view name,
                    std::uint64_t resumeSectors) {
  bytes = std::min(bytes, reader.size() - start);
  return {bytes, name, std::max<std::uint64_t>(resumeSectors, 1)};
}

std::optional<CarvedExtent> SizeFieldWholeSectors(RangeReader& reader, const CarveEntry& entry, std::uint64_t start) {
  const std::uint32_t sector = reader.sectorBytes();
  std::uint64_t size = entry.maxSize;
  if (entry.endRule == EndRule::SizeField) {
    const auto field = reader.At(start, sector).u32le(entry.sizeFieldOffset);
    if (!field) return std::nullopt;
    const auto value = static_cast<std::int32_t>(*field);
    if (value <= 0) return std::nullopt;
    size = static_cast<std::uint64_t>(value);
    if (size > entry.maxSize) {
      if (!entry.clampToMax) return std::nullopt;
      size = entry.maxSize;
    }
  }
  return Extent(reader, start, WholeSectorsForSize(size, sector) * sector, entry.name, 1);
}

// The first footer of the entry after `start`, within its search limit:
// the sector holding the footer's first byte.
std::optional<std::uint64_t> FooterSector(RangeReader& reader, const CarveEntry& entry, std::uint64_t start) {
  const std::uint64_t limit = start + entry.maxSearchBytes;
  std::optional<std::uint64_t> first;
  for (const Signature& footer : entry.footers) {
    const auto found = reader.Find(footer.bytes, start, first ? *first + footer.bytes.size() : limit);
    if (found && (!first || *found < *first)) first = found;
  }
  if (!first) return std::nullopt;
  return *first / reader.sectorBytes();
}

std::optional<CarvedExtent> FooterWholeSectors(RangeReader& reader, const CarveEntry& entry, std::uint64_t start) {
  const auto footer = FooterSector(reader, entry, start);
  if (!footer) return std::nullopt;
  const std::uint64_t startSector = start / reader.sectorBytes();
  const std::uint64_t sectors = *footer - startSector + (entry.htmlLength ? 1 : 2);
  return Extent(reader, start, sectors * reader.sectorBytes(), entry.name, *footer - startSector + 1);
}

bool Utf16At(ByteView bytes, std::uint64_t offset, std::string_view ascii) {
  for (std::size_t i = 0; i < ascii.size(); ++i) {
    if (bytes.u8(offset + 2 * i) != static_cast<std::uint8_t>(ascii[i]) || bytes.u8(offset + 2 * i + 1) != 0) {
      return false;
    }
  }
  return true;
}

// The sector walk of a compound document: the directory's root entry names
// the type, and only that type's footer ends the file.
std::optional<CarvedExtent> CompoundDocumentEnd(RangeReader& reader, const CarveEntry& entry, std::uint64_t start) {
  const std::uint32_t sector = reader.sectorBytes();
  const std::uint64_t maxSectors = entry.maxSearchBytes / sector;
  std::size_t longest = 0;
  for (const Signature& footer : entry.footers) longest = std::max(longest, footer.bytes.size());
  std::string_view probed;
  for (std::uint64_t k = 0; k < maxSectors; ++k) {
    const std::uint64_t at = start + k * sector;
    if (at >= reader.size() || reader.stopRequested()) return std::nullopt;
    if (probed.empty()) probed = ProbeCompoundDocument(reader.At(at, sector));
    if (probed.empty()) continue;
    // A footer counts in the sector that holds its first byte; it may end in
    // the next one.
    const ByteView bytes = reader.At(at, sector + longest - 1);
    for (const Signature& footer : entry.footers) {
      if (footer.typeName != probed) continue;
      const auto span = bytes.span();
      const auto hit = std::search(span.begin(), span.end(), footer.bytes.begin(), footer.bytes.end());
      if (hit == span.end() || hit - span.begin() >= static_cast<std::ptrdiff_t>(sector)) continue;
      if (!IsTicked(entry, footer.typeName)) return std::nullopt;
      return Extent(reader, start, (k + 2) * sector, footer.typeName, k + 1);
    }
  }
  return std::nullopt;
}

bool IsDatabaseHeader(const CarveEntry& entry, ByteView sector) {
  const auto& header = entry.headers.front().bytes;
  const ByteView bytes = sector.sub(0, header.size());
  return bytes.size() == header.size() && std::equal(header.begin(), header.end(), bytes.data());
}

// Batches of 8 sectors after the header: a sector whose second byte is 01
// moves the end to it; another database's header ends this one two sectors
// before it. A batch with neither, or the range's end, ends the walk. No end
// at all (an empty first batch, or one past the range) drops the header.
std::optional<CarvedExtent> DatabaseEnd(RangeReader& reader, const CarveEntry& entry, std::uint64_t start) {
  const std::uint32_t sector = reader.sectorBytes();
  const std::uint64_t totalSectors = reader.size() / sector;
  const std::uint64_t startSector = start / sector;
  std::optional<std::uint64_t> end;
  for (std::uint64_t batch = startSector + 1; batch < totalSectors; batch += kDatabaseBatch) {
    if (reader.stopRequested()) return std::nullopt;
    bool moved = false;
    for (std::uint64_t s = batch; s < std::min(batch + kDatabaseBatch, totalSectors); ++s) {
      const ByteView bytes = reader.At(s * sector, sector);
      if (IsDatabaseHeader(entry, bytes)) {
        if (s < startSector + 2) return std::nullopt;
        end = s - 2;
        moved = false;
        break;
      }
      if (bytes.u8(1) == 0x01) {
        end = s;
        moved = true;
      }
    }
    if (!moved) break;
  }
  if (!end || *end < startSector) return std::nullopt;
  const std::uint64_t sectors = *end - startSector + 2;
  return Extent(reader, start, sectors * sector, entry.name, *end - startSector + 1);
}

std::optional<CarvedExtent> WholeSectorEnd(RangeReader& reader, const CarveEntry& entry, std::uint64_t start) {
  switch (entry.endRule) {
    case EndRule::SizeField:
    case EndRule::FixedLength:
      return SizeFieldWholeSectors(reader, entry, start);
    case EndRule::Footer:
      return FooterWholeSectors(reader, entry, start);
    case EndRule::CompoundDocument:
      return CompoundDocumentEnd(reader, entry, start);
    case EndRule::Database:
      return DatabaseEnd(reader, entry, start);
    case EndRule::Structure:
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace

std::string_view ProbeCompoundDocument(ByteView sector) {
  if (!Utf16At(sector, 0, "Root Entry")) return {};
  static constexpr std::array<std::pair<std::string_view, std::string_view>, 4> kStreams{
      {{"WordDocument", "DOC"}, {"Workbook", "XLS"}, {"PowerPoint Document", "PPT"}, {"PageMaker", "PMD"}}};
  for (std::uint64_t pos = 0; pos < sector.size(); ++pos) {
    for (const auto& [stream, type] : kStreams) {
      if (Utf16At(sector, pos, stream)) return type;
    }
  }
  return {};
}

std::optional<CarvedExtent> FindEnd(RangeReader& reader, const CarveEntry& entry, std::uint64_t start, bool exactEnds) {
  const bool exactWanted = exactEnds || entry.endRule == EndRule::Structure;
  if (exactWanted && entry.exactEnd != ExactEnd::None) {
    const std::uint64_t limit = std::max(entry.maxSearchBytes, entry.maxSize);
    if (const auto exact = FindExactEnd(reader, entry, start, limit)) {
      const std::string_view name = exact->typeName.empty() ? entry.name : exact->typeName;
      // A file of a type found through this entry but not ticked is passed
      // over whole, so its insides are not taken for files of their own.
      const std::uint64_t sectors = std::max<std::uint64_t>(SectorsFor(exact->bytes, reader.sectorBytes()), 1);
      if (!IsTicked(entry, name)) return CarvedExtent{0, {}, sectors};
      return Extent(reader, start, exact->bytes, name, sectors);
    }
  }
  auto whole = WholeSectorEnd(reader, entry, start);
  if (whole && !IsTicked(entry, whole->typeName)) return std::nullopt;
  // A file whose own structure broke (truncated, damaged, partly
  // overwritten) is still saved up to its footer, as the whole-sector rule
  // finds it. That end is only a guess, so the scan goes on right after the
  // header: whatever lies inside the guessed extent is still searched.
  if (whole && exactWanted && entry.exactEnd != ExactEnd::None) whole->resumeSector = 1;
  return whole;
}

}  // namespace korv
