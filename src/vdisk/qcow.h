// The QCOW reader: QEMU copy-on-write images, versions 1, 2 and 3.
//
// A QCOW image maps each cluster of the disk through a level-1 table to a
// level-2 table whose entry gives the cluster's place in the file. Clusters
// may be stored deflated; version 3 adds clusters that read as zeros and
// feature bits an image may require of its reader. Backing files are never
// opened: what an image does not hold reads as zeros.
//
// Every integer on disk is big-endian, and every value read is checked
// against the file before it is used.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

#include "storage/virtual_disk.h"
#include "vdisk/l2_cache.h"
#include "vdisk/formats.h"
#include "vdisk/open_result.h"

namespace korv {

inline constexpr std::uint32_t kQcowMagic = 0x514649FB;  // "QFI" and 0xFB
inline constexpr std::uint32_t kQcowMinClusterBits = 9;   // 512 bytes
inline constexpr std::uint32_t kQcowMaxClusterBits = 21;  // 2 MiB
// Version 3 incompatible features this reader copes with: the dirty and
// corrupt marks (the tables stay readable) and a compression type field
// that names deflate.
inline constexpr std::uint64_t kQcowDirtyBit = 1u << 0;
inline constexpr std::uint64_t kQcowCorruptBit = 1u << 1;
inline constexpr std::uint64_t kQcowExternalDataBit = 1u << 2;
inline constexpr std::uint64_t kQcowCompressionTypeBit = 1u << 3;
inline constexpr std::uint64_t kQcowExtendedL2Bit = 1u << 4;

class QcowReader final : public VirtualDisk {
 public:
  QcowReader(const QcowReader&) = delete;
  QcowReader& operator=(const QcowReader&) = delete;

  // Opens and checks `path`. NotThisFormat: no QCOW magic, an unknown
  // version, or a header shorter than its version needs. Damaged:
  // encryption, snapshots (versions 2 and 3), incompatible features other
  // than those above, a cluster size outside 512 B to 2 MiB, or a level-1
  // table that does not lie inside the file.
  static OpenAttempt<QcowReader> Open(const std::filesystem::path& path);

  char formatLetter() const override { return VirtualFormat::Qcow; }
  int ReadSector(std::uint64_t sector, std::span<std::uint8_t> out) override;
  // One file read per stretch of clusters that follow each other in the
  // file; the bytes and the result equal those of one ReadSector per sector.
  int ReadRun(std::uint64_t firstSector, std::uint32_t count, std::span<std::uint8_t> out) override;
  bool LookRun(std::uint64_t firstSector, std::uint32_t count, const ByteLook& look) override;
  VirtualDiskFacts facts() const override;
  AllocationRun allocationAt(std::uint64_t sector) const override;

  std::uint32_t version() const { return version_; }
  std::uint32_t clusterBits() const { return clusterBits_; }
  std::uint64_t incompatibleFeatures() const { return incompatibleFeatures_; }
  std::uint64_t diskSize() const { return image_.diskSize(); }
  std::uint64_t l1Count() const { return image_.l1Count(); }
  const L2Cache& l2Cache() const { return image_.cache(); }

 private:
  QcowReader(ClusterImage image, std::uint32_t version, std::uint32_t clusterBits, std::uint64_t incompatibleFeatures)
      : image_(std::move(image)),
        version_(version),
        clusterBits_(clusterBits),
        incompatibleFeatures_(incompatibleFeatures) {}

  ClusterImage image_;
  std::uint32_t version_;
  std::uint32_t clusterBits_;
  std::uint64_t incompatibleFeatures_;
  std::string backingName_;  // reported, never opened
};

}  // namespace korv
