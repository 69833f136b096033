// Directories of a FAT volume whose boot sector is gone still tell where the
// volume lies: a folder found at sector s whose "." entry names cluster o
// puts cluster 0 at s - c·o for clusters of c sectors. Two directories that
// agree on c and that sector belong to one volume.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "engine/scan_list.h"

namespace korv {

// A volume two or more directories agree on.
struct PairedVolume {
  std::uint32_t sectorsPerCluster = 0;
  std::uint64_t cluster0Sector = 0;
  std::uint32_t highestOwnNumber = 0;  // the highest cluster of its directories

  bool operator==(const PairedVolume&) const = default;
};

// Called after each directory looked at with how many were; false ends the
// pairing with what was found so far.
using PairingProgress = std::function<bool(std::uint64_t done)>;

// Pairs the directories without a volume (volumeNumber 0), in list order:
// the first one left is paired with the first later one left that agrees
// with it (own numbers o1 < o2 below the sector s1 < s2 of the first,
// s2 - s1 = c·(o2 - o1) for c of 1 to 128 sectors, a power of two, and a
// cluster 0 after sector 0); every directory left that agrees on the same c
// and cluster-0 sector joins them, numbered firstVolume, firstVolume + 1, ...
// in the order the volumes are found. A directory no other agrees with gets
// -1. Directories are indexed by the sector each cluster size puts cluster 0
// at, so the pairing costs n·log n rather than n².
std::vector<PairedVolume> PairDirectories(ScanDirList& directories, std::int32_t firstVolume,
                                          const PairingProgress& progress);

}  // namespace korv
