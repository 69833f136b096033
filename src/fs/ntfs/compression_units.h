// The compression units of a compressed attribute: its runs cut into
// stretches of a fixed number of clusters, each stored in one of three ways.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "fs/ntfs/run_list.h"

namespace korv {

struct CompressionUnit {
  enum class Kind {
    Plain,       // no sparse part: the unit's sectors are its data
    Compressed,  // stored sectors then sparse: LZNT1 data in the stored sectors
    Zeros,       // all sparse
  };
  Kind kind = Kind::Zeros;
  // The unit's stored (non-sparse) sectors, in order.
  std::vector<Run> stored;
  // The unit's length in sectors: the unit size, or less for a last unit
  // the runs end inside.
  std::uint64_t sectorCount = 0;

  std::uint64_t storedSectors() const;
};

// Walks `runs` one compression unit of `unitSectors` at a time.
class CompressionUnits {
 public:
  CompressionUnits(const std::vector<Run>& runs, std::uint64_t unitSectors) : runs_(runs), unitSectors_(unitSectors) {}

  // The next unit, or nothing after the last run (or for a unit size of 0).
  std::optional<CompressionUnit> Next();

 private:
  const std::vector<Run>& runs_;
  std::uint64_t unitSectors_;
  std::size_t run_ = 0;
  std::uint64_t usedOfRun_ = 0;
};

}  // namespace korv
