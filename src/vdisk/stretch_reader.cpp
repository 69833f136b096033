#include "vdisk/stretch_reader.h"

#include <algorithm>

#include "platform/bytes.h"
#include "platform/split_read.h"

namespace korv {

void ZeroSectors(std::span<std::uint8_t> out) { std::fill(out.begin(), out.end(), std::uint8_t{0}); }

ReadOutcome ReadFileStretch(ReadHandle& file, std::uint64_t fileOffset, std::span<std::uint8_t> out) {
  const std::size_t got = ReadAtOnTwoThreads(file, fileOffset, out);
  if (got == out.size()) return {true, true};
  ReadOutcome outcome;
  const std::uint64_t sectors = out.size() / kVirtualSectorBytes;
  for (std::uint64_t i = got / kVirtualSectorBytes; i < sectors; ++i) {
    const auto sectorOut = StretchSectors(out, i, 1);
    // An offset that would pass 2^64 names no place in the file; wrapping it
    // would serve the file's first bytes as disk data.
    const auto at = CheckedAdd(fileOffset, i * kVirtualSectorBytes);
    const bool ok = at && file.ReadExactAt(*at, sectorOut);
    if (!ok) ZeroSectors(sectorOut);
    outcome.Add({ok, ok});
  }
  return outcome;
}

}  // namespace korv
