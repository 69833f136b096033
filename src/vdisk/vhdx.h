// The VHDX reader: fixed and dynamic disks.
//
// A VHDX file starts with the identifier "vhdxfile", then two copies of the
// header (the valid one with the higher sequence number wins), a region
// table naming the block allocation table (BAT) and the metadata region, and
// the data blocks. The metadata holds the block size, the logical sector size
// and the virtual disk size. Each BAT entry gives a payload block's state and
// its offset in whole MiB; after every `chunkRatio` payload entries comes one
// sector-bitmap entry, used only by differencing disks, which are refused.
//
// The log is not replayed and checksums are not verified. Disks with
// 4,096-byte logical sectors are served in 512-byte sectors like any other.
//
// Every integer on disk is little-endian, and every value read is checked
// against the file before it is used.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <vector>

#include "platform/file.h"
#include "storage/virtual_disk.h"
#include "vdisk/formats.h"
#include "vdisk/open_result.h"
#include "vdisk/stretch_reader.h"

namespace korv {

// A GUID as the file stores it: the first three fields little-endian, the
// last eight bytes as they are.
using VhdxGuid = std::array<std::uint8_t, 16>;

constexpr VhdxGuid MakeVhdxGuid(std::uint32_t a, std::uint16_t b, std::uint16_t c, std::uint64_t d) {
  VhdxGuid guid{};
  for (int i = 0; i < 4; ++i) guid[i] = static_cast<std::uint8_t>(a >> (8 * i));
  for (int i = 0; i < 2; ++i) guid[4 + i] = static_cast<std::uint8_t>(b >> (8 * i));
  for (int i = 0; i < 2; ++i) guid[6 + i] = static_cast<std::uint8_t>(c >> (8 * i));
  for (int i = 0; i < 8; ++i) guid[8 + i] = static_cast<std::uint8_t>(d >> (8 * (7 - i)));
  return guid;
}

inline constexpr VhdxGuid kVhdxBatRegion = MakeVhdxGuid(0x2DC27766, 0xF623, 0x4200, 0x9D64115E9BFD4A08);
inline constexpr VhdxGuid kVhdxMetadataRegion = MakeVhdxGuid(0x8B7CA206, 0x4790, 0x4B9A, 0xB8FE575F050F886E);
inline constexpr VhdxGuid kVhdxFileParameters = MakeVhdxGuid(0xCAA16737, 0xFA36, 0x4D43, 0xB3B633F0AA44E76B);
inline constexpr VhdxGuid kVhdxVirtualDiskSize = MakeVhdxGuid(0x2FA54224, 0xCD1B, 0x4876, 0xB2115DBED83BF4B8);
inline constexpr VhdxGuid kVhdxVirtualDiskId = MakeVhdxGuid(0xBECA12AB, 0xB2E6, 0x4523, 0x93EFC309E000C746);
inline constexpr VhdxGuid kVhdxLogicalSectorSize = MakeVhdxGuid(0xCDA348C7, 0x445D, 0x4471, 0x9CC9E9885251C556);
inline constexpr VhdxGuid kVhdxPhysicalSectorSize = MakeVhdxGuid(0x8141BF1D, 0xA96F, 0x4709, 0xBA47F233A8FAAB5F);
inline constexpr VhdxGuid kVhdxParentLocator = MakeVhdxGuid(0xA8D35F2D, 0xB30B, 0x454D, 0xABF7D3D84834AB0C);

inline constexpr std::uint64_t kVhdxHeader1Offset = 0x10000;
inline constexpr std::uint64_t kVhdxHeader2Offset = 0x20000;
inline constexpr std::size_t kVhdxHeaderBytes = 4096;
inline constexpr std::uint64_t kVhdxRegionTableOffset = 0x30000;
inline constexpr std::size_t kVhdxRegionTableBytes = 65536;
inline constexpr std::size_t kVhdxMetadataTableBytes = 65536;
inline constexpr std::uint32_t kVhdxMaxRegionEntries = 2047;
inline constexpr std::uint32_t kVhdxMaxMetadataEntries = 2047;
inline constexpr std::uint32_t kVhdxMinBlockSize = 1024 * 1024;
inline constexpr std::uint32_t kVhdxMaxBlockSize = 256 * 1024 * 1024;

// Payload block states, bits 0-2 of a BAT entry.
inline constexpr std::uint8_t kVhdxBlockNotPresent = 0;
inline constexpr std::uint8_t kVhdxBlockUndefined = 1;
inline constexpr std::uint8_t kVhdxBlockZero = 2;
inline constexpr std::uint8_t kVhdxBlockUnmapped = 3;
inline constexpr std::uint8_t kVhdxBlockFullyPresent = 6;
inline constexpr std::uint8_t kVhdxBlockPartiallyPresent = 7;

class VhdxReader final : public StretchDisk {
 public:
  VhdxReader(const VhdxReader&) = delete;
  VhdxReader& operator=(const VhdxReader&) = delete;

  // Opens and checks `path`. Differencing disks (with a parent) are refused
  // as Damaged.
  static OpenAttempt<VhdxReader> Open(const std::filesystem::path& path);

  char formatLetter() const override { return VirtualFormat::Vhdx; }
  // Sectors are 512 bytes whatever the logical sector size. Sectors not
  // served: those at or past the end of the disk, and blocks in states 4
  // and 7, which this reader cannot serve.
  using StretchDisk::ReadSector;
  using StretchDisk::ReadRun;  // one file read per contiguous stretch
  VirtualDiskFacts facts() const override;
  AllocationRun allocationAt(std::uint64_t sector) const override;

  std::uint64_t virtualDiskSize() const { return virtualDiskSize_; }
  // The disk size in logical sectors of logicalSectorSize() bytes.
  std::uint64_t diskSectors() const { return diskSectors_; }
  std::uint32_t blockSize() const { return blockSize_; }
  std::uint32_t logicalSectorSize() const { return logicalSectorSize_; }
  std::uint32_t physicalSectorSize() const { return physicalSectorSize_; }
  std::uint64_t sectorsPerBlock() const { return logicalSectorSize_ ? blockSize_ / logicalSectorSize_ : 0; }
  std::uint64_t chunkRatio() const { return chunkRatio_; }
  std::uint64_t headerSequence() const { return headerSequence_; }
  std::uint64_t batEntryCount() const { return bat_.size(); }
  // The BAT entry of payload block `block` (0, not present, beyond the BAT).
  std::uint64_t batEntry(std::uint64_t block) const;
  // Where payload block `block`'s entry lies in the BAT: after every
  // chunkRatio() payload entries comes one sector-bitmap entry.
  std::uint64_t batIndexOf(std::uint64_t block) const;

 private:
  // What a stretch of 512-byte sectors is served from.
  struct Region {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
  };

  VhdxReader(std::unique_ptr<File> file, std::uint64_t fileSize) : file_(std::move(file)), fileSize_(fileSize) {}

  OpenVerdict Load();
  bool LoadHeader();
  bool LoadRegionTable(Region& bat, Region& metadata);
  // The first fault of the metadata; empty when it was read whole.
  std::string_view LoadMetadata(const Region& metadata);
  // Reads and checks the values of the metadata items at `offsets` (file
  // parameters, disk size, disk ID, logical and physical sector size).
  std::string_view ReadMetadataValues(const std::array<std::uint64_t, 5>& offsets);
  bool LoadBat(const Region& bat);

  Stretch MapStretch(std::uint64_t sector, std::uint64_t limit) const override;
  // 512-byte sectors of the disk: diskSectors() counted in 512-byte units.
  std::uint64_t sectors512() const;

  std::unique_ptr<File> file_;
  std::uint64_t fileSize_;
  std::uint64_t diskSectors_ = 0;
  std::uint64_t headerSequence_ = 0;
  std::uint32_t blockSize_ = 0;
  std::uint64_t virtualDiskSize_ = 0;
  std::uint32_t logicalSectorSize_ = 0;
  std::uint32_t physicalSectorSize_ = 0;
  std::uint64_t chunkRatio_ = 0;
  std::vector<std::uint64_t> bat_;
};

}  // namespace korv
