#include "vdisk/stretch_reader.h"

#include <algorithm>

namespace korv {

void ZeroSectors(std::span<std::uint8_t> out) { std::fill(out.begin(), out.end(), std::uint8_t{0}); }

ReadOutcome ReadFileStretch(ReadHandle& file, std::uint64_t fileOffset, std::span<std::uint8_t> out) {
  const std::size_t got = file.ReadAt(fileOffset, out);
  if (got == out.size()) return {true, true};
  ReadOutcome outcome;
  const std::uint64_t sectors = out.size() / kVirtualSectorBytes;
  for (std::uint64_t i = got / kVirtualSectorBytes; i < sectors; ++i) {
    const auto sectorOut = StretchSectors(out, i, 1);
    const bool ok = file.ReadExactAt(fileOffset + i * kVirtualSectorBytes, sectorOut);
    if (!ok) ZeroSectors(sectorOut);
    outcome.Add({ok, ok});
  }
  return outcome;
}

}  // namespace korv
