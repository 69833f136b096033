#include "fs/ntfs/sector_reads.h"

namespace korv {

std::vector<std::uint8_t> ReadSectorBytes(SectorSource& sectors, std::uint64_t firstSector, std::uint32_t count) {
  std::vector<std::uint8_t> bytes(std::size_t{count} * sectors.sectorBytes(), 0);
  sectors.ReadCurrent(firstSector, count, bytes);
  return bytes;
}

}  // namespace korv
