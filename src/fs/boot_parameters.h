// The geometry of the partition an analysis starts on: twelve 32-bit words,
// filled from an NTFS or FAT boot sector, copied into the analysis
// parameters and kept in recovery logs in this order.
#pragma once

#include <cstdint>

namespace korv {

struct BootParameters {
  // NTFS
  std::uint32_t sectorsPerMftRecord = 0;
  std::uint32_t sectorsPerIndexRecord = 0;
  std::uint32_t mftFirstSector = 0;      // 0 when no "FILE" record was found there
  std::uint32_t mftMirrFirstSector = 0;  // 0 when not found
  // both
  std::uint32_t sectorsPerCluster = 0;
  // FAT
  std::uint32_t sectorsPerFat = 0;
  std::uint32_t rootFirst = 0;
  std::uint32_t rootDirSectors = 0;
  std::uint32_t reservedSectors = 0;
  // NTFS: the partition's first sector, from which clusters count; FAT: the
  // sector that cluster 0 would have.
  std::uint32_t cluster0Sector = 0;
  std::uint32_t fat1FirstSector = 0;
  std::uint32_t fat2FirstSector = 0;

  std::uint32_t partitionFirstSector() const { return cluster0Sector; }
  bool operator==(const BootParameters&) const = default;
};

}  // namespace korv
