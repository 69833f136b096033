#include "fs/ntfs/compression_units.h"

#include <algorithm>

namespace korv {

std::uint64_t CompressionUnit::storedSectors() const {
  std::uint64_t total = 0;
  for (const Run& run : stored) total += run.sectorCount;
  return total;
}

std::optional<CompressionUnit> CompressionUnits::Next() {
  if (unitSectors_ == 0) return std::nullopt;
  CompressionUnit unit;
  bool anySparse = false;
  while (unit.sectorCount < unitSectors_ && run_ < runs_.size()) {
    const Run& run = runs_[run_];
    const std::uint64_t take = std::min(run.sectorCount - usedOfRun_, unitSectors_ - unit.sectorCount);
    if (run.sparse) {
      anySparse = true;
    } else if (!unit.stored.empty() &&
               unit.stored.back().firstSector + unit.stored.back().sectorCount == run.firstSector + usedOfRun_) {
      unit.stored.back().sectorCount += take;
    } else {
      unit.stored.push_back({run.firstSector + usedOfRun_, take, false});
    }
    unit.sectorCount += take;
    usedOfRun_ += take;
    if (usedOfRun_ == run.sectorCount) {
      ++run_;
      usedOfRun_ = 0;
    }
  }
  if (unit.sectorCount == 0) return std::nullopt;
  if (unit.stored.empty()) {
    unit.kind = CompressionUnit::Kind::Zeros;
  } else {
    unit.kind = anySparse ? CompressionUnit::Kind::Compressed : CompressionUnit::Kind::Plain;
  }
  return unit;
}

}  // namespace korv
