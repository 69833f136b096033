// The file allocation table: reading one cluster's entry and walking a chain
// of clusters, for folders and for file contents alike.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "fs/boot_parameters.h"
#include "fs/fat/fat_sector.h"
#include "fs/fat/fat_type.h"
#include "storage/sector_source.h"

namespace korv {

// What a walk of the FAT needs to know about the volume.
struct FatLayout {
  FatType type = FatType::Fat16;
  std::uint64_t fatFirstSector = 0;  // the first FAT; 0 means there is none to read
  std::uint32_t sectorsPerFat = 0;
  std::uint32_t clusterCount = 0;    // clusters 2 .. clusterCount + 1 exist

  bool isCluster(std::uint32_t cluster) const { return cluster >= 2 && cluster - 2 < clusterCount; }
};

// The layout of the volume described by `boot`, analysed as `type`;
// volumeEndSector is the first sector after the volume (0 when unknown).
FatLayout MakeFatLayout(const BootParameters& boot, FatType type, std::uint64_t volumeEndSector);

// Reads FAT entries through a one-sector cache, so walking a chain whose
// entries share a sector reads that sector once.
class FatTable {
 public:
  FatTable(SectorSource& sectors, const FatLayout& layout);

  const FatLayout& layout() const { return layout_; }

  // The entry of `cluster` as stored (FAT32 entries without their top four
  // bits); nullopt when the cluster does not exist or its sector cannot be read.
  std::optional<std::uint32_t> Entry(std::uint32_t cluster);

  // The cluster after `cluster` in its chain; nullopt at the end of the chain:
  // a free or reserved entry, an end-of-chain or bad-cluster marker, or a
  // cluster the volume does not have.
  std::optional<std::uint32_t> Next(std::uint32_t cluster);

 private:
  std::optional<std::uint8_t> FatByte(std::uint64_t offset);

  FatLayout layout_;
  FatSectorBuffer buffer_;
  std::optional<std::uint64_t> cachedSector_;
  bool cachedOk_ = false;
};

// The clusters of a chain from `first` in order, at most maxClusters of them
// and never more than the volume has. A chain that runs back into itself ends
// before its first repeated cluster, so every cluster appears once. Empty
// when `first` is not a cluster of the volume.
std::vector<std::uint32_t> WalkFatChain(FatTable& table, std::uint32_t first, std::uint64_t maxClusters);

// Where a deleted file whose chain the FAT no longer holds most likely lay:
// `first` and the clusters after it that the FAT marks free (an entry of 0,
// or one that cannot be read), in order, at most `wanted` of them. Clusters
// the FAT marks in use belong to live files and are passed over. Empty
// when `first` is not a cluster of the volume or is itself in use.
std::vector<std::uint32_t> FreeClustersFrom(FatTable& table, std::uint32_t first, std::uint64_t wanted);

// A folder's clusters in chain order.
using FolderChain = std::vector<std::uint32_t>;

// Chains of deleted folders are cut after this many clusters: their FAT
// entries are usually gone or taken by other files.
constexpr std::uint32_t kDeletedFolderChainLimit = 26;

// The chain of the folder starting at firstCluster; with limitTo26 it stops
// after the 26th cluster.
FolderChain FollowDirectoryChain(SectorSource& sectors, const FatLayout& layout, std::uint32_t firstCluster,
                                 bool limitTo26);

}  // namespace korv
