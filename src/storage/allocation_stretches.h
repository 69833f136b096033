// The container's allocation status of a source's sectors, met in order.
//
// A container answers for a whole stretch of held or unheld sectors, and an
// answer can cost a walk of its tables (thousands of entries through a
// qcow2 or QED image). A scan that asked again for every chunk it reads
// would walk the same tables over and over; this keeps the last answer and
// serves from it while the asked sector lies inside it.
#pragma once

#include <cstdint>
#include <optional>

#include "storage/current_source.h"
#include "storage/virtual_disk.h"

namespace korv {

class AllocationStretches {
 public:
  explicit AllocationStretches(const CurrentSource& source) : source_(source) {}

  // The stretch from `sector` on. A source that cannot tell, and sectors
  // past the container's end, count as held to the end of any range.
  AllocationRun At(std::uint64_t sector);

  // How many sectors from `sector` on read as zeros without touching the
  // file; 0 when they are held.
  std::uint64_t UnheldAt(std::uint64_t sector) {
    const AllocationRun run = At(sector);
    return run.allocated ? 0 : run.sectors;
  }

 private:
  AllocationRun Ask(std::uint64_t sector) const;

  const CurrentSource& source_;
  std::uint64_t first_ = 0;
  AllocationRun stretch_{true, 0};
};

// Most stretches HeldSectors walks: a table that alternates cluster by
// cluster over a huge disk is not walked to its end.
inline constexpr std::uint64_t kMaxHeldSectorsSteps = std::uint64_t{1} << 24;

// How many of the first `sectors` sectors the container holds; nothing when
// that would take more than kMaxHeldSectorsSteps stretches.
std::optional<std::uint64_t> HeldSectors(const CurrentSource& source, std::uint64_t sectors);

}  // namespace korv
