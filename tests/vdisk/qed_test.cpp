// The QED reader: images qemu-img makes read back as their raw data; built
// images cover zero clusters, clusters past the end of the file and every
// refused header.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "fixtures/qcow_builder.h"
#include "support/reader_checks.h"
#include "support/test_support.h"
#include "vdisk/qed.h"

namespace korv {
namespace {

namespace fs = std::filesystem;
using test::AllZero;
using test::Bytes;
using test::ExpectRunMatchesSectors;
using test::Slice;
using test::ClusterDiskBuilder;
using test::PatternBytes;
using test::TempDir;

constexpr std::uint64_t kKiB = 1024;
constexpr std::uint64_t kMiB = 1024 * kKiB;

class QedQemuTest : public test::QemuImageTest<const char*> {};

TEST_P(QedQemuTest, ImagesOfQemuImgReadAsTheirRawData) {
  const Bytes raw = test::SparsePatternDisk();
  test::WriteFileBytes(dir_ / "disk.raw", raw);
  const fs::path image = dir_ / "disk.qed";
  std::vector<std::string> options;
  if (*GetParam() != '\0') options = {"-o", GetParam()};
  ASSERT_TRUE(test::QemuConvert(dir_ / "disk.raw", image, "qed", options));

  test::ReaderSlot<QedReader> reader;
  ASSERT_EQ(reader.Open(image), OpenResult::Opened);
  EXPECT_EQ(reader->facts().diskSizeBytes, raw.size());
  EXPECT_GE(test::ExpectReadsAsRaw(reader, raw), 2 * 4096u);
}

INSTANTIATE_TEST_SUITE_P(Layouts, QedQemuTest, ::testing::Values("", "cluster_size=4096,table_size=2"));

TEST(QedBuiltTest, ZeroAndUnallocatedClustersReadAsZeros) {
  TempDir dir;
  ClusterDiskBuilder builder = ClusterDiskBuilder::Qed(8 * kMiB, 4096, 1);  // 2 MiB per level-2 table
  builder.AddCluster(0, PatternBytes(4096, 1)).AddCluster(1, PatternBytes(4096, 2)).AddZeroCluster(2);
  builder.AddCluster(600, PatternBytes(4096, 3)).AddCluster(1500, PatternBytes(4096, 4));
  builder.WriteTo(dir / "disk.qed");

  test::ReaderSlot<QedReader> reader;
  ASSERT_EQ(reader.Open(dir / "disk.qed"), OpenResult::Opened);
  EXPECT_EQ(reader->clusterSize(), 4096u);
  EXPECT_EQ(reader->tableClusters(), 1u);
  test::ExpectReadsAsRaw(reader, builder.RawDisk());
  EXPECT_EQ(reader->allocationAt(0).sectors, 16u);
  EXPECT_FALSE(reader->allocationAt(16).allocated);
  EXPECT_EQ(reader->allocationAt(16).sectors, 600u * 8 - 16);

  const VirtualDiskFacts facts = reader->facts();
  EXPECT_EQ(facts.mediaTypeText, "Virtual File QED");
  EXPECT_EQ(facts.diskTypeText, "QED");
  EXPECT_EQ(facts.inventorySizeBytes, 8 * kMiB);
  EXPECT_EQ(reader->formatLetter(), 'Q');
}

TEST(QedBuiltTest, ClustersAndTablesPastTheFileFailWithZeros) {
  TempDir dir;
  ClusterDiskBuilder builder = ClusterDiskBuilder::Qed(8 * kMiB, 4096, 1);
  builder.AddCluster(0, PatternBytes(4096, 1)).SetL2Entry(1, std::uint64_t{1} << 40);
  builder.SetL1Entry(2, std::uint64_t{1} << 41);
  builder.AddCluster(1600, PatternBytes(4096, 2));
  builder.damage.truncateTo = builder.ClusterFileOffset(1600) + 2048;
  builder.WriteTo(dir / "disk.qed");

  test::ReaderSlot<QedReader> reader;
  ASSERT_EQ(reader.Open(dir / "disk.qed"), OpenResult::Opened);
  for (const std::uint64_t sector : {8u, 15u, 1600u * 8 + 4, 2u * 4096 + 1}) {
    const test::ReadResult read = test::ReadRunOf(reader, sector, 1);
    EXPECT_EQ(read.result, 0) << sector;
    EXPECT_TRUE(AllZero(read.bytes)) << sector;
  }
  EXPECT_EQ(test::ReadRunOf(reader, 1600 * 8 + 3, 1).result, 1);
  const test::ReadResult fast = test::ReadRunOf(reader, 0, 16 * 1024);
  EXPECT_TRUE(fast.bytes == test::ReadOneByOne(reader, 0, 16 * 1024).bytes);
  EXPECT_EQ(reader->l2Cache().tableCount(), 2u);  // the table past the file was not kept
}

// Level-2 entries that point at or past the end of the file, some so near
// 2^64 that a sector offset computed from them would wrap to the header.
class QedEntryPastTheFileTest : public ::testing::TestWithParam<std::uint64_t> {};

TEST_P(QedEntryPastTheFileTest, ReadsAsZerosAndFailsAlikeInRunsAndSectorBySector) {
  TempDir dir;
  ClusterDiskBuilder builder = ClusterDiskBuilder::Qed(8 * kMiB, 4096, 1);
  builder.AddCluster(0, PatternBytes(4096, 1)).SetL2Entry(1, GetParam()).AddCluster(2, PatternBytes(4096, 2));
  builder.WriteTo(dir / "disk.qed");

  test::ReaderSlot<QedReader> reader;
  ASSERT_EQ(reader.Open(dir / "disk.qed"), OpenResult::Opened);
  const test::ReadResult cluster = test::ReadRunOf(reader, 8, 8);
  EXPECT_EQ(cluster.result, 0);
  EXPECT_TRUE(AllZero(cluster.bytes));
  for (const std::uint32_t first : {0u, 7u, 8u, 9u, 15u}) {
    for (const std::uint32_t count : {1u, 2u, 8u, 17u}) ExpectRunMatchesSectors(reader, first, count);
  }
}

INSTANTIATE_TEST_SUITE_P(Entries, QedEntryPastTheFileTest,
                         ::testing::Values(~std::uint64_t{0}, ~std::uint64_t{0} - 511, ~std::uint64_t{0} - 4095,
                                           std::uint64_t{1} << 63, std::uint64_t{1} << 40));

// A cluster whose first sectors lie in the file and the rest past its end:
// the sectors inside read, the others fail, in a run as one at a time.
TEST(QedBuiltTest, ClusterCutByTheEndOfTheFileReadsAsItsSectors) {
  TempDir dir;
  ClusterDiskBuilder builder = ClusterDiskBuilder::Qed(8 * kMiB, 4096, 1);
  builder.AddCluster(0, PatternBytes(4096, 1)).AddCluster(1, PatternBytes(4096, 2));
  builder.damage.truncateTo = builder.ClusterFileOffset(1) + 3 * 512 + 100;
  builder.WriteTo(dir / "disk.qed");

  test::ReaderSlot<QedReader> reader;
  ASSERT_EQ(reader.Open(dir / "disk.qed"), OpenResult::Opened);
  EXPECT_EQ(test::ReadRunOf(reader, 10, 1).result, 1);
  EXPECT_EQ(test::ReadRunOf(reader, 11, 1).result, 0);
  for (const std::uint32_t first : {0u, 8u, 10u, 11u}) {
    for (const std::uint32_t count : {1u, 3u, 4u, 16u}) ExpectRunMatchesSectors(reader, first, count);
  }
}

struct QedHeaderCase {
  const char* name;
  void (*damage)(ClusterDiskBuilder::Damage&);
  OpenResult expected;
  const char* reason;  // the check that refused the file
};

class QedHeaderTest : public ::testing::TestWithParam<QedHeaderCase> {};

TEST_P(QedHeaderTest, OpenAnswersWithTheCheckThatFailed) {
  TempDir dir;
  ClusterDiskBuilder damaged = ClusterDiskBuilder::Qed(2 * kMiB);
  GetParam().damage(damaged.damage);
  damaged.WriteTo(dir / "case.qed");

  test::ReaderSlot<QedReader> reader;
  ASSERT_EQ(reader.Open(dir / "case.qed"), GetParam().expected);
  EXPECT_EQ(reader.reason(), GetParam().reason);
  EXPECT_EQ(reader.isOpen(), GetParam().expected == OpenResult::Opened);
}

using D = ClusterDiskBuilder::Damage;
INSTANTIATE_TEST_SUITE_P(
    Headers, QedHeaderTest,
    ::testing::Values(
        QedHeaderCase{"WrongMagic", [](D& d) { d.magic = 0x00444552; }, OpenResult::NotThisFormat, "no QED magic"},
        QedHeaderCase{"SizeNotWholeSectors", [](D& d) { d.diskSize = 1'000'001; }, OpenResult::NotThisFormat, "image size not whole sectors"},
        QedHeaderCase{"ShortHeader", [](D& d) { d.truncateTo = 63; }, OpenResult::NotThisFormat, "header cut short"},
        QedHeaderCase{"Cluster2K", [](D& d) { d.clusterBytes = 2048; }, OpenResult::Damaged, "cluster size out of range"},
        QedHeaderCase{"Cluster128M", [](D& d) { d.clusterBytes = 128 * 1024 * 1024; }, OpenResult::Damaged, "cluster size out of range"},
        QedHeaderCase{"ClusterNotPowerOfTwo", [](D& d) { d.clusterBytes = 3 * 4096; }, OpenResult::Damaged, "cluster size out of range"},
        QedHeaderCase{"ClusterZero", [](D& d) { d.clusterBytes = 0; }, OpenResult::Damaged, "cluster size out of range"},
        QedHeaderCase{"TableZero", [](D& d) { d.tableClusters = 0; }, OpenResult::Damaged, "table size out of range"},
        QedHeaderCase{"Table32", [](D& d) { d.tableClusters = 32; }, OpenResult::Damaged, "table size out of range"},
        QedHeaderCase{"Table3", [](D& d) { d.tableClusters = 3; }, OpenResult::Damaged, "table size out of range"},
        QedHeaderCase{"TableBeyondFile", [](D& d) { d.tableClusters = 16; }, OpenResult::Damaged, "level-1 table beyond the file"},
        QedHeaderCase{"L1PastTheFile", [](D& d) { d.l1Offset = std::uint64_t{1} << 45; }, OpenResult::Damaged, "level-1 table beyond the file"},
        QedHeaderCase{"HugeImage", [](D& d) { d.diskSize = std::uint64_t{1} << 50; }, OpenResult::Opened, ""}),
    [](const ::testing::TestParamInfo<QedHeaderCase>& info) { return std::string(info.param.name); });

TEST(QedOpenTest, MissingFilesCannotBeOpened) {
  TempDir dir;
  test::ReaderSlot<QedReader> reader;
  EXPECT_EQ(reader.Open(dir / "missing.qed"), OpenResult::CannotOpen);
  test::WriteFileBytes(dir / "short.qed", {'Q', 'E', 'D', 0});
  EXPECT_EQ(reader.Open(dir / "short.qed"), OpenResult::NotThisFormat);
}

}  // namespace
}  // namespace korv
