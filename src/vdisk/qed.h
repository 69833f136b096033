// The QED reader: QEMU enhanced disk images.
//
// A QED image maps each cluster of the disk through a level-1 table to a
// level-2 table whose entry gives the cluster's place in the file; both
// tables take the same number of clusters. Backing files are never opened:
// what an image does not hold reads as zeros.
//
// Every integer on disk is little-endian, and every value read is checked
// against the file before it is used.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

#include "storage/virtual_disk.h"
#include "vdisk/l2_cache.h"
#include "vdisk/formats.h"
#include "vdisk/open_result.h"

namespace korv {

inline constexpr std::uint32_t kQedMinClusterBytes = 4 * 1024;
inline constexpr std::uint32_t kQedMaxClusterBytes = 64 * 1024 * 1024;
inline constexpr std::uint32_t kQedMinTableClusters = 1;
inline constexpr std::uint32_t kQedMaxTableClusters = 16;

class QedReader final : public VirtualDisk {
 public:
  QedReader(const QedReader&) = delete;
  QedReader& operator=(const QedReader&) = delete;

  // Opens and checks `path`. NotThisFormat: no "QED" magic, a header that
  // cannot be read whole, or an image size that is no multiple of 512.
  // Damaged: a cluster size that is not a power of two from 4 KiB to 64 MiB,
  // a table size that is not 1, 2, 4, 8 or 16 clusters, or a level-1 table
  // that does not lie inside the file.
  static OpenAttempt<QedReader> Open(const std::filesystem::path& path);

  char formatLetter() const override { return VirtualFormat::Qed; }
  int ReadSector(std::uint64_t sector, std::span<std::uint8_t> out) override;
  // One file read per stretch of clusters that follow each other in the
  // file; the bytes and the result equal those of one ReadSector per sector.
  int ReadRun(std::uint64_t firstSector, std::uint32_t count, std::span<std::uint8_t> out) override;
  bool LookRun(std::uint64_t firstSector, std::uint32_t count, const ByteLook& look) override;
  VirtualDiskFacts facts() const override;
  AllocationRun allocationAt(std::uint64_t sector) const override;

  std::uint32_t clusterSize() const { return clusterSize_; }
  std::uint32_t tableClusters() const { return tableClusters_; }
  std::uint64_t diskSize() const { return image_.diskSize(); }
  const L2Cache& l2Cache() const { return image_.cache(); }

 private:
  QedReader(ClusterImage image, std::uint32_t clusterSize, std::uint32_t tableClusters)
      : image_(std::move(image)), clusterSize_(clusterSize), tableClusters_(tableClusters) {}

  ClusterImage image_;
  std::uint32_t clusterSize_;
  std::uint32_t tableClusters_;
  std::string backingName_;  // reported, never opened
};

}  // namespace korv
