#include "vdisk/stretch_reader.h"

#include <algorithm>
#include <array>

#include "platform/bytes.h"
#include "platform/split_read.h"

namespace korv {

void ZeroSectors(std::span<std::uint8_t> out) { std::fill(out.begin(), out.end(), std::uint8_t{0}); }

bool LookZeros(std::uint64_t at, std::uint64_t sectors, const ByteLook& look) {
  static constexpr std::size_t kZeroSectors = 128;
  static const std::array<std::uint8_t, kZeroSectors * kVirtualSectorBytes> zeros{};
  for (std::uint64_t done = 0; done < sectors;) {
    const std::uint64_t piece = std::min<std::uint64_t>(sectors - done, kZeroSectors);
    look(at + done * kVirtualSectorBytes,
         std::span(zeros).first(static_cast<std::size_t>(piece * kVirtualSectorBytes)));
    done += piece;
  }
  return true;
}

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
