// The VHD reader: fixed, dynamic and differencing disks.
//
// A VHD keeps a 512-byte footer at its end (dynamic and differencing disks
// keep a copy at the front too). A fixed disk is its data followed by the
// footer. A dynamic disk has a "cxsparse" header naming a block table; each
// allocated block is a sector bitmap followed by the block's data. A
// differencing disk has the same layout, and the sectors its bitmaps do not
// mark are read from its parent, which may be differencing in turn.
//
// Every integer on disk is big-endian, and every value read is checked
// against the file before it is used.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/read_buffer.h"
#include "storage/virtual_disk.h"
#include "vdisk/formats.h"
#include "vdisk/open_result.h"
#include "vdisk/stretch_reader.h"

namespace korv {

inline constexpr std::uint32_t kVhdFixed = 2;
inline constexpr std::uint32_t kVhdDynamic = 3;
inline constexpr std::uint32_t kVhdDifferencing = 4;
inline constexpr std::size_t kVhdFooterBytes = 512;
inline constexpr std::size_t kVhdDynamicHeaderBytes = 1024;
inline constexpr std::size_t kVhdParentNameUnits = 256;
inline constexpr std::uint32_t kVhdUnallocated = 0xFFFFFFFFu;
// Longest parent chain followed (child, parent, grandparent, ...).
inline constexpr int kVhdMaxChainDepth = 64;

// The footer fields, in host order.
struct VhdFooter {
  std::uint32_t features = 0;
  std::uint32_t formatVersion = 0;
  std::uint64_t dataOffset = 0;
  std::uint32_t timeStamp = 0;
  std::string creatorApplication;  // four ASCII characters, as stored
  std::uint32_t creatorVersion = 0;
  std::uint32_t creatorHostOs = 0;
  std::uint64_t originalSize = 0;
  std::uint64_t currentSize = 0;
  std::uint16_t cylinders = 0;
  std::uint8_t heads = 0;
  std::uint8_t sectorsPerTrack = 0;
  std::uint32_t diskType = 0;
  std::uint32_t checksum = 0;
};

// The dynamic header fields the reader uses, in host order.
struct VhdDynamicHeader {
  std::uint64_t tableOffset = 0;
  std::uint32_t headerVersion = 0;
  std::uint32_t maxTableEntries = 0;
  std::uint32_t blockSize = 0;
  std::u16string parentName;  // at most 256 units; need not be terminated on disk
};

class VhdReader final : public StretchDisk {
 public:
  VhdReader(const VhdReader&) = delete;
  VhdReader& operator=(const VhdReader&) = delete;

  // Opens and checks `path`. A differencing disk opens without its parent;
  // ResolveVhdParent attaches the parent chain.
  static OpenAttempt<VhdReader> Open(const std::filesystem::path& path);

  char formatLetter() const override { return VirtualFormat::Vhd; }
  using StretchDisk::ReadSector;
  using StretchDisk::ReadRun;  // one file read per contiguous stretch
  VirtualDiskFacts facts() const override;
  AllocationRun allocationAt(std::uint64_t sector) const override;

  const VhdFooter& footer() const { return footer_; }
  const VhdDynamicHeader& dynamicHeader() const { return header_; }
  std::uint32_t diskType() const { return footer_.diskType; }
  std::uint16_t cylinders() const { return footer_.cylinders; }
  std::uint8_t heads() const { return footer_.heads; }
  std::uint8_t sectorsPerTrack() const { return footer_.sectorsPerTrack; }
  std::uint64_t currentSize() const { return footer_.currentSize; }
  bool isFixed() const { return footer_.diskType == kVhdFixed; }
  bool isDifferencing() const { return footer_.diskType == kVhdDifferencing; }
  std::u16string parentName() const { return header_.parentName; }
  std::uint32_t sectorsPerBlock() const { return sectorsPerBlock_; }
  std::uint32_t bitmapSectors() const { return bitmapSectors_; }
  // The block table entry (first file sector of the block), or
  // kVhdUnallocated for an unallocated block or one beyond the table.
  std::uint32_t tableEntry(std::uint64_t block) const;

  // The reader that serves the sectors this differencing disk does not hold.
  void AttachParent(std::unique_ptr<VhdReader> parent) { parent_ = std::move(parent); }
  VhdReader* parent() const { return parent_.get(); }

 private:
  VhdReader(std::unique_ptr<File> file, std::uint64_t fileSize, const VhdFooter& footer)
      : file_(std::move(file)), fileSize_(fileSize), footer_(footer) {}

  OpenVerdict LoadDynamicHeader();
  OpenVerdict LoadBlockTable();

  ReadOutcome ReadSpan(std::uint64_t sector, std::uint64_t count, std::span<std::uint8_t> out) override;
  // allocationAt before the stretch is cut at the disk's end.
  AllocationRun blockAllocationAt(std::uint64_t sector) const;
  Stretch MapStretch(std::uint64_t sector, std::uint64_t limit) const override;
  Stretch FixedStretchAt(std::uint64_t sector, std::uint64_t limit) const;
  Stretch BlockStretchAt(std::uint64_t sector, std::uint64_t limit) const;
  // The bitmap of `block`, read once and kept until another block is asked
  // for; nullptr when it cannot be read.
  const ReadBuffer* BitmapOf(std::uint64_t block) const;

  std::unique_ptr<File> file_;
  std::uint64_t fileSize_;
  VhdFooter footer_;
  VhdDynamicHeader header_;
  std::uint32_t sectorsPerBlock_ = 0;
  std::uint32_t bitmapBytes_ = 0;
  std::uint32_t bitmapSectors_ = 0;
  std::vector<std::uint32_t> blockTable_;
  std::unique_ptr<VhdReader> parent_;
  std::filesystem::path path_;  // as opened, for the parent chain's report

  mutable ReadBuffer bitmap_;
  mutable std::uint64_t bitmapBlock_ = 0;
  mutable bool bitmapValid_ = false;
};

enum class ParentOutcome { NotFound, Locked, Damaged, Ready };

// Finds, opens and attaches the parent chain of a differencing disk. The
// parent is the stored name when it is an existing absolute path, else the
// name beside the child (see FindStoredFile). Each parent that is itself
// differencing has its own parent resolved the same way; a chain that leads
// back to one of its own files, or deeper than kVhdMaxChainDepth, is Damaged.
// The chain is attached to `child` only when all of it opened (Ready). A disk
// that is not differencing needs no parent and is Ready as it is.
ParentOutcome ResolveVhdParent(VhdReader& child, const std::filesystem::path& childPath);

}  // namespace korv
