#include "fs/fat/fat_sector.h"

#include <algorithm>

namespace korv {

FatSectorBuffer::FatSectorBuffer(SectorSource& sectors)
    : sectors_(sectors), bytes_(std::max(sectors.sectorBytes(), kFatSectorBytes), 0) {}

bool FatSectorBuffer::Read(std::uint64_t sector) {
  return sectors_.ReadCurrent(sector, 1, bytes_) != 0;
}

}  // namespace korv
