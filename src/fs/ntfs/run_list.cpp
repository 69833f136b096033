#include "fs/ntfs/run_list.h"

#include <algorithm>
#include <optional>

#include "fs/ntfs/file_record.h"

namespace korv {

namespace {

// Where mapping pairs usually start, used when the attribute's own offset
// points outside it.
constexpr std::uint16_t kUsualMappingPairsOffset = 0x40;

// Only 4 bytes of a length or offset field carry meaning here; a wider
// field names a run no 32-bit cluster number can reach.
constexpr unsigned kMaxFieldBytes = 4;

// A little-endian field of `width` bytes (1..4), unsigned.
std::uint64_t FieldValue(ByteView bytes, std::size_t at, unsigned width) {
  std::uint64_t value = 0;
  for (unsigned i = 0; i < width; ++i) value |= std::uint64_t{*bytes.u8(at + i)} << (8 * i);
  return value;
}

// The same field as a signed number: the top bit of its last byte is the sign.
std::int64_t SignedFieldValue(ByteView bytes, std::size_t at, unsigned width) {
  const std::uint64_t value = FieldValue(bytes, at, width);
  const std::uint64_t signBit = std::uint64_t{1} << (8 * width - 1);
  if ((value & signBit) == 0) return static_cast<std::int64_t>(value);
  return static_cast<std::int64_t>(value) - static_cast<std::int64_t>(std::uint64_t{1} << (8 * width));
}

struct Pair {
  std::uint64_t clusters = 0;
  std::optional<std::int64_t> offset;  // none: sparse
  std::size_t bytes = 0;               // header and both fields
};

std::optional<Pair> ReadPair(ByteView bytes, std::size_t at, std::size_t end) {
  const std::uint8_t header = *bytes.u8(at);
  const unsigned lengthBytes = header & 0x0F;
  const unsigned offsetBytes = header >> 4;
  if (lengthBytes == 0 || lengthBytes > kMaxFieldBytes || offsetBytes > kMaxFieldBytes) return std::nullopt;
  const std::size_t size = 1 + lengthBytes + offsetBytes;
  if (size > end - at) return std::nullopt;
  Pair pair;
  pair.bytes = size;
  pair.clusters = FieldValue(bytes, at + 1, lengthBytes);
  if (pair.clusters == 0) return std::nullopt;
  if (offsetBytes > 0) pair.offset = SignedFieldValue(bytes, at + 1 + lengthBytes, offsetBytes);
  return pair;
}

}  // namespace

std::uint64_t RunList::totalSectors() const {
  std::uint64_t total = 0;
  for (const Run& run : runs) total += run.sectorCount;
  return total;
}

bool RunList::Append(const RunList& more) {
  const std::size_t room = kMaxRuns - std::min(kMaxRuns, runs.size());
  const std::size_t taken = std::min(room, more.runs.size());
  runs.insert(runs.end(), more.runs.begin(), more.runs.begin() + static_cast<std::ptrdiff_t>(taken));
  if (taken < more.runs.size() || !more.complete) complete = false;
  return taken == more.runs.size();
}

RunList DecodeRunList(ByteView bytes, std::size_t start, std::size_t end, std::uint64_t baseSector,
                      std::uint32_t sectorsPerCluster) {
  RunList list;
  end = std::min(end, bytes.size());
  // Cluster of the last non-sparse run, counted from the volume's start.
  std::int64_t cluster = 0;
  std::size_t at = start;
  while (at < end && *bytes.u8(at) != 0) {
    if (list.runs.size() >= kMaxRuns) {
      list.complete = false;
      break;
    }
    const auto pair = ReadPair(bytes, at, end);
    if (!pair) {
      list.complete = false;
      break;
    }
    at += pair->bytes;
    Run run;
    const auto sectorCount = CheckedMul(pair->clusters, sectorsPerCluster);
    if (!sectorCount || *sectorCount == 0) {
      list.complete = false;
      break;
    }
    run.sectorCount = *sectorCount;
    if (!pair->offset) {
      run.sparse = true;
      list.runs.push_back(run);
      continue;
    }
    cluster += *pair->offset;  // at most 2^16 steps of at most 2^31: no overflow
    const auto offsetSectors =
        cluster < 0 ? std::nullopt : CheckedMul(static_cast<std::uint64_t>(cluster), sectorsPerCluster);
    const auto firstSector = offsetSectors ? CheckedAdd(baseSector, *offsetSectors) : std::nullopt;
    if (!firstSector) {
      list.complete = false;
      break;
    }
    run.firstSector = *firstSector;
    list.runs.push_back(run);
  }
  return list;
}

RunList DecodeAttributeRuns(const Attribute& attribute, const BootParameters& parameters) {
  std::uint16_t pairs = attribute.mappingPairsOffset().value_or(kUsualMappingPairsOffset);
  if (pairs >= attribute.length()) pairs = kUsualMappingPairsOffset;
  return DecodeRunList(attribute.bytes(), pairs, attribute.length(), parameters.partitionFirstSector(),
                       parameters.sectorsPerCluster);
}

}  // namespace korv
