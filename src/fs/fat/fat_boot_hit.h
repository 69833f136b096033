// A FAT16 or FAT32 boot sector met while scanning a range for lost volumes,
// and the geometry it gives counted from where it was found. Unlike
// ReadFatBootParameters, nothing else of the volume is read: the scan
// confirms a hit by the folders that lie where it says.
#pragma once

#include <cstdint>
#include <optional>

#include "common/file_system_kind.h"
#include "platform/bytes.h"

namespace korv {

struct FatBootHit {
  FileSystemKind fileSystem = FileSystemKind::Unknown;  // FAT16 or FAT32
  std::uint64_t sector = 0;
  std::uint64_t endSector = 0;  // sector + the total sectors
  std::uint32_t sectorsPerCluster = 0;
  std::uint32_t sectorsPerFat = 0;
  std::uint32_t rootDirSectors = 0;  // 0 on FAT32
  std::uint32_t reservedSectors = 0;
  std::uint32_t rootFirst = 0;  // FAT32: the root's cluster; FAT16: the root area's sector
  std::uint32_t cluster0Sector = 0;
  std::uint32_t fat1FirstSector = 0;
  std::uint32_t fat2FirstSector = 0;
};

// The sector ends in 0x55 0xAA and carries the "FAT32" (at 0x52) or "FAT16"
// (at 0x36) label. Nothing for any other sector, for a cluster size that is
// not a power of two from 1 to 128, for a cluster 0 before sector 0, or for
// positions that do not fit 32 bits.
std::optional<FatBootHit> ReadFatBootHit(ByteView sector, std::uint64_t sectorNumber);

}  // namespace korv
