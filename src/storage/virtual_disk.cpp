#include "storage/virtual_disk.h"

namespace korv {

int VirtualDisk::ReadRun(std::uint64_t firstSector, std::uint32_t count, std::span<std::uint8_t> out) {
  if (out.size() / kVirtualSectorBytes < count) return 0;
  int result = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    result = ReadSector(firstSector + i, out.subspan(std::size_t{i} * kVirtualSectorBytes, kVirtualSectorBytes));
  }
  return result;
}

AllocationRun VirtualDisk::allocationAt(std::uint64_t sector) const {
  const std::uint64_t total = facts().diskSizeBytes / kVirtualSectorBytes;
  if (sector >= total) return {true, 0};
  return {true, total - sector};
}

}  // namespace korv
