// Where a file ends by its own structure. Each walker starts at the file's
// first byte in the stream and returns the file's length in bytes, or
// nothing when the structure breaks or runs past `limit` bytes. Every value
// is taken from the disk, so every step is bounded by `limit` and by a
// count of steps.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "carve/carve_types.h"
#include "carve/range_reader.h"

namespace korv {

struct ExactLength {
  std::uint64_t bytes = 0;
  std::string_view typeName;  // empty: the entry's own name
};

std::optional<ExactLength> FindExactEnd(RangeReader& reader, const CarveEntry& entry, std::uint64_t start,
                                        std::uint64_t limit);

// The parts the walkers share, open to tests.
std::optional<std::uint64_t> JpegLength(RangeReader& reader, std::uint64_t start, std::uint64_t limit);
std::optional<std::uint64_t> PngLength(RangeReader& reader, std::uint64_t start, std::uint64_t limit);
std::optional<std::uint64_t> RtfLength(RangeReader& reader, std::uint64_t start, std::uint64_t limit);

}  // namespace korv
