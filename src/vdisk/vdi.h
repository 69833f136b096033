// The VDI reader: dynamic, fixed and differencing disks with a version 1.x
// header.
//
// A VDI file starts with a 72-byte pre-header (text, signature 0xBEDA107F,
// version), then, from byte 72, the header (its size first) naming the block
// map and the data area. Each
// block-map entry is the index of a block in the data area; 0xFFFFFFFF marks
// a block never written, 0xFFFFFFFE a block known to hold only zeros. A
// block's data lies at data offset + index × (extra + block size) + extra.
//
// A differencing disk's unwritten blocks live in its parent, which this
// reader does not open: reads of them fail.
//
// Every integer on disk is little-endian, and every value read is checked
// against the file before it is used.
#pragma once

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

inline constexpr std::uint32_t kVdiSignature = 0xBEDA107F;
inline constexpr std::size_t kVdiPreHeaderBytes = 72;
inline constexpr std::size_t kVdiHeaderBytes = 384;
inline constexpr std::size_t kVdiLongHeaderBytes = 400;
// The block map must lie past the pre-header and the shortest header.
inline constexpr std::uint32_t kVdiMinBlockMapOffset = 456;
inline constexpr std::uint32_t kVdiBlockFree = 0xFFFFFFFFu;
inline constexpr std::uint32_t kVdiBlockZero = 0xFFFFFFFEu;

inline constexpr std::uint32_t kVdiTypeDynamic = 1;
inline constexpr std::uint32_t kVdiTypeFixed = 2;
inline constexpr std::uint32_t kVdiTypeUndo = 3;
inline constexpr std::uint32_t kVdiTypeDifferencing = 4;

// imageFlags(): the header's flags moved up a byte, with these bits added.
inline constexpr std::uint32_t kVdiFlagFixed = 0x10000;
inline constexpr std::uint32_t kVdiFlagDifferencing = 0x20000;

// The header fields the reader uses, in host order.
struct VdiHeader {
  std::uint32_t version = 0;
  std::uint32_t headerSize = 0;
  std::uint32_t imageType = 0;
  std::uint32_t flags = 0;
  std::uint32_t blockMapOffset = 0;
  std::uint32_t dataOffset = 0;
  std::uint64_t diskSize = 0;
  std::uint32_t blockSize = 0;
  std::uint32_t blockExtra = 0;
  std::uint32_t blocks = 0;
  std::uint32_t allocatedBlocks = 0;
};

class VdiReader final : public StretchDisk {
 public:
  VdiReader(const VdiReader&) = delete;
  VdiReader& operator=(const VdiReader&) = delete;

  // Opens and checks `path`.
  static OpenAttempt<VdiReader> Open(const std::filesystem::path& path);

  char formatLetter() const override { return VirtualFormat::Vdi; }
  // Sectors not served: those not wholly inside the disk size, blocks whose
  // map entry is damaged, and a differencing disk's unwritten blocks.
  using StretchDisk::ReadSector;
  using StretchDisk::ReadRun;  // one file read per contiguous stretch
  VirtualDiskFacts facts() const override;
  AllocationRun allocationAt(std::uint64_t sector) const override;

  const VdiHeader& header() const { return header_; }
  std::uint64_t diskSize() const { return header_.diskSize; }
  // (header flags × 256) | kVdiFlagFixed for a fixed disk | kVdiFlagDifferencing
  // for a differencing one; the inventory's model text depends on it.
  std::uint32_t imageFlags() const { return imageFlags_; }
  bool isDifferencing() const { return header_.imageType == kVdiTypeDifferencing; }
  // The block-map entry of `block`; kVdiBlockFree beyond the map.
  std::uint32_t blockMapEntry(std::uint64_t block) const;

 private:
  VdiReader(std::unique_ptr<File> file, std::uint64_t fileSize) : file_(std::move(file)), fileSize_(fileSize) {}

  OpenVerdict LoadHeader(std::uint32_t version);
  // The first check the header fails; empty when it is sound.
  std::string_view HeaderFault() const;
  OpenVerdict LoadBlockMap();

  Stretch MapStretch(std::uint64_t sector, std::uint64_t limit) const override;
  StretchKind SourceOfEntry(std::uint32_t entry) const;
  // Sectors wholly inside the disk size.
  std::uint64_t diskSectors() const;

  std::unique_ptr<File> file_;
  std::uint64_t fileSize_;
  VdiHeader header_;
  std::uint32_t imageFlags_ = 0;
  std::uint64_t blockStride_ = 0;  // block extra + block size
  std::vector<std::uint32_t> blockMap_;
};

}  // namespace korv
