// Folders without a boot sector paired into volumes: the indexed pairing
// against a plain reading of the rule (every later folder tried in turn) on
// made-up volumes with noise, and the cases the rule leaves out.
#include "engine/directory_pairing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

namespace korv {
namespace {

ScanDirRecord Folder(std::uint32_t own, std::uint64_t sector) {
  ScanDirRecord record;
  record.ownNumber = own;
  record.recordSector = sector;
  return record;
}

// The rule as written: the first folder left is tried with every later one
// left, in list order, and the first that agrees makes the volume.
std::vector<PairedVolume> PairOneByOne(ScanDirList& folders, std::int32_t firstVolume) {
  static constexpr std::uint64_t kSizes[] = {1, 2, 4, 8, 16, 32, 64, 128};
  std::vector<PairedVolume> volumes;
  std::int32_t next = firstVolume;
  for (std::size_t p = 0; p < folders.size(); ++p) {
    if (folders[p].volumeNumber != 0) continue;
    const std::uint64_t o1 = folders[p].ownNumber, s1 = folders[p].recordSector;
    bool paired = false;
    for (std::size_t q = p + 1; q < folders.size() && !paired; ++q) {
      if (folders[q].volumeNumber != 0) continue;
      const std::uint64_t o2 = folders[q].ownNumber, s2 = folders[q].recordSector;
      if (!(o1 < o2 && o2 < s1 && s1 < s2) || (s2 - s1) % (o2 - o1) != 0) continue;
      const std::uint64_t c = (s2 - s1) / (o2 - o1);
      if (std::find(std::begin(kSizes), std::end(kSizes), c) == std::end(kSizes)) continue;
      if (c * o1 >= s1 || c * o2 >= s2 || s1 - c * o1 > UINT32_MAX) continue;
      const std::uint64_t z = s1 - c * o1;
      PairedVolume volume{static_cast<std::uint32_t>(c), z, 0};
      for (ScanDirRecord& other : folders) {
        if (other.volumeNumber != 0 || other.recordSector != z + c * other.ownNumber) continue;
        other.volumeNumber = next;
        volume.highestOwnNumber = std::max(volume.highestOwnNumber, other.ownNumber);
      }
      volumes.push_back(volume);
      ++next;
      paired = true;
    }
    if (!paired) folders[p].volumeNumber = -1;
  }
  return volumes;
}

// Folders of a few volumes, in sector order as a scan finds them, with
// stray signatures between them and some folders already claimed by a
// boot sector.
ScanDirList MadeUpScan(std::uint32_t seed) {
  std::mt19937 random(seed);
  ScanDirList folders;
  const int volumeCount = 1 + static_cast<int>(random() % 3);
  std::uint64_t base = 1000;
  for (int v = 0; v < volumeCount; ++v) {
    const std::uint32_t perCluster = 1u << (random() % 8);
    const std::uint64_t cluster0 = base + random() % 5000;
    std::set<std::uint32_t> clusters;
    const int count = 2 + static_cast<int>(random() % 40);
    while (static_cast<int>(clusters.size()) < count) clusters.insert(2 + random() % 3000);
    for (const std::uint32_t cluster : clusters) folders.push_back(Folder(cluster, cluster0 + std::uint64_t{cluster} * perCluster));
    base = cluster0 + 3002ULL * perCluster;
  }
  for (int noise = static_cast<int>(random() % 30); noise > 0; --noise) {
    folders.push_back(Folder(random() % 100'000, random() % base));
  }
  std::stable_sort(folders.begin(), folders.end(),
                   [](const ScanDirRecord& a, const ScanDirRecord& b) { return a.recordSector < b.recordSector; });
  for (ScanDirRecord& folder : folders) {
    if (random() % 10 == 0) folder.volumeNumber = 1;
  }
  return folders;
}

class PairingAgreesWithTheRule : public ::testing::TestWithParam<std::uint32_t> {};

TEST_P(PairingAgreesWithTheRule, SameVolumesAndNumbers) {
  ScanDirList indexed = MadeUpScan(GetParam());
  ScanDirList plain = indexed;
  const auto found = PairDirectories(indexed, 2, {});
  const auto expected = PairOneByOne(plain, 2);
  EXPECT_EQ(found, expected);
  ASSERT_EQ(indexed.size(), plain.size());
  for (std::size_t i = 0; i < indexed.size(); ++i) EXPECT_EQ(indexed[i].volumeNumber, plain[i].volumeNumber) << i;
}

INSTANTIATE_TEST_SUITE_P(Seeds, PairingAgreesWithTheRule, ::testing::Range(1u, 41u));

TEST(DirectoryPairing, TwoFoldersGiveClusterSizeAndClusterZero) {
  // Clusters of 4 sectors, cluster 0 at sector 2000.
  ScanDirList folders{Folder(3, 2012), Folder(10, 2040), Folder(50, 2200)};
  const auto volumes = PairDirectories(folders, 1, {});
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(volumes[0], (PairedVolume{4, 2000, 50}));
  for (const ScanDirRecord& folder : folders) EXPECT_EQ(folder.volumeNumber, 1);
}

TEST(DirectoryPairing, ARatioThatIsNoClusterSizeMakesNoVolume) {
  ScanDirList folders{Folder(3, 2009), Folder(10, 2030)};
  EXPECT_TRUE(PairDirectories(folders, 1, {}).empty());
  EXPECT_EQ(folders[0].volumeNumber, -1);
  EXPECT_EQ(folders[1].volumeNumber, -1);
}

TEST(DirectoryPairing, ClaimedFoldersAreLeftAlone) {
  ScanDirList folders{Folder(3, 2012), Folder(10, 2040)};
  folders[1].volumeNumber = 1;
  EXPECT_TRUE(PairDirectories(folders, 2, {}).empty());
  EXPECT_EQ(folders[0].volumeNumber, -1);
  EXPECT_EQ(folders[1].volumeNumber, 1);
}

TEST(DirectoryPairing, AStopKeepsWhatWasFound) {
  ScanDirList folders{Folder(3, 2012), Folder(10, 2040), Folder(3, 90'012), Folder(10, 90'040)};
  std::uint64_t calls = 0;
  const auto volumes = PairDirectories(folders, 1, [&](std::uint64_t) { return ++calls < 1; });
  EXPECT_EQ(calls, 1u);
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(folders[2].volumeNumber, 0);
}

TEST(DirectoryPairing, ManyFoldersOfOneVolumeAreOneVolume) {
  // A large range: the pairing is indexed, so this stays quick.
  ScanDirList folders;
  for (std::uint32_t cluster = 2; cluster < 100'002; ++cluster) folders.push_back(Folder(cluster, 10'000 + 8ULL * cluster));
  const auto volumes = PairDirectories(folders, 1, {});
  ASSERT_EQ(volumes.size(), 1u);
  EXPECT_EQ(volumes[0], (PairedVolume{8, 10'000, 100'001}));
}

}  // namespace
}  // namespace korv
