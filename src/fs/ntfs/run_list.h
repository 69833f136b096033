// Data runs: the mapping pairs of a non-resident attribute, decoded into
// runs of absolute sectors.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "fs/boot_parameters.h"
#include "platform/bytes.h"

namespace korv {

// The most runs one list holds (its count is a 16-bit number). A list that
// would grow past it ends there, incomplete.
inline constexpr std::size_t kMaxRuns = 0xFFFF;

struct Run {
  std::uint64_t firstSector = 0;  // 0 for a sparse run
  std::uint64_t sectorCount = 0;
  bool sparse = false;

  bool operator==(const Run&) const = default;
};

struct RunList {
  std::vector<Run> runs;
  // False when decoding stopped on a damaged pair, a field wider than 4
  // bytes, a run before the volume's first cluster, or the run limit.
  bool complete = true;

  std::uint64_t totalSectors() const;
  // Appends `more` up to kMaxRuns; false (and incomplete) when it did not fit.
  bool Append(const RunList& more);
};

// Decodes the mapping pairs in bytes[start, end): a header byte whose low
// nibble is the length field's size and high nibble the offset field's
// size, then both fields, little-endian. Offsets are signed and relative to
// the previous non-sparse run (the first to `baseSector`); a pair without
// an offset field is a sparse run. Stops at a header byte of 0, at `end`,
// and at anything damaged: a field running past `end`, a field wider than 4
// bytes, a zero length, or a run starting before the base.
RunList DecodeRunList(ByteView bytes, std::size_t start, std::size_t end, std::uint64_t baseSector,
                      std::uint32_t sectorsPerCluster);

}  // namespace korv

namespace korv {

class Attribute;

// The runs of a non-resident attribute, from its mapping pairs (at 0x40 when
// the attribute's own offset points outside it), counted from the
// partition's first sector.
RunList DecodeAttributeRuns(const Attribute& attribute, const BootParameters& parameters);

}  // namespace korv
