// The volumes the formatted and partition scans find in a range, listed for
// the user; a volume's place in the list (from 1) is the volume number its
// folders carry.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "common/file_system_kind.h"

namespace korv {

struct VolumeCandidate {
  FileSystemKind fileSystem = FileSystemKind::Unknown;  // NTFS, FAT16 or FAT32
  std::uint32_t sectorsPerCluster = 0;
  std::uint64_t firstSector = 0;  // 0 when not known
  std::uint64_t endSector = 0;    // first sector + the boot sector's total sectors; 0 when not known
  // FAT geometry, as in the boot parameters; 0 for NTFS.
  std::uint32_t sectorsPerFat = 0;
  std::uint32_t rootDirSectors = 0;
  std::uint32_t reservedSectors = 0;
  std::uint32_t rootFirst = 0;
  std::uint32_t cluster0Sector = 0;
  std::uint32_t fat1FirstSector = 0;
  std::uint32_t fat2FirstSector = 0;
  // NTFS; 0 for FAT.
  std::uint32_t sectorsPerMftRecord = 0;
  std::uint32_t sectorsPerIndexRecord = 0;

  bool operator==(const VolumeCandidate&) const = default;
};

using VolumeCandidateList = std::deque<VolumeCandidate>;

}  // namespace korv
