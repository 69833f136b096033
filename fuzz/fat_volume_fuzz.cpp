// Deleted or Formatted Data Recovery over a FAT12, FAT16 or FAT32 volume
// made of the input, followed by the extraction of every file found. The
// first byte picks the type (its value modulo 3) and the mode (Deleted for
// 0-2, Formatted for 3-5, and so on); the rest is the volume from its
// boot sector on, with the geometry mkfs.fat gives such a volume (one
// sector a cluster) patched into the boot sector and the media byte into
// both FATs, so the input is spent on the FATs, folders and data. What the
// geometry leaves alone (the FAT32 root cluster, FSInfo and backup boot
// sector fields, the boot code) stays as the input has it.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

#include "fuzz_support.h"
#include "support/byte_writers.h"
#include "volume_support.h"

namespace {

constexpr std::uint64_t kVolumeFirstSector = 63;  // not at the disk's start, as behind an MBR

struct FatGeometry {
  korv::FileSystemKind kind;
  std::uint64_t sectors;
  std::uint16_t reservedSectors;
  std::uint16_t rootEntries;  // 0 on FAT32
  std::uint32_t sectorsPerFat;
  std::string_view typeText;
};

// mkfs.fat -s 1: FAT12 of 1 MiB, FAT16 of 3 MiB, FAT32 (-R 8) of 2 MiB.
constexpr std::array<FatGeometry, 3> kGeometries = {{
    {korv::FileSystemKind::Fat12, 2048, 1, 512, 6, "FAT12   "},
    {korv::FileSystemKind::Fat16, 6144, 1, 512, 24, "FAT16   "},
    {korv::FileSystemKind::Fat32, 4096, 8, 0, 32, "FAT32   "},
}};

void PatchBootSector(std::span<std::uint8_t> sector, const FatGeometry& geometry) {
  const bool fat32 = geometry.kind == korv::FileSystemKind::Fat32;
  sector[0] = 0xEB;
  sector[1] = fat32 ? 0x58 : 0x3C;
  sector[2] = 0x90;
  korv::StoreU16LE(sector, 0x0B, 512);
  sector[0x0D] = 1;
  korv::StoreU16LE(sector, 0x0E, geometry.reservedSectors);
  sector[0x10] = 2;
  korv::StoreU16LE(sector, 0x11, geometry.rootEntries);
  korv::StoreU16LE(sector, 0x13, static_cast<std::uint16_t>(geometry.sectors));
  sector[0x15] = 0xF8;
  korv::StoreU16LE(sector, 0x16, fat32 ? 0 : static_cast<std::uint16_t>(geometry.sectorsPerFat));
  korv::StoreU32LE(sector, 0x1C, kVolumeFirstSector);
  korv::StoreU32LE(sector, 0x20, 0);
  if (fat32) {
    korv::StoreU16LE(sector, 0x13, 0);
    korv::StoreU32LE(sector, 0x20, static_cast<std::uint32_t>(geometry.sectors));
    korv::StoreU32LE(sector, 0x24, geometry.sectorsPerFat);
  }
  sector[fat32 ? 0x42 : 0x26] = 0x29;
  korv::StoreAscii(sector, fat32 ? 0x52 : 0x36, geometry.typeText);
  sector[0x1FE] = 0x55;
  sector[0x1FF] = 0xAA;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const FatGeometry& geometry = kGeometries[data[0] % kGeometries.size()];
  // One mode an input: each run reads the whole volume, and a deleted-data
  // run that finds nothing goes on to the formatted scan anyway.
  const auto mode =
      (data[0] / kGeometries.size()) % 2 == 0 ? korv::RecoveryMode::DeletedData : korv::RecoveryMode::FormattedData;
  const std::size_t volumeBytes = geometry.sectors * 512;

  korv::fuzz::VolumeSession volume(kVolumeFirstSector + geometry.sectors);
  const auto bytes = std::span(volume.disk.bytes).subspan(kVolumeFirstSector * 512, volumeBytes);
  std::memcpy(bytes.data(), data + 1, std::min(size - 1, volumeBytes));
  PatchBootSector(bytes.first(512), geometry);
  for (std::uint32_t fat = 0; fat < 2; ++fat) {
    bytes[(geometry.reservedSectors + fat * geometry.sectorsPerFat) * 512] = 0xF8;
  }

  volume.SelectVolume(kVolumeFirstSector, geometry.sectors, geometry.kind);
  volume.session.AnalyseSelectedRange(mode, volume.progress);
  korv::fuzz::ExtractEveryFile(volume.session, korv::fuzz::EmptyScratchFolder("out"));
  return 0;
}
