#include "fs/fat/fat_boot.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "fs/fat/fat_sector.h"
#include "platform/bytes.h"

namespace korv {

namespace {

constexpr std::uint8_t kFixedDiskMedia = 0xF8;
constexpr std::uint64_t kFat32BackupBootOffset = 6;
constexpr std::uint32_t kEntriesPerSector = kFatSectorBytes / 32;
constexpr std::uint32_t kMaxSectorsPerCluster = 128;
// FAT32 cluster numbers from 0x0FFFFFF7 up are markers, not clusters.
constexpr std::uint32_t kFat32ClusterLimit = 0x0FFFFFF7;

// The BIOS parameter block fields either layout needs.
struct BpbFields {
  std::uint16_t bytesPerSector = 0;
  std::uint8_t sectorsPerCluster = 0;
  std::uint16_t reservedSectors = 0;
  std::uint16_t rootEntries = 0;
  std::uint32_t sectorsPerFat16 = 0;
  std::uint32_t sectorsPerFat32 = 0;
  std::uint32_t rootCluster = 0;
};

bool HasBootSignature(ByteView sector) {
  return sector.u8(0x1FE) == std::uint8_t{0x55} && sector.u8(0x1FF) == std::uint8_t{0xAA};
}

std::optional<BpbFields> ReadBpb(ByteView sector) {
  const auto bytesPerSector = sector.u16le(0x0B);
  const auto sectorsPerCluster = sector.u8(0x0D);
  const auto reserved = sector.u16le(0x0E);
  const auto rootEntries = sector.u16le(0x11);
  const auto fat16 = sector.u16le(0x16);
  const auto fat32 = sector.u32le(0x24);
  const auto rootCluster = sector.u32le(0x2C);
  if (!bytesPerSector || !sectorsPerCluster || !reserved || !rootEntries || !fat16 || !fat32 || !rootCluster) {
    return std::nullopt;
  }
  return BpbFields{*bytesPerSector, *sectorsPerCluster, *reserved, *rootEntries, *fat16, *fat32, *rootCluster};
}

// The geometry every computation below divides or multiplies by; a damaged
// boot sector must not turn into a division by zero or a FAT of no sectors.
bool GeometryUsable(const BpbFields& bpb, std::uint32_t sectorsPerFat) {
  return bpb.bytesPerSector == kFatSectorBytes && IsPowerOfTwo(bpb.sectorsPerCluster) &&
         bpb.sectorsPerCluster <= kMaxSectorsPerCluster && bpb.reservedSectors > 0 && sectorsPerFat > 0;
}

bool FitsWord(std::uint64_t value) { return value <= std::numeric_limits<std::uint32_t>::max(); }

// True when the second FAT, at first + reserved + sectorsPerFat, begins with
// the fixed-disk media byte.
bool SecondFatHasMediaByte(FatSectorBuffer& buffer, std::uint64_t fat2Sector) {
  return buffer.Read(fat2Sector) && buffer.view().u8(0) == kFixedDiskMedia;
}

// The words both layouts share. Sector numbers are kept in 32-bit words;
// cluster0Sector may lie "before" sector 0 and is then kept modulo 2^32, which
// DataStartSector undoes.
bool FillCommonWords(std::uint64_t first, const BpbFields& bpb, std::uint32_t sectorsPerFat,
                     std::uint64_t rootAreaSectors, BootParameters& out) {
  const std::uint64_t fat1 = first + bpb.reservedSectors;
  const std::uint64_t fat2 = fat1 + sectorsPerFat;
  const std::uint64_t dataStart = fat2 + sectorsPerFat + rootAreaSectors;
  if (!FitsWord(dataStart)) return false;
  out.sectorsPerCluster = bpb.sectorsPerCluster;
  out.sectorsPerFat = sectorsPerFat;
  out.reservedSectors = bpb.reservedSectors;
  out.fat1FirstSector = static_cast<std::uint32_t>(fat1);
  out.fat2FirstSector = static_cast<std::uint32_t>(fat2);
  out.cluster0Sector = static_cast<std::uint32_t>(dataStart - 2u * bpb.sectorsPerCluster);
  return true;
}

bool ReadFixedRootLayout(FatSectorBuffer& buffer, std::uint64_t first, BootParameters& out) {
  if (!buffer.Read(first) || !HasBootSignature(buffer.view())) return false;
  const auto bpb = ReadBpb(buffer.view());
  if (!bpb || !GeometryUsable(*bpb, bpb->sectorsPerFat16)) return false;
  const std::uint32_t rootSectors = bpb->rootEntries / kEntriesPerSector;
  if (rootSectors == 0) return false;
  if (!SecondFatHasMediaByte(buffer, first + bpb->reservedSectors + bpb->sectorsPerFat16)) return false;
  BootParameters words;
  if (!FillCommonWords(first, *bpb, bpb->sectorsPerFat16, rootSectors, words)) return false;
  words.rootFirst = words.fat2FirstSector + bpb->sectorsPerFat16;
  words.rootDirSectors = rootSectors;
  out = words;
  return true;
}

// One attempt with the boot sector at `bootSector` of the volume at `first`.
bool ReadFat32LayoutFrom(FatSectorBuffer& buffer, std::uint64_t first, std::uint64_t bootSector,
                         BootParameters& out) {
  if (!buffer.Read(bootSector) || !HasBootSignature(buffer.view())) return false;
  const auto bpb = ReadBpb(buffer.view());
  if (!bpb || !GeometryUsable(*bpb, bpb->sectorsPerFat32)) return false;
  if (!SecondFatHasMediaByte(buffer, first + bpb->reservedSectors + bpb->sectorsPerFat32)) return false;
  BootParameters words;
  if (!FillCommonWords(first, *bpb, bpb->sectorsPerFat32, 0, words)) return false;
  words.rootFirst = bpb->rootCluster;
  words.rootDirSectors = 0;
  out = words;
  return true;
}

bool ReadFat32Layout(FatSectorBuffer& buffer, std::uint64_t first, BootParameters& out) {
  return ReadFat32LayoutFrom(buffer, first, first, out) ||
         ReadFat32LayoutFrom(buffer, first, first + kFat32BackupBootOffset, out);
}

// Entries a FAT of `type` holds beyond the two reserved ones.
std::uint64_t FatCapacity(const BootParameters& boot, FatType type) {
  const std::uint64_t fatBytes = std::uint64_t{boot.sectorsPerFat} * kFatSectorBytes;
  std::uint64_t entries = 0;
  switch (type) {
    case FatType::Fat12: entries = fatBytes * 2 / 3; break;
    case FatType::Fat16: entries = fatBytes / 2; break;
    case FatType::Fat32: entries = std::min<std::uint64_t>(fatBytes / 4, kFat32ClusterLimit); break;
  }
  return entries > 2 ? entries - 2 : 0;
}

}  // namespace

bool ReadFatBootParameters(SectorSource& sectors, const SelectedRange& range, BootParameters& boot) {
  boot = BootParameters{};
  const auto type = FatTypeOf(range.fileSystem);
  // Every sector number ends up in a 32-bit word; a volume starting beyond
  // that reach cannot be described.
  if (!type || !FitsWord(range.firstSector)) return false;
  FatSectorBuffer buffer(sectors);
  if (*type == FatType::Fat32) return ReadFat32Layout(buffer, range.firstSector, boot);
  return ReadFixedRootLayout(buffer, range.firstSector, boot);
}

std::uint64_t DataStartSector(const BootParameters& boot) {
  return (std::uint64_t{boot.cluster0Sector} + 2u * std::uint64_t{boot.sectorsPerCluster}) & 0xFFFFFFFFu;
}

std::uint64_t ClusterSector(const BootParameters& boot, std::uint32_t cluster) {
  if (cluster < 2) return DataStartSector(boot);
  return DataStartSector(boot) + std::uint64_t{cluster - 2} * boot.sectorsPerCluster;
}

std::uint32_t FatClusterCount(const BootParameters& boot, FatType type, std::uint64_t volumeEndSector) {
  if (boot.sectorsPerCluster == 0) return 0;
  std::uint64_t count = FatCapacity(boot, type);
  if (volumeEndSector != 0) {
    const std::uint64_t dataStart = DataStartSector(boot);
    const std::uint64_t fromEnd = volumeEndSector > dataStart ? (volumeEndSector - dataStart) / boot.sectorsPerCluster : 0;
    count = std::min(count, fromEnd);
  }
  return static_cast<std::uint32_t>(count);
}

FileSystemKind AnalysedFatKind(const BootParameters& boot, std::uint64_t volumeEndSector) {
  if (boot.rootDirSectors == 0) return FileSystemKind::Fat32;
  // Counted as if the FAT held 16-bit entries: a FAT too small for 4,085 of
  // those cannot belong to a FAT16 volume either.
  return FatClusterCount(boot, FatType::Fat16, volumeEndSector) < kMinFat16Clusters ? FileSystemKind::Fat12
                                                                                    : FileSystemKind::Fat16;
}

}  // namespace korv
