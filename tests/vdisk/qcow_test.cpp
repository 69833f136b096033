// The QCOW reader: images qemu-img makes in every version, with and without
// compression, read back as the raw data they came from; built images cover
// what qemu-img does not write (damaged headers, tables past the end of the
// file, every level-2 entry kind).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "fixtures/qcow_builder.h"
#include "support/reader_checks.h"
#include "support/test_support.h"
#include "vdisk/qcow.h"

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
constexpr std::uint64_t kSector = 512;

// The shared pattern disk, its first 6 MiB made compressible (four bits of
// pattern per byte) so that compressed images hold both deflated and plain
// clusters.
Bytes CompressibleDisk() {
  Bytes disk = test::SparsePatternDisk();
  for (std::size_t i = 0; i < 6 * kMiB; ++i) disk[i] &= 0x0F;
  return disk;
}

// ---------------------------------------------------------------------------
// Images qemu-img makes

struct QemuCase {
  const char* name;
  const char* format;
  std::vector<std::string> options;
  std::uint32_t version;
  bool compressed;
};

class QcowQemuTest : public test::QemuImageTest<QemuCase> {};

TEST_P(QcowQemuTest, ImagesOfQemuImgReadAsTheirRawData) {
  const QemuCase& param = GetParam();
  const Bytes raw = param.compressed ? CompressibleDisk() : test::SparsePatternDisk();
  test::WriteFileBytes(dir_ / "disk.raw", raw);
  const fs::path image = dir_ / "disk.img";
  ASSERT_TRUE(test::QemuConvert(dir_ / "disk.raw", image, param.format, param.options));

  test::ReaderSlot<QcowReader> reader;
  ASSERT_EQ(reader.Open(image), OpenResult::Opened);
  EXPECT_EQ(reader->version(), param.version);
  EXPECT_EQ(reader->facts().diskSizeBytes, raw.size());
  const std::uint64_t holeSectors = test::ExpectReadsAsRaw(reader, raw);
  // qemu-img leaves the two 2 MiB stretches of zeros out of the image.
  EXPECT_GE(holeSectors, 2 * 4096u);
  // Plain clusters and holes can be looked at in place; deflated ones only
  // read.
  const auto shown = test::LookRunOf(reader, 0, static_cast<std::uint32_t>(raw.size() / kSector));
  EXPECT_EQ(shown.has_value(), !param.compressed);
  if (shown) EXPECT_TRUE(*shown == raw);

  if (param.compressed) {
    ASSERT_TRUE(test::QemuConvert(dir_ / "disk.raw", dir_ / "plain.img", param.format,
                                  std::vector<std::string>(param.options.begin() + 1, param.options.end())));
    EXPECT_LT(fs::file_size(image), fs::file_size(dir_ / "plain.img")) << "nothing was compressed";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Versions, QcowQemuTest,
    ::testing::Values(QemuCase{"qcow1", "qcow", {}, 1, false},
                      QemuCase{"compat010", "qcow2", {"-o", "compat=0.10"}, 2, false},
                      QemuCase{"compat11", "qcow2", {"-o", "compat=1.1"}, 3, false},
                      QemuCase{"clusters512", "qcow2", {"-o", "compat=1.1,cluster_size=512"}, 3, false},
                      QemuCase{"clusters2M", "qcow2", {"-o", "compat=1.1,cluster_size=2M"}, 3, false},
                      QemuCase{"compressed010", "qcow2", {"-c", "-o", "compat=0.10"}, 2, true},
                      QemuCase{"compressed11", "qcow2", {"-c", "-o", "compat=1.1"}, 3, true},
                      QemuCase{"compressed4k", "qcow2", {"-c", "-o", "compat=1.1,cluster_size=4096"}, 3, true}),
    [](const ::testing::TestParamInfo<QemuCase>& info) { return std::string(info.param.name); });

// qemu-img writes compressed version 1 images but reports failure when it
// finishes; the image is checked with qemu-img itself before it is used.
TEST(QcowQemuVersion1Test, CompressedVersion1ImagesReadAsTheirRawData) {
  if (!test::HaveQemuImg()) GTEST_SKIP() << "qemu-img is not installed";
  TempDir dir;
  const Bytes raw = CompressibleDisk();
  test::WriteFileBytes(dir / "disk.raw", raw);
  const fs::path image = dir / "disk.qcow";
  test::RunProgram({"qemu-img", "convert", "-q", "-c", "-f", "raw", "-O", "qcow", (dir / "disk.raw").string(),
                    image.string()});
  if (!test::RunProgram({"qemu-img", "compare", "-q", "-f", "raw", "-F", "qcow", (dir / "disk.raw").string(),
                         image.string()})) {
    GTEST_SKIP() << "this qemu-img cannot write compressed version 1 images";
  }
  ASSERT_TRUE(test::QemuConvert(dir / "disk.raw", dir / "plain.qcow", "qcow"));
  EXPECT_LT(fs::file_size(image), fs::file_size(dir / "plain.qcow")) << "nothing was compressed";

  test::ReaderSlot<QcowReader> reader;
  ASSERT_EQ(reader.Open(image), OpenResult::Opened);
  EXPECT_EQ(reader->version(), 1u);
  test::ExpectReadsAsRaw(reader, raw);
}

// Clusters written as zeros after conversion carry the zero flag.
TEST(QcowQemuVersion3Test, ZeroClustersWrittenByQemuIoReadAsZeros) {
  if (!test::HaveQemuImg() || !test::RunProgram({"qemu-io", "--version"})) GTEST_SKIP() << "qemu-io is not installed";
  TempDir dir;
  Bytes raw = test::SparsePatternDisk();
  test::WriteFileBytes(dir / "disk.raw", raw);
  const fs::path image = dir / "disk.qcow2";
  ASSERT_TRUE(test::QemuConvert(dir / "disk.raw", image, "qcow2", {"-o", "compat=1.1"}));
  ASSERT_TRUE(test::RunProgram({"qemu-io", "-f", "qcow2", "-c", "write -z 1M 128k", image.string()}));
  std::fill_n(raw.begin() + static_cast<std::ptrdiff_t>(kMiB), 128 * kKiB, std::uint8_t{0});

  test::ReaderSlot<QcowReader> reader;
  ASSERT_EQ(reader.Open(image), OpenResult::Opened);
  test::ExpectReadsAsRaw(reader, raw);
  const AllocationRun zeroed = reader->allocationAt(kMiB / kSector);
  EXPECT_FALSE(zeroed.allocated);
  EXPECT_EQ(zeroed.sectors, 128 * kKiB / kSector);
}

// ---------------------------------------------------------------------------
// Built images: mapping and entry kinds

class QcowBuiltTest : public test::BuiltDiskTest {
 protected:
  using BuiltDiskTest::Write;
  fs::path Write(const ClusterDiskBuilder& builder) { return Write(builder, "disk.qcow"); }
};

// Offset 1,073,807,360 with 64 KiB clusters is level-1 index 2, level-2
// index 1, offset 0 in its cluster; the level-1 entries carry bit 63.
TEST_F(QcowBuiltTest, MapsThroughBothLevelsWithTheCopiedFlagCleared) {
  constexpr std::uint64_t kOffset = 1'073'807'360;
  ClusterDiskBuilder builder = ClusterDiskBuilder::Qcow2(3 * 512 * kMiB);
  const Bytes data = PatternBytes(64 * kKiB, 5);
  builder.AddCluster(kOffset / (64 * kKiB), data).AddCluster(0, PatternBytes(64 * kKiB, 6));

  test::ReaderSlot<QcowReader> reader;
  ASSERT_EQ(reader.Open(Write(builder)), OpenResult::Opened);
  EXPECT_EQ(reader->l1Count(), 3u);
  const test::ReadResult read = test::ReadRunOf(reader, kOffset / kSector, 128);
  EXPECT_EQ(read.result, 1);
  EXPECT_TRUE(read.bytes == data);
  // The disk's size, not the file's, bounds what can be read.
  EXPECT_GT(kOffset, fs::file_size(dir_ / "disk.qcow"));
  const test::ReadResult hole = test::ReadRunOf(reader, kOffset / kSector + 128, 8);
  EXPECT_EQ(hole.result, 1);
  EXPECT_TRUE(AllZero(hole.bytes));
  EXPECT_FALSE(reader->allocationAt(kOffset / kSector + 128).allocated);
}

// Plain, deflated (packed at odd offsets, the last one cut by the end of the
// file), zero-flagged and unallocated clusters side by side, in every
// version.
TEST_F(QcowBuiltTest, EveryEntryKindReadsAsItsData) {
  const std::vector<ClusterDiskBuilder> builders = {ClusterDiskBuilder::Qcow1(2 * kMiB, 12, 9),
                                                    ClusterDiskBuilder::Qcow1(2 * kMiB, 9, 4),
                                                    ClusterDiskBuilder::Qcow2(2 * kMiB, 12),
                                                    ClusterDiskBuilder::Qcow3(2 * kMiB, 9),
                                                    ClusterDiskBuilder::Qcow3(2 * kMiB, 16)};
  for (ClusterDiskBuilder builder : builders) {
    const std::uint64_t cluster = builder.clusterBytes();
    Bytes text(cluster);
    for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<std::uint8_t>("korvane "[i % 8] + i / 4096);
    const std::uint64_t last = 2 * kMiB / cluster - 1;
    builder.AddCluster(0, PatternBytes(cluster, 1)).AddCluster(1, PatternBytes(cluster, 2));
    Bytes halfPattern = PatternBytes(cluster, 3);
    for (auto& byte : halfPattern) byte &= 0x0F;
    builder.AddCompressedCluster(2, text).AddCompressedCluster(3, halfPattern);
    builder.AddCluster(5, PatternBytes(cluster, 4)).AddCompressedCluster(last, text);
    const fs::path path = Write(builder);
    SCOPED_TRACE(std::to_string(builder.clusterBytes()) + " " + std::to_string(fs::file_size(path)));

    test::ReaderSlot<QcowReader> reader;
    ASSERT_EQ(reader.Open(path), OpenResult::Opened);
    EXPECT_GE(test::ExpectReadsAsRaw(reader, builder.RawDisk()), 1u);
  }
}

TEST_F(QcowBuiltTest, ZeroFlaggedClustersReadAsZerosWithoutTouchingTheirOffset) {
  ClusterDiskBuilder builder = ClusterDiskBuilder::Qcow3(kMiB);
  builder.AddCluster(0, PatternBytes(64 * kKiB, 1)).AddZeroCluster(1, /*withOffset=*/true).AddZeroCluster(2);
  builder.AddCluster(3, PatternBytes(64 * kKiB, 2));
  test::ReaderSlot<QcowReader> reader;
  ASSERT_EQ(reader.Open(Write(builder)), OpenResult::Opened);
  test::ExpectReadsAsRaw(reader, builder.RawDisk());
  EXPECT_EQ(reader->allocationAt(0).sectors, 128u);
  const AllocationRun zeros = reader->allocationAt(128);
  EXPECT_FALSE(zeros.allocated);
  EXPECT_EQ(zeros.sectors, 256u);
}

TEST_F(QcowBuiltTest, DamagedCompressedClustersFailWithZeros) {
  ClusterDiskBuilder builder = ClusterDiskBuilder::Qcow2(kMiB, 12);
  builder.AddCluster(0, PatternBytes(4096, 1));
  const std::uint64_t garbage = builder.ClusterFileOffset(0);
  builder.SetL2Entry(1, (std::uint64_t{1} << 62) | garbage);           // pattern bytes are no deflate stream
  builder.SetL2Entry(2, (std::uint64_t{1} << 62) | (std::uint64_t{1} << 40));  // past the end of the file
  test::ReaderSlot<QcowReader> reader;
  ASSERT_EQ(reader.Open(Write(builder)), OpenResult::Opened);
  for (const std::uint64_t sector : {8u, 15u, 16u}) {
    const test::ReadResult read = test::ReadRunOf(reader, sector, 1);
    EXPECT_EQ(read.result, 0) << sector;
    EXPECT_TRUE(AllZero(read.bytes)) << sector;
  }
  const test::ReadResult run = test::ReadRunOf(reader, 0, 24);
  EXPECT_TRUE(run.bytes == test::ReadOneByOne(reader, 0, 24).bytes);
  EXPECT_EQ(run.result, 0);
}

// A read is judged by where its cluster lies in the file: clusters inside
// the file read whole, a cluster cut by the end of the file reads up to its
// last whole sector, and the sectors past the end fail with zeros.
TEST_F(QcowBuiltTest, ClustersAreCheckedAgainstTheFileWhereTheyAreMapped) {
  ClusterDiskBuilder builder = ClusterDiskBuilder::Qcow2(64 * kMiB, 12);
  builder.AddCluster(9000, PatternBytes(4096, 1)).AddCluster(9001, PatternBytes(4096, 2));
  builder.AddCluster(9002, PatternBytes(4096, 3));
  builder.damage.truncateTo = builder.ClusterFileOffset(9001) + 1000;
  test::ReaderSlot<QcowReader> reader;
  ASSERT_EQ(reader.Open(Write(builder)), OpenResult::Opened);

  const std::uint64_t first = 9000 * 8;
  const test::ReadResult whole = test::ReadRunOf(reader, first, 8);
  EXPECT_EQ(whole.result, 1);
  EXPECT_TRUE(whole.bytes == PatternBytes(4096, 1));
  const test::ReadResult cut = test::ReadRunOf(reader, first + 8, 16);
  EXPECT_EQ(cut.result, 0);
  EXPECT_TRUE(Slice(cut.bytes, 0, kSector) == Slice(PatternBytes(4096, 2), 0, kSector));
  EXPECT_TRUE(AllZero(Slice(cut.bytes, kSector, 15 * kSector)));
  EXPECT_EQ(test::ReadRunOf(reader, first + 8, 1).result, 1);
  EXPECT_EQ(test::ReadRunOf(reader, first + 9, 1).result, 0);

  for (const std::uint64_t start : {first - 3, first + 5, first + 7}) {
    const test::ReadResult fast = test::ReadRunOf(reader, start, 30);
    const test::ReadResult slow = test::ReadOneByOne(reader, start, 30);
    EXPECT_EQ(fast.result, slow.result);
    EXPECT_TRUE(fast.bytes == slow.bytes);
  }
}

TEST_F(QcowBuiltTest, UnreadableTablesFailOnlyTheirOwnSectors) {
  ClusterDiskBuilder builder = ClusterDiskBuilder::Qcow2(2 * kMiB, 9);  // 32 KiB per level-1 entry
  builder.AddCluster(0, PatternBytes(512, 1)).AddCluster(64, PatternBytes(512, 2)).AddCluster(130, PatternBytes(512, 3));
  builder.AddCluster(200, PatternBytes(512, 4));
  builder.SetL1Entry(1, std::uint64_t{1} << 40);  // a level-2 table past the end of the file
  builder.damage.l1Count = 3;                     // clusters from 192 on lie beyond the level-1 table
  test::ReaderSlot<QcowReader> reader;
  ASSERT_EQ(reader.Open(Write(builder)), OpenResult::Opened);

  EXPECT_EQ(test::ReadRunOf(reader, 0, 1).result, 1);
  for (const std::uint64_t sector : {64u, 127u, 200u, 4095u}) {
    const test::ReadResult read = test::ReadRunOf(reader, sector, 1);
    EXPECT_EQ(read.result, 0) << sector;
    EXPECT_TRUE(AllZero(read.bytes)) << sector;
  }
  const test::ReadResult fine = test::ReadRunOf(reader, 128, 64);
  EXPECT_EQ(fine.result, 1);
  EXPECT_TRUE(Slice(fine.bytes, 2 * kSector, kSector) == PatternBytes(512, 3));
  // A table that failed to load takes no room in the cache.
  EXPECT_EQ(reader->l2Cache().tableCount(), 2u);
  EXPECT_EQ(reader->l2Cache().cachedBytes(), 2 * 512u);
  EXPECT_TRUE(reader->allocationAt(64).allocated);

  const test::ReadResult fast = test::ReadRunOf(reader, 0, 4096 + 20);
  EXPECT_TRUE(fast.bytes == test::ReadOneByOne(reader, 0, 4096 + 20).bytes);
  EXPECT_EQ(fast.result, 0);
}

TEST_F(QcowBuiltTest, SectorsPastTheDiskReadAsZerosAndFail) {
  ClusterDiskBuilder builder = ClusterDiskBuilder::Qcow2(kMiB);
  builder.AddCluster(15, PatternBytes(64 * kKiB, 1));
  test::ReaderSlot<QcowReader> reader;
  ASSERT_EQ(reader.Open(Write(builder)), OpenResult::Opened);
  const std::uint64_t end = kMiB / kSector;
  EXPECT_EQ(test::ReadRunOf(reader, end - 1, 1).result, 1);
  const test::ReadResult past = test::ReadRunOf(reader, end - 1, 3);
  EXPECT_EQ(past.result, 0);
  EXPECT_TRUE(AllZero(Slice(past.bytes, kSector, 2 * kSector)));
  EXPECT_EQ(reader->allocationAt(end).sectors, 0u);
  Bytes buffer(2 * kSector, 0xAA);
  EXPECT_EQ(reader->ReadSector(end - 1, buffer), 0);  // one of its sectors lies past the end
}

TEST_F(QcowBuiltTest, FactsNameTheFormat) {
  test::ReaderSlot<QcowReader> reader;
  ASSERT_EQ(reader.Open(Write(ClusterDiskBuilder::Qcow2(3 * kMiB))), OpenResult::Opened);
  const VirtualDiskFacts facts = reader->facts();
  EXPECT_EQ(facts.diskSizeBytes, 3 * kMiB);
  EXPECT_EQ(facts.inventorySizeBytes, 3 * kMiB);
  EXPECT_EQ(facts.mediaTypeText, "Virtual File QCOW");
  EXPECT_EQ(facts.diskTypeText, "QEMU Copy-On-Write");
  EXPECT_FALSE(facts.geometry.has_value());
  EXPECT_EQ(reader->formatLetter(), 'C');
}

// ---------------------------------------------------------------------------
// Built images: headers

struct HeaderCase {
  const char* name;
  ClusterDiskBuilder builder;
  OpenResult expected;
  std::string reason;  // the check that refused the file
};

ClusterDiskBuilder With(ClusterDiskBuilder builder, void (*damage)(ClusterDiskBuilder::Damage&)) {
  damage(builder.damage);
  return builder;
}

std::vector<HeaderCase> HeaderCases() {
  const auto v1 = [] { return ClusterDiskBuilder::Qcow1(kMiB); };
  const auto v2 = [] { return ClusterDiskBuilder::Qcow2(kMiB); };
  const auto v3 = [] { return ClusterDiskBuilder::Qcow3(kMiB); };
  using D = ClusterDiskBuilder::Damage;
  return {
      {"WrongMagic", With(v2(), [](D& d) { d.magic = 0x514649FC; }), OpenResult::NotThisFormat, "no QCOW magic"},
      {"Version4", With(v3(), [](D& d) { d.version = 4; }), OpenResult::NotThisFormat, "unknown QCOW version"},
      {"Version0", With(v2(), [](D& d) { d.version = 0; }), OpenResult::NotThisFormat, "unknown QCOW version"},
      {"ShortVersion2Header", With(v2(), [](D& d) { d.truncateTo = 71; }), OpenResult::NotThisFormat, "header cut short"},
      {"ShortVersion3Header", With(v3(), [](D& d) { d.truncateTo = 103; }), OpenResult::NotThisFormat, "header cut short"},
      {"CompressionTypeCut", With(v3(), [](D& d) {
         d.incompatible = 8;
         d.compressionType = 0;
         d.truncateTo = 104;
       }), OpenResult::NotThisFormat, "compression type cut short"},
      {"Version1Encrypted", With(v1(), [](D& d) { d.encryption = 1; }), OpenResult::Damaged, "encrypted"},
      {"Version2Encrypted", With(v2(), [](D& d) { d.encryption = 2; }), OpenResult::Damaged, "encrypted"},
      {"Snapshots", With(v2(), [](D& d) { d.snapshots = 1; }), OpenResult::Damaged, "has snapshots"},
      {"ClusterBits8", With(v2(), [](D& d) { d.clusterBits = 8; }), OpenResult::Damaged, "cluster size out of range"},
      {"ClusterBits22", With(v3(), [](D& d) { d.clusterBits = 22; }), OpenResult::Damaged, "cluster size out of range"},
      {"Version1ClusterBits63", With(v1(), [](D& d) { d.clusterBits = 63; }), OpenResult::Damaged, "cluster size out of range"},
      {"Version1NoL2Bits", With(v1(), [](D& d) { d.l2Bits = 0; }), OpenResult::Damaged, "level-2 table size out of range"},
      {"Version1HugeL2", With(v1(), [](D& d) { d.l2Bits = 19; }), OpenResult::Damaged, "level-2 table size out of range"},
      {"Version1HugeDisk", With(v1(), [](D& d) { d.diskSize = std::uint64_t{1} << 62; }), OpenResult::Damaged, "level-1 table beyond the file"},
      {"HugeL1Count", With(v2(), [](D& d) { d.l1Count = 0xFFFFFFFF; }), OpenResult::Damaged, "level-1 table beyond the file"},
      {"L1PastTheFile", With(v2(), [](D& d) { d.l1Offset = std::uint64_t{1} << 50; }), OpenResult::Damaged, "level-1 table beyond the file"},
      {"L1OffsetWraps", With(v2(), [](D& d) { d.l1Offset = ~std::uint64_t{0} - 4; }), OpenResult::Damaged, "level-1 table beyond the file"},
      {"ExternalDataFile", With(v3(), [](D& d) { d.incompatible = 4; }), OpenResult::Damaged, "unsupported incompatible features"},
      {"ExtendedL2", With(v3(), [](D& d) { d.incompatible = 16; }), OpenResult::Damaged, "unsupported incompatible features"},
      {"UnknownFeature", With(v3(), [](D& d) { d.incompatible = std::uint64_t{1} << 40; }), OpenResult::Damaged, "unsupported incompatible features"},
      {"Zstd", With(v3(), [](D& d) {
         d.incompatible = 8;
         d.compressionType = 1;
       }), OpenResult::Damaged, "unsupported incompatible features"},
      {"CompressionBitWithoutField", With(v3(), [](D& d) { d.incompatible = 8; }), OpenResult::Damaged, "unsupported incompatible features"},
      {"ShortHeaderLength", With(v3(), [](D& d) { d.headerLength = 100; }), OpenResult::Damaged, "unsupported incompatible features"},
      {"DirtyAndCorrupt", With(v3(), [](D& d) { d.incompatible = 3; }), OpenResult::Opened, ""},
      {"Deflate", With(v3(), [](D& d) {
         d.incompatible = 8 | 1;
         d.compressionType = 0;
       }), OpenResult::Opened, ""},
      {"EmptyVersion1", v1(), OpenResult::Opened, ""},
      {"ClusterBits21", ClusterDiskBuilder::Qcow2(4 * kMiB, 21), OpenResult::Opened, ""},
  };
}

class QcowHeaderTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(QcowHeaderTest, OpenAnswersWithTheCheckThatFailed) {
  TempDir dir;
  GetParam().builder.WriteTo(dir / "case.qcow");
  test::ReaderSlot<QcowReader> reader;
  ASSERT_EQ(reader.Open(dir / "case.qcow"), GetParam().expected);
  EXPECT_EQ(reader.reason(), GetParam().reason);
  EXPECT_EQ(reader.isOpen(), GetParam().expected == OpenResult::Opened);
}

INSTANTIATE_TEST_SUITE_P(Headers, QcowHeaderTest, ::testing::ValuesIn(HeaderCases()),
                         [](const ::testing::TestParamInfo<HeaderCase>& info) { return std::string(info.param.name); });

TEST(QcowOpenTest, MissingFilesCannotBeOpenedAndOtherFilesAreNotQcow) {
  TempDir dir;
  test::ReaderSlot<QcowReader> reader;
  EXPECT_EQ(reader.Open(dir / "missing.qcow"), OpenResult::CannotOpen);
  test::WriteFileBytes(dir / "empty.qcow", {});
  EXPECT_EQ(reader.Open(dir / "empty.qcow"), OpenResult::NotThisFormat);
  test::WriteFileBytes(dir / "magic.qcow", {'Q', 'F', 'I', 0xFB, 0, 0});
  EXPECT_EQ(reader.Open(dir / "magic.qcow"), OpenResult::NotThisFormat);
  EXPECT_FALSE(reader.isOpen());
}

}  // namespace
}  // namespace korv
