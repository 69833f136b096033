#include "fs/ntfs/sector_reads.h"

#include "platform/read_buffer.h"

namespace korv {

ReadBuffer ReadSectorBytes(SectorSource& sectors, std::uint64_t firstSector, std::uint32_t count) {
  ReadBuffer bytes(std::size_t{count} * sectors.sectorBytes(), 0);
  sectors.ReadCurrent(firstSector, count, bytes);
  return bytes;
}

}  // namespace korv
