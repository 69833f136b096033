#include "fs/fat/fat_boot_hit.h"

#include <limits>

namespace korv {

namespace {

constexpr std::uint64_t kSignatureField = 510;
constexpr std::uint64_t kSectorsPerClusterField = 0x0D;
constexpr std::uint64_t kReservedSectorsField = 0x0E;
constexpr std::uint64_t kRootEntriesField = 0x11;
constexpr std::uint64_t kTotalSectors16Field = 0x13;
constexpr std::uint64_t kSectorsPerFat16Field = 0x16;
constexpr std::uint64_t kTotalSectors32Field = 0x20;
constexpr std::uint64_t kSectorsPerFat32Field = 0x24;
constexpr std::uint64_t kRootClusterField = 0x2C;
// The last two characters of the file-system labels, "FAT16" at 0x36 and
// "FAT32" at 0x52.
constexpr std::uint64_t kFat16LabelDigits = 0x39;
constexpr std::uint64_t kFat32LabelDigits = 0x55;
constexpr std::uint32_t kEntriesPerSector = 16;
constexpr std::uint32_t kMaxSectorsPerCluster = 128;

bool Fits32(std::uint64_t value) { return value <= std::numeric_limits<std::uint32_t>::max(); }

// The geometry both layouts share, from the FAT sizes and the sectors
// before the data area; nothing when it does not fit.
std::optional<FatBootHit> Place(FatBootHit hit, std::uint64_t sectorsBeforeData) {
  const std::uint64_t fat1 = hit.sector + hit.reservedSectors;
  const std::uint64_t fat2 = fat1 + hit.sectorsPerFat;
  const std::uint64_t dataStart = hit.sector + sectorsBeforeData;
  const std::uint64_t twoClusters = 2ULL * hit.sectorsPerCluster;
  if (dataStart < twoClusters) return std::nullopt;
  const std::uint64_t cluster0 = dataStart - twoClusters;
  if (!Fits32(fat1) || !Fits32(fat2) || !Fits32(cluster0)) return std::nullopt;
  hit.fat1FirstSector = static_cast<std::uint32_t>(fat1);
  hit.fat2FirstSector = static_cast<std::uint32_t>(fat2);
  hit.cluster0Sector = static_cast<std::uint32_t>(cluster0);
  return hit;
}

std::optional<FatBootHit> ReadFat32Hit(ByteView sector, FatBootHit hit) {
  hit.fileSystem = FileSystemKind::Fat32;
  hit.sectorsPerFat = sector.u32le(kSectorsPerFat32Field).value_or(0);
  hit.rootFirst = sector.u32le(kRootClusterField).value_or(0);
  hit.endSector = hit.sector + sector.u32le(kTotalSectors32Field).value_or(0);
  return Place(hit, std::uint64_t{hit.reservedSectors} + 2ULL * hit.sectorsPerFat);
}

std::optional<FatBootHit> ReadFat16Hit(ByteView sector, FatBootHit hit) {
  hit.fileSystem = FileSystemKind::Fat16;
  hit.sectorsPerFat = sector.u16le(kSectorsPerFat16Field).value_or(0);
  hit.rootDirSectors = sector.u16le(kRootEntriesField).value_or(0) / kEntriesPerSector;
  std::uint64_t total = sector.u32le(kTotalSectors32Field).value_or(0);
  if (total == 0) total = sector.u16le(kTotalSectors16Field).value_or(0);
  hit.endSector = hit.sector + total;
  const std::uint64_t root = hit.sector + hit.reservedSectors + 2ULL * hit.sectorsPerFat;
  if (!Fits32(root)) return std::nullopt;
  hit.rootFirst = static_cast<std::uint32_t>(root);
  return Place(hit, std::uint64_t{hit.reservedSectors} + 2ULL * hit.sectorsPerFat + hit.rootDirSectors);
}

}  // namespace

std::optional<FatBootHit> ReadFatBootHit(ByteView sector, std::uint64_t sectorNumber) {
  if (sector.u8(kSignatureField) != 0x55 || sector.u8(kSignatureField + 1) != 0xAA) return std::nullopt;
  const bool fat32 = sector.matches(kFat32LabelDigits, "32");
  if (!fat32 && !sector.matches(kFat16LabelDigits, "16")) return std::nullopt;
  FatBootHit hit;
  hit.sector = sectorNumber;
  hit.sectorsPerCluster = sector.u8(kSectorsPerClusterField).value_or(0);
  // Every cluster would be placed wrong: the folders cannot confirm it.
  if (hit.sectorsPerCluster == 0 || hit.sectorsPerCluster > kMaxSectorsPerCluster ||
      !IsPowerOfTwo(hit.sectorsPerCluster)) {
    return std::nullopt;
  }
  hit.reservedSectors = sector.u16le(kReservedSectorsField).value_or(0);
  return fat32 ? ReadFat32Hit(sector, hit) : ReadFat16Hit(sector, hit);
}

}  // namespace korv
