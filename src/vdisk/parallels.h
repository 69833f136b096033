// The Parallels reader: expandable ".hdd" / ".hds" images.
//
// An image is a 64-byte header, a block table of 32-bit entries at byte 64,
// and the data clusters. Each table entry says where its cluster's data
// begins in the file; 0 means the cluster was never written and reads as
// zeros. Images with the magic "WithoutFreeSpace" count entries in sectors;
// "WithouFreSpacExt" images (newer Parallels and qemu-img) count them in
// whole clusters.
//
// Some ".hds" images hold their data one sector later than the table says;
// such an image is recognised by where its boot-sector mark lies (see
// shiftOne()). An empty file stands for its folder: the first ".hds" image
// in that folder is opened in its place.
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

inline constexpr std::size_t kParallelsHeaderBytes = 64;
inline constexpr std::uint64_t kParallelsTableOffset = 64;
inline constexpr std::uint32_t kParallelsVersion = 2;
inline constexpr std::uint32_t kParallelsMaxTableEntries = 0x40000000;

class ParallelsReader final : public StretchDisk {
 public:
  ParallelsReader(const ParallelsReader&) = delete;
  ParallelsReader& operator=(const ParallelsReader&) = delete;

  // Opens and checks `path`. An empty file opens the first non-empty ".hds"
  // file of its folder instead (by name, without regard to case), or is
  // NotThisFormat when there is none.
  static OpenAttempt<ParallelsReader> Open(const std::filesystem::path& path);

  char formatLetter() const override { return VirtualFormat::Parallels; }
  using StretchDisk::ReadSector;
  using StretchDisk::ReadRun;  // one file read per contiguous stretch
  VirtualDiskFacts facts() const override;
  AllocationRun allocationAt(std::uint64_t sector) const override;

  // The file actually read: the chosen path, or the ".hds" file an empty
  // chosen file led to.
  const std::filesystem::path& imagePath() const { return imagePath_; }
  // The file read ends in ".hds" (any case); the inventory then shows the
  // disk as "Virtual File HDS".
  bool isHds() const { return isHds_; }
  // An ".hds" image whose first cluster's first sector lacks the boot mark
  // (0x55 at byte 510) while the sector after it carries 0x55 0xAA at bytes
  // 510 and 511: all its data is read one sector later than the table says.
  bool shiftOne() const { return shiftOne_; }
  // The "WithouFreSpacExt" magic: table entries count clusters, not sectors.
  bool entriesInClusters() const { return entriesInClusters_; }
  std::uint64_t diskSize() const { return diskSectors_ * kVirtualSectorBytes; }
  std::uint64_t diskSectors() const { return diskSectors_; }
  std::uint32_t cylinders() const { return cylinders_; }
  std::uint32_t heads() const { return heads_; }
  std::uint32_t sectorsPerCluster() const { return sectorsPerCluster_; }
  std::uint32_t tableEntries() const { return static_cast<std::uint32_t>(blockTable_.size()); }
  // The block table entry of `cluster`; 0 (not allocated) beyond the table.
  std::uint32_t tableEntry(std::uint64_t cluster) const;

 private:
  ParallelsReader(std::unique_ptr<File> file, std::uint64_t fileSize, const std::filesystem::path& path);

  static OpenAttempt<ParallelsReader> OpenImage(const std::filesystem::path& path, bool mayFollowFolder);
  static OpenAttempt<ParallelsReader> OpenFirstHdsBeside(const std::filesystem::path& emptyFile);
  OpenVerdict LoadHeader(std::span<const std::uint8_t> header);
  OpenVerdict LoadBlockTable();
  bool DataStartsOneSectorLate();

  Stretch MapStretch(std::uint64_t sector, std::uint64_t limit) const override;

  std::unique_ptr<File> file_;
  std::uint64_t fileSize_;
  std::filesystem::path imagePath_;
  bool isHds_;
  bool shiftOne_ = false;
  bool entriesInClusters_ = false;
  std::uint64_t diskSectors_ = 0;
  std::uint32_t cylinders_ = 0;
  std::uint32_t heads_ = 0;
  std::uint32_t sectorsPerCluster_ = 0;
  std::uint32_t tableEntryCount_ = 0;  // from the header, until the table is read
  std::vector<std::uint32_t> blockTable_;
};

}  // namespace korv
