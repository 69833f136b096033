#include "fs/ntfs/ntfs_boot.h"

#include <algorithm>
#include <array>
#include <vector>

#include "fs/ntfs/file_record.h"
#include "fs/ntfs/sector_reads.h"

namespace korv {

namespace {

constexpr std::uint64_t kOemIdField = 0x03;
constexpr std::uint64_t kBytesPerSectorField = 0x0B;
constexpr std::uint64_t kSignatureField = 0x1FE;
constexpr std::uint32_t kMaxSectorsPerCluster = 128;

// Sizes below one cluster are written as a negative byte n: 2^−n bytes.
// 0xF6 is 1,024 bytes, 0xF4 4,096.
constexpr std::uint32_t kFirstByteSizeCode = 0x80;
constexpr std::uint32_t kLastByteSizeCode = 0xFF;

}  // namespace

bool IsUsableMftRecordSize(std::uint64_t sectorsPerRecord) {
  constexpr std::array<std::uint64_t, 5> kUsable = {1, 2, 4, 6, 8};
  for (const auto usable : kUsable) {
    if (sectorsPerRecord == usable) return true;
  }
  return false;
}

namespace {

std::uint64_t RecordSectors(std::uint32_t value, std::uint32_t sectorsPerCluster) {
  if (value >= kFirstByteSizeCode && value <= kLastByteSizeCode) {
    const std::uint32_t shift = 256 - value;
    if (shift < 9 || shift > 31) return 0;  // below one sector, or absurd
    return (std::uint64_t{1} << shift) / kNtfsSectorBytes;
  }
  return std::uint64_t{value} * sectorsPerCluster;
}

struct BootCopy {
  std::uint64_t sector = 0;
  NtfsBootSector boot;
};

std::optional<NtfsBootSector> ReadCopy(SectorSource& sectors, std::uint64_t sector) {
  const auto bytes = ReadSectorBytes(sectors, sector, 1);
  return DecodeNtfsBootSector(ByteView(bytes));
}

// The valid copies: the first sector's, then the backup in the volume's
// last sector, which only counts where its own total-sectors field puts it
// (the total leaves out the sector that holds the backup).
std::vector<BootCopy> ValidCopies(SectorSource& sectors, const SelectedRange& range) {
  std::vector<BootCopy> copies;
  const std::uint64_t first = range.firstSector;
  if (const auto boot = ReadCopy(sectors, first)) copies.push_back({first, *boot});
  if (range.endSector <= first + 1) return copies;
  for (const std::uint64_t backup : {range.endSector - 1, range.endSector}) {
    const auto boot = ReadCopy(sectors, backup);
    if (!boot || first + boot->totalSectors != backup) continue;
    copies.push_back({backup, *boot});
    break;
  }
  return copies;
}

// The sector of the record at `cluster` when it fits 32 bits and holds
// "FILE"; 0 otherwise.
std::uint32_t LocateFileRecord(SectorSource& sectors, std::uint64_t partitionFirst, const NtfsBootSector& boot,
                               std::uint32_t cluster) {
  const std::uint64_t sector = partitionFirst + std::uint64_t{cluster} * boot.sectorsPerCluster;
  if (sector > 0xFFFFFFFFu) return 0;
  const auto bytes = ReadSectorBytes(sectors, sector, 1);
  return HasFileSignature(ByteView(bytes)) ? static_cast<std::uint32_t>(sector) : 0;
}

}  // namespace

bool HasNtfsOemId(ByteView sector) { return sector.matches(kOemIdField, kNtfsOemId); }

std::uint64_t SectorsPerMftRecord(std::uint32_t clustersPerRecord, std::uint32_t sectorsPerCluster) {
  return RecordSectors(clustersPerRecord, sectorsPerCluster);
}

std::uint64_t SectorsPerIndexRecord(std::uint32_t clustersPerRecord, std::uint32_t sectorsPerCluster) {
  return RecordSectors(clustersPerRecord, sectorsPerCluster);
}

std::optional<NtfsBootSector> DecodeNtfsBootSector(ByteView sector) {
  if (sector.u8(kSignatureField) != 0x55 || sector.u8(kSignatureField + 1) != 0xAA) return std::nullopt;
  if (sector.u16le(kBytesPerSectorField) != kNtfsSectorBytes) return std::nullopt;
  const auto perCluster = sector.u8(kSectorsPerClusterField);
  if (!perCluster || *perCluster == 0 || *perCluster > kMaxSectorsPerCluster || !IsPowerOfTwo(*perCluster)) {
    return std::nullopt;
  }
  NtfsBootSector boot;
  boot.sectorsPerCluster = *perCluster;
  const std::uint64_t perMftRecord = SectorsPerMftRecord(*sector.u32le(kClustersPerMftRecordField), *perCluster);
  if (!IsUsableMftRecordSize(perMftRecord)) return std::nullopt;
  boot.sectorsPerMftRecord = static_cast<std::uint32_t>(perMftRecord);
  const std::uint64_t perIndexRecord = SectorsPerIndexRecord(*sector.u32le(kClustersPerIndexRecordField), *perCluster);
  boot.sectorsPerIndexRecord = static_cast<std::uint32_t>(std::min<std::uint64_t>(perIndexRecord, 0xFFFFFFFFu));
  boot.totalSectors = *sector.u32le(kTotalSectorsField);
  boot.mftCluster = *sector.u32le(kMftClusterField);
  boot.mftMirrCluster = *sector.u32le(kMftMirrClusterField);
  return boot;
}

bool ReadNtfsBootParameters(SectorSource& sectors, const SelectedRange& range, BootParameters& parameters) {
  if (sectors.sectorBytes() != kNtfsSectorBytes || range.firstSector > 0xFFFFFFFFu) return false;
  const std::vector<BootCopy> copies = ValidCopies(sectors, range);
  const std::uint64_t first = range.firstSector;

  // The copy that finds the MFT is the one trusted; the mirror may come
  // from either copy.
  const BootCopy* trusted = nullptr;
  std::uint32_t mft = 0;
  for (const BootCopy& copy : copies) {
    mft = LocateFileRecord(sectors, first, copy.boot, copy.boot.mftCluster);
    if (mft != 0) {
      trusted = &copy;
      break;
    }
  }
  std::uint32_t mirror = 0;
  for (const BootCopy& copy : copies) {
    mirror = LocateFileRecord(sectors, first, copy.boot, copy.boot.mftMirrCluster);
    if (mirror == 0) continue;
    if (trusted == nullptr) trusted = &copy;
    break;
  }
  if (trusted == nullptr) return false;

  const NtfsBootSector& boot = trusted->boot;
  parameters.sectorsPerCluster = boot.sectorsPerCluster;
  parameters.cluster0Sector = static_cast<std::uint32_t>(first);
  parameters.mftFirstSector = mft;
  parameters.mftMirrFirstSector = mirror;
  parameters.sectorsPerMftRecord = boot.sectorsPerMftRecord;
  parameters.sectorsPerIndexRecord = boot.sectorsPerIndexRecord;
  return true;
}

}  // namespace korv
