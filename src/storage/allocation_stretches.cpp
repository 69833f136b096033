#include "storage/allocation_stretches.h"

#include <algorithm>

namespace korv {

AllocationRun AllocationStretches::At(std::uint64_t sector) {
  if (sector < first_ || sector - first_ >= stretch_.sectors) {
    first_ = sector;
    stretch_ = Ask(sector);
  }
  return {stretch_.allocated, stretch_.sectors - (sector - first_)};
}

AllocationRun AllocationStretches::Ask(std::uint64_t sector) const {
  constexpr AllocationRun kHeldToTheEnd{true, UINT64_MAX};
  if (!source_.isVirtual() || source_.virtualDisk == nullptr) return kHeldToTheEnd;
  const AllocationRun run = source_.virtualDisk->allocationAt(sector);
  if (run.sectors == 0) return kHeldToTheEnd;
  return run;
}

std::optional<std::uint64_t> HeldSectors(const CurrentSource& source, std::uint64_t sectors) {
  AllocationStretches stretches(source);
  std::uint64_t held = 0;
  std::uint64_t steps = 0;
  for (std::uint64_t sector = 0; sector < sectors; ++steps) {
    if (steps == kMaxHeldSectorsSteps) return std::nullopt;
    const AllocationRun run = stretches.At(sector);
    const std::uint64_t length = std::min(run.sectors, sectors - sector);
    if (run.allocated) held += length;
    sector += length;
  }
  return held;
}

}  // namespace korv
