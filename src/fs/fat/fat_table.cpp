#include "fs/fat/fat_table.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "fs/fat/fat_boot.h"

namespace korv {

namespace {

// Entries from these values up mark a bad cluster or the end of a chain.
constexpr std::uint32_t kFat12ChainEnd = 0xFF7;
constexpr std::uint32_t kFat16ChainEnd = 0xFFF7;
constexpr std::uint32_t kFat32ChainEnd = 0x0FFFFFF7;
constexpr std::uint32_t kFat32EntryMask = 0x0FFFFFFF;

std::uint32_t ChainEndMarker(FatType type) {
  switch (type) {
    case FatType::Fat12: return kFat12ChainEnd;
    case FatType::Fat16: return kFat16ChainEnd;
    case FatType::Fat32: return kFat32ChainEnd;
  }
  return kFat16ChainEnd;
}

// Where the entry of `cluster` starts in the FAT, in bytes.
std::uint64_t EntryOffset(FatType type, std::uint32_t cluster) {
  switch (type) {
    case FatType::Fat12: return std::uint64_t{cluster} * 3 / 2;
    case FatType::Fat16: return std::uint64_t{cluster} * 2;
    case FatType::Fat32: return std::uint64_t{cluster} * 4;
  }
  return 0;
}

unsigned EntryBytes(FatType type) {
  switch (type) {
    case FatType::Fat12: return 2;  // 12 bits inside these two bytes
    case FatType::Fat16: return 2;
    case FatType::Fat32: return 4;
  }
  return 2;
}

// Cuts the chain before the first cluster that appeared earlier in it.
void TruncateAtFirstRepeat(std::vector<std::uint32_t>& chain) {
  std::vector<std::pair<std::uint32_t, std::size_t>> sorted;
  sorted.reserve(chain.size());
  for (std::size_t i = 0; i < chain.size(); ++i) sorted.emplace_back(chain[i], i);
  std::sort(sorted.begin(), sorted.end());
  std::size_t end = chain.size();
  for (std::size_t i = 1; i < sorted.size(); ++i) {
    if (sorted[i].first == sorted[i - 1].first) {
      // sorted[i] is a later sighting; the earliest of these ends the chain.
      end = std::min(end, sorted[i].second);
    }
  }
  chain.resize(end);
}

}  // namespace

FatLayout MakeFatLayout(const BootParameters& boot, FatType type, std::uint64_t volumeEndSector) {
  FatLayout layout;
  layout.type = type;
  layout.fatFirstSector = boot.fat1FirstSector;
  layout.sectorsPerFat = boot.sectorsPerFat;
  layout.clusterCount = FatClusterCount(boot, type, volumeEndSector);
  return layout;
}

FatTable::FatTable(SectorSource& sectors, const FatLayout& layout) : layout_(layout), buffer_(sectors) {}

std::optional<std::uint8_t> FatTable::FatByte(std::uint64_t offset) {
  const std::uint64_t sectorInFat = offset / kFatSectorBytes;
  if (sectorInFat >= layout_.sectorsPerFat) return std::nullopt;
  const std::uint64_t sector = layout_.fatFirstSector + sectorInFat;
  if (cachedSector_ != sector) {
    cachedOk_ = buffer_.Read(sector);
    cachedSector_ = sector;
  }
  if (!cachedOk_) return std::nullopt;
  return buffer_.view().u8(offset % kFatSectorBytes);
}

std::optional<std::uint32_t> FatTable::Entry(std::uint32_t cluster) {
  if (layout_.fatFirstSector == 0 || !layout_.isCluster(cluster)) return std::nullopt;
  const std::uint64_t offset = EntryOffset(layout_.type, cluster);
  std::uint32_t value = 0;
  for (unsigned i = 0; i < EntryBytes(layout_.type); ++i) {
    const auto byte = FatByte(offset + i);
    if (!byte) return std::nullopt;
    value |= std::uint32_t{*byte} << (8 * i);
  }
  switch (layout_.type) {
    case FatType::Fat12: return (cluster & 1) ? value >> 4 : value & 0xFFF;
    case FatType::Fat16: return value;
    case FatType::Fat32: return value & kFat32EntryMask;
  }
  return std::nullopt;
}

std::optional<std::uint32_t> FatTable::Next(std::uint32_t cluster) {
  const auto entry = Entry(cluster);
  if (!entry || *entry >= ChainEndMarker(layout_.type) || !layout_.isCluster(*entry)) return std::nullopt;
  return entry;
}

std::vector<std::uint32_t> FreeClustersFrom(FatTable& table, std::uint32_t first, std::uint64_t wanted) {
  std::vector<std::uint32_t> clusters;
  const FatLayout& layout = table.layout();
  if (!layout.isCluster(first)) return clusters;
  // The walk ends at the volume's last cluster, whatever the FAT says.
  const std::uint64_t end = std::uint64_t{layout.clusterCount} + 2;
  for (std::uint64_t cluster = first; cluster < end && clusters.size() < wanted; ++cluster) {
    const auto entry = table.Entry(static_cast<std::uint32_t>(cluster));
    if (entry.value_or(0) != 0) {
      if (cluster == first) return clusters;
      continue;
    }
    clusters.push_back(static_cast<std::uint32_t>(cluster));
  }
  return clusters;
}

std::vector<std::uint32_t> WalkFatChain(FatTable& table, std::uint32_t first, std::uint64_t maxClusters) {
  std::vector<std::uint32_t> chain;
  if (!table.layout().isCluster(first) || maxClusters == 0) return chain;
  const std::uint64_t limit = std::min<std::uint64_t>(maxClusters, table.layout().clusterCount);
  chain.push_back(first);
  // Brent's cycle detection: compare each new cluster with one remembered at
  // growing powers of two. No chain longer than the volume exists, so the
  // limit alone would end a cycle too, but only after walking the whole volume.
  // A walk cut short by the limit before the cycle shows is checked at the end.
  std::size_t rememberedIndex = 0;
  std::size_t power = 1;
  while (chain.size() < limit) {
    const auto next = table.Next(chain.back());
    if (!next) break;
    if (*next == chain[rememberedIndex]) {
      // A cycle of this length; the chain ends before the first cluster that
      // its own cycle would bring back.
      const std::size_t cycle = chain.size() - rememberedIndex;
      chain.push_back(*next);
      std::size_t start = 0;
      while (chain[start] != chain[start + cycle]) ++start;
      chain.resize(start + cycle);
      return chain;
    }
    chain.push_back(*next);
    if (chain.size() - 1 - rememberedIndex == power) {
      rememberedIndex = chain.size() - 1;
      power *= 2;
    }
  }
  // Ended by the limit: a cycle may have been entered without being caught yet.
  if (chain.size() == limit) TruncateAtFirstRepeat(chain);
  return chain;
}

FolderChain FollowDirectoryChain(SectorSource& sectors, const FatLayout& layout, std::uint32_t firstCluster,
                                 bool limitTo26) {
  FatTable table(sectors, layout);
  const std::uint64_t limit = limitTo26 ? kDeletedFolderChainLimit : std::numeric_limits<std::uint64_t>::max();
  return WalkFatChain(table, firstCluster, limit);
}

}  // namespace korv
