// The volume list's texts: node names and the size rule.
#include "ui/logic/volume_list.h"

#include <gtest/gtest.h>

namespace korv {
namespace {

VolumeCandidate Spanning(std::uint64_t first, std::uint64_t sectors) {
  VolumeCandidate volume;
  volume.fileSystem = FileSystemKind::Fat32;
  volume.firstSector = first;
  volume.endSector = first + sectors;
  return volume;
}

struct SizeCase {
  std::uint64_t sectors;
  const char* text;
};

class VolumeSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(VolumeSize, WholeGigabytesOnlyPastOneGigabyte) {
  EXPECT_EQ(VolumeSizeText(Spanning(63, GetParam().sectors)), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Sizes, VolumeSize,
                         ::testing::Values(SizeCase{2'097'153, "1 GB"}, SizeCase{2'097'152, "1024 MB"},
                                           SizeCase{2048, "1 MB"}, SizeCase{2047, ""}, SizeCase{0, ""},
                                           SizeCase{10'000'000, "4 GB"}));

TEST(VolumeList, EndBeforeFirstHasNoSize) {
  VolumeCandidate volume = Spanning(500, 0);
  volume.endSector = 100;
  EXPECT_EQ(VolumeBytes(volume), 0u);
  EXPECT_EQ(VolumeSizeText(volume), "");
}

TEST(VolumeList, NodesAreNumberedFromOneWithTheirFileSystem) {
  VolumeCandidate ntfs;
  ntfs.fileSystem = FileSystemKind::Ntfs;
  EXPECT_EQ(VolumeNodeText(1, ntfs), "File System 1 - NTFS");
  EXPECT_EQ(VolumeNodeText(3, Spanning(0, 1)), "File System 3 - FAT32");
}

}  // namespace
}  // namespace korv
