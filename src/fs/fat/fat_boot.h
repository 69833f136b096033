// The boot sector of a FAT volume and the geometry taken from it: where the
// FATs, the root folder and the clusters lie.
#pragma once

#include <cstdint>
#include <string_view>

#include "fs/boot_parameters.h"
#include "fs/fat/fat_type.h"
#include "storage/sector_source.h"

namespace korv {

// Fills the FAT words of `boot` from the boot sector at range.firstSector,
// laid out as range.fileSystem says: FAT12 and FAT16 with a fixed root
// area, FAT32 with a root cluster chain (the backup boot sector six sectors
// on stands in for a missing or inconsistent main one). Fails, leaving `boot`
// all zeros, for any other file system, without a 0x55 0xAA boot sector, when the
// second FAT does not begin with the media byte 0xF8, when the boot sector
// does not describe 512-byte sectors and a power-of-two cluster of 1 to 128
// sectors, or when a sector number would not fit 32 bits.
bool ReadFatBootParameters(SectorSource& sectors, const SelectedRange& range, BootParameters& boot);

// The first sector of the data area, where cluster 2 begins.
std::uint64_t DataStartSector(const BootParameters& boot);

// The first sector of cluster c (c × sectors per cluster + cluster0Sector).
// Clusters below 2 have no sector of their own; they give the data area's start.
std::uint64_t ClusterSector(const BootParameters& boot, std::uint32_t cluster);

// How many clusters the volume has: those whose sectors lie before
// volumeEndSector (the first sector after the volume; 0 when unknown), and
// never more than a FAT of `type` entries can describe.
std::uint32_t FatClusterCount(const BootParameters& boot, FatType type, std::uint64_t volumeEndSector);

// The kind a FAT volume is analysed and saved as: FAT32 for parameters read
// with the FAT32 layout (no fixed root area); otherwise FAT12 when the volume
// has fewer than 4,085 clusters, else FAT16. A FAT12 volume is often called
// FAT16 by the partition tree; its layout is the same, its entries are not.
FileSystemKind AnalysedFatKind(const BootParameters& boot, std::uint64_t volumeEndSector);

}  // namespace korv
