#include "storage/allocation_stretches.h"

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

}  // namespace korv
