#include "volume_support.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "save/extraction.h"
#include "support/byte_writers.h"

namespace korv::fuzz {

namespace {

SessionOptions ScratchOptions() {
  SessionOptions options;
  options.inventoryPath = EmptyScratchFolder("state") / "inventory.json";
  options.findPhysicalDisks = false;
  return options;
}

test::MemoryDisk& ZeroedDisk(std::size_t sectors) {
  static test::MemoryDisk disk(0);
  disk.bytes.assign(sectors * kVirtualSectorBytes, 0);
  return disk;
}

constexpr std::uint64_t kVolumeFirstSector = 63;  // not at the disk's start, as behind an MBR

struct FatGeometry {
  FileSystemKind kind;
  std::uint64_t sectors;
  std::uint16_t reservedSectors;
  std::uint16_t rootEntries;  // 0 on FAT32
  std::uint32_t sectorsPerFat;
  std::string_view typeText;
};

// mkfs.fat -s 1: FAT12 of 1 MiB, FAT16 of 3 MiB, FAT32 (-R 8) of 2 MiB.
constexpr std::array<FatGeometry, kFatGeometryCount> kGeometries = {{
    {FileSystemKind::Fat12, 2048, 1, 512, 6, "FAT12   "},
    {FileSystemKind::Fat16, 6144, 1, 512, 24, "FAT16   "},
    {FileSystemKind::Fat32, 4096, 8, 0, 32, "FAT32   "},
}};

void PatchBootSector(std::span<std::uint8_t> sector, const FatGeometry& geometry) {
  const bool fat32 = geometry.kind == FileSystemKind::Fat32;
  sector[0] = 0xEB;
  sector[1] = fat32 ? 0x58 : 0x3C;
  sector[2] = 0x90;
  StoreU16LE(sector, 0x0B, 512);
  sector[0x0D] = 1;
  StoreU16LE(sector, 0x0E, geometry.reservedSectors);
  sector[0x10] = 2;
  StoreU16LE(sector, 0x11, geometry.rootEntries);
  StoreU16LE(sector, 0x13, static_cast<std::uint16_t>(geometry.sectors));
  sector[0x15] = 0xF8;
  StoreU16LE(sector, 0x16, fat32 ? 0 : static_cast<std::uint16_t>(geometry.sectorsPerFat));
  StoreU32LE(sector, 0x1C, kVolumeFirstSector);
  StoreU32LE(sector, 0x20, 0);
  if (fat32) {
    StoreU16LE(sector, 0x13, 0);
    StoreU32LE(sector, 0x20, static_cast<std::uint32_t>(geometry.sectors));
    StoreU32LE(sector, 0x24, geometry.sectorsPerFat);
  }
  sector[fat32 ? 0x42 : 0x26] = 0x29;
  StoreAscii(sector, fat32 ? 0x52 : 0x36, geometry.typeText);
  sector[0x1FE] = 0x55;
  sector[0x1FF] = 0xAA;
}

}  // namespace

VolumeSession::VolumeSession(std::size_t diskSectors)
    : disk(ZeroedDisk(diskSectors)), session(prompts, ScratchOptions()) {
  session.source.kind = SourceKind::VirtualDisk;
  session.source.virtualDisk = &disk;
}

void VolumeSession::SelectVolume(std::uint64_t first, std::uint64_t count, FileSystemKind fileSystem) {
  session.range.firstSector = first;
  session.range.endSector = first + count;
  session.range.fileSystem = fileSystem;
}

std::size_t FatDiskSectors(std::size_t geometry) {
  return kVolumeFirstSector + kGeometries[geometry % kGeometries.size()].sectors;
}

void MakeFatVolume(VolumeSession& volume, std::size_t geometryIndex, std::span<const std::uint8_t> bytes) {
  const FatGeometry& geometry = kGeometries[geometryIndex % kGeometries.size()];
  const std::size_t volumeBytes = geometry.sectors * 512;
  const auto volumeSpan = std::span(volume.disk.bytes).subspan(kVolumeFirstSector * 512, volumeBytes);
  if (!bytes.empty()) std::memcpy(volumeSpan.data(), bytes.data(), std::min(bytes.size(), volumeBytes));
  PatchBootSector(volumeSpan.first(512), geometry);
  for (std::uint32_t fat = 0; fat < 2; ++fat) {
    volumeSpan[(geometry.reservedSectors + fat * geometry.sectorsPerFat) * 512] = 0xF8;
  }
  volume.SelectVolume(kVolumeFirstSector, geometry.sectors, geometry.kind);
}

void ExtractEveryFile(Session& session, const std::filesystem::path& folder, ExtractionLimits limits) {
  ExtractionSource source(session.sectors, session.analysisParameters);
  const std::filesystem::path out = folder / "extracted";
  std::size_t written = 0;
  session.store.ForEachFileInOrder([&](FileId id) {
    const FoundFile& file = session.store.file(id);
    if (written < limits.maxFiles && file.size <= limits.maxFileBytes) {
      ++written;
      ExtractFoundFile(source, file, out);
      return;
    }
    if (source.fileSystem() == FileSystemKind::Ntfs) {
      LocateNtfsData(source, file);
    } else {
      LocateFatData(source, file);
    }
  });
}

}  // namespace korv::fuzz
