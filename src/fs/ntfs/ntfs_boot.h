// The NTFS boot sector: the geometry an analysis starts from.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "fs/boot_parameters.h"
#include "platform/bytes.h"
#include "storage/current_source.h"
#include "storage/sector_source.h"

namespace korv {

inline constexpr std::string_view kNtfsOemId = "NTFS";
inline constexpr std::uint32_t kNtfsSectorBytes = 512;

// Fields of the NTFS boot sector.
inline constexpr std::uint64_t kSectorsPerClusterField = 0x0D;
inline constexpr std::uint64_t kTotalSectorsField = 0x28;
inline constexpr std::uint64_t kMftClusterField = 0x30;
inline constexpr std::uint64_t kMftMirrClusterField = 0x38;
inline constexpr std::uint64_t kClustersPerMftRecordField = 0x40;
inline constexpr std::uint64_t kClustersPerIndexRecordField = 0x44;

// 1, 2, 4, 6 or 8 sectors per MFT record: the sizes NTFS writes.
bool IsUsableMftRecordSize(std::uint64_t sectorsPerRecord);

// What one boot sector copy says, once it passed the checks below.
struct NtfsBootSector {
  std::uint32_t sectorsPerCluster = 0;
  std::uint64_t totalSectors = 0;  // low 32 bits of the field
  std::uint32_t mftCluster = 0;
  std::uint32_t mftMirrCluster = 0;
  std::uint32_t sectorsPerMftRecord = 0;
  std::uint32_t sectorsPerIndexRecord = 0;
};

// Decodes a boot sector copy: it must end in 0x55 0xAA, declare 512 bytes
// per sector and a power of two from 1 to 128 sectors per cluster, and give
// 1, 2, 4, 6 or 8 sectors per MFT record. The OEM id is not required (the
// scans check it with HasNtfsOemId).
std::optional<NtfsBootSector> DecodeNtfsBootSector(ByteView sector);

bool HasNtfsOemId(ByteView sector);

// Sectors per MFT record from the value at 0x40: 0xF6 (1,024 bytes) gives 2,
// else value × sectors per cluster.
std::uint64_t SectorsPerMftRecord(std::uint32_t clustersPerRecord, std::uint32_t sectorsPerCluster);
// Sectors per index record from the value at 0x44: 0xF4 (4,096 bytes) gives
// 8, else value × sectors per cluster.
std::uint64_t SectorsPerIndexRecord(std::uint32_t clustersPerRecord, std::uint32_t sectorsPerCluster);

// Reads the boot sector of `range` (its first sector, else the backup copy
// in the volume's last sector: endSector − 1, then endSector, each accepted
// only where its total-sectors field puts it) and fills the NTFS words of
// `parameters`: sectorsPerCluster, partitionFirstSector, the MFT and MFT
// mirror positions (each 0 when no "FILE" record lies there),
// sectorsPerMftRecord and sectorsPerIndexRecord. Fails, leaving
// `parameters` alone, when no copy is valid, when neither MFT copy is
// found, or when a sector number does not fit 32 bits.
bool ReadNtfsBootParameters(SectorSource& sectors, const SelectedRange& range, BootParameters& parameters);

}  // namespace korv
