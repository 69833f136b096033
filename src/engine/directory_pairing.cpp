#include "engine/directory_pairing.h"

#include <algorithm>
#include <array>
#include <limits>
#include <optional>

namespace korv {

namespace {

constexpr std::array<std::uint32_t, 8> kClusterSizes{1, 2, 4, 8, 16, 32, 64, 128};
constexpr std::int32_t kNoVolume = -1;

// Where cluster 0 lies for a directory, under one cluster size: nothing
// when the directory's cluster would start before sector 1, or when the
// sector would not fit the 32-bit boot words a volume is analysed with.
std::optional<std::uint64_t> Cluster0For(const ScanDirRecord& directory, std::uint32_t sectorsPerCluster) {
  const std::uint64_t offset = std::uint64_t{directory.ownNumber} * sectorsPerCluster;
  if (offset >= directory.recordSector) return std::nullopt;
  const std::uint64_t cluster0 = directory.recordSector - offset;
  if (cluster0 > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  return cluster0;
}

struct Keyed {
  std::uint64_t cluster0 = 0;
  std::uint32_t position = 0;
  auto operator<=>(const Keyed&) const = default;
};

class DirectoryPairing {
 public:
  DirectoryPairing(ScanDirList& directories, std::int32_t firstVolume)
      : directories_(directories), nextVolume_(firstVolume) {
    BuildIndex();
  }

  std::vector<PairedVolume> Run(const PairingProgress& progress) {
    for (std::size_t position = 0; position < directories_.size(); ++position) {
      if (directories_[position].volumeNumber == 0) PairFrom(static_cast<std::uint32_t>(position));
      if (progress && !progress(position + 1)) break;
    }
    return found_;
  }

 private:
  // Each directory without a volume under every cluster size that leaves
  // its cluster 0 inside the disk, sorted by that sector and then by place.
  void BuildIndex() {
    for (std::size_t position = 0; position < directories_.size(); ++position) {
      const ScanDirRecord& directory = directories_[position];
      if (directory.volumeNumber != 0) continue;
      for (std::size_t size = 0; size < kClusterSizes.size(); ++size) {
        if (const auto cluster0 = Cluster0For(directory, kClusterSizes[size])) {
          index_[size].push_back({*cluster0, static_cast<std::uint32_t>(position)});
        }
      }
    }
    for (auto& keyed : index_) std::sort(keyed.begin(), keyed.end());
  }

  // The directories that put cluster 0 at `cluster0` under cluster size
  // number `size`, in list order.
  std::pair<std::vector<Keyed>::const_iterator, std::vector<Keyed>::const_iterator> Group(std::size_t size,
                                                                                           std::uint64_t cluster0) const {
    const auto& keyed = index_[size];
    const auto first = std::lower_bound(keyed.begin(), keyed.end(), Keyed{cluster0, 0});
    const auto last = std::lower_bound(first, keyed.end(), Keyed{cluster0 + 1, 0});
    return {first, last};
  }

  // The first directory after `p` still without a volume that agrees with
  // it under cluster size number `size`.
  std::optional<std::uint32_t> FirstPartner(std::uint32_t p, std::size_t size) const {
    const ScanDirRecord& first = directories_[p];
    const auto cluster0 = Cluster0For(first, kClusterSizes[size]);
    if (!cluster0) return std::nullopt;
    auto [from, to] = Group(size, *cluster0);
    from = std::upper_bound(from, to, Keyed{*cluster0, p});
    for (; from != to; ++from) {
      const ScanDirRecord& other = directories_[from->position];
      if (other.volumeNumber != 0) continue;
      // Same cluster-0 sector: o1 < o2 gives s1 < s2; o2 must lie below s1.
      if (first.ownNumber < other.ownNumber && other.ownNumber < first.recordSector) return from->position;
    }
    return std::nullopt;
  }

  void PairFrom(std::uint32_t p) {
    std::optional<std::uint32_t> partner;
    std::size_t partnerSize = 0;
    for (std::size_t size = 0; size < kClusterSizes.size(); ++size) {
      const auto candidate = FirstPartner(p, size);
      if (candidate && (!partner || *candidate < *partner)) {
        partner = candidate;
        partnerSize = size;
      }
    }
    if (!partner) {
      directories_[p].volumeNumber = kNoVolume;
      return;
    }
    Claim(partnerSize, *Cluster0For(directories_[p], kClusterSizes[partnerSize]));
  }

  // Every directory left that puts cluster 0 where the pair does joins the
  // new volume.
  void Claim(std::size_t size, std::uint64_t cluster0) {
    PairedVolume volume{kClusterSizes[size], cluster0, 0};
    const auto [from, to] = Group(size, cluster0);
    for (auto at = from; at != to; ++at) {
      ScanDirRecord& directory = directories_[at->position];
      if (directory.volumeNumber != 0) continue;
      directory.volumeNumber = nextVolume_;
      volume.highestOwnNumber = std::max(volume.highestOwnNumber, directory.ownNumber);
    }
    found_.push_back(volume);
    ++nextVolume_;
  }

  ScanDirList& directories_;
  std::int32_t nextVolume_;
  std::array<std::vector<Keyed>, kClusterSizes.size()> index_;
  std::vector<PairedVolume> found_;
};

}  // namespace

std::vector<PairedVolume> PairDirectories(ScanDirList& directories, std::int32_t firstVolume,
                                          const PairingProgress& progress) {
  return DirectoryPairing(directories, firstVolume).Run(progress);
}

}  // namespace korv
