#include "vdisk/parallels.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

#include "fixtures/parallels_builder.h"
#include "support/reader_checks.h"
#include "support/test_support.h"

namespace korv {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::ParallelsBuilder;
using test::ParallelsMagic;
using test::PatternBytes;
using test::TempDir;

constexpr std::uint64_t kSector = 512;

Bytes SectorOf(const Bytes& bytes, std::uint64_t sector) {
  const auto from = bytes.begin() + static_cast<std::ptrdiff_t>(sector * kSector);
  return Bytes(from, from + kSector);
}

// Six clusters: 0, 3 and the last, partial one allocated, 1, 2 and 4 left
// out; a disk size that is no multiple of the cluster.
ParallelsBuilder SampleImage(ParallelsMagic magic, std::uint32_t sectorsPerCluster) {
  ParallelsBuilder builder(std::uint64_t{sectorsPerCluster} * 5 + sectorsPerCluster / 2 + 2, sectorsPerCluster, magic);
  const std::uint64_t clusterBytes = builder.clusterBytes();
  builder.AddCluster(3, PatternBytes(clusterBytes, 1)).AddCluster(0, PatternBytes(clusterBytes, 2));
  builder.AddCluster(5, PatternBytes(clusterBytes, 3));
  return builder;
}

class ParallelsTest : public test::BuiltDiskTest {
 protected:
  test::ReaderSlot<ParallelsReader> reader_;
};

TEST_F(ParallelsTest, OldMagicCountsTableEntriesInSectors) {
  // 63-sector clusters, as older images use: the data start is no multiple
  // of the cluster, so only sector-counted entries find it.
  const ParallelsBuilder builder = SampleImage(ParallelsMagic::Sectors, 63);
  ASSERT_EQ(reader_.Open(Write("old.hdd", builder)), OpenResult::Opened);
  EXPECT_FALSE(reader_->entriesInClusters());
  EXPECT_EQ(reader_->tableEntry(3), builder.ClusterFileOffset(3) / kSector);
  EXPECT_EQ(test::ExpectReadsAsRaw(reader_, builder.RawDisk()), 3u * 63);
}

TEST_F(ParallelsTest, ExtendedMagicCountsTableEntriesInClusters) {
  const ParallelsBuilder builder = SampleImage(ParallelsMagic::Clusters, 8);
  ASSERT_EQ(reader_.Open(Write("new.hdd", builder)), OpenResult::Opened);
  EXPECT_TRUE(reader_->entriesInClusters());
  EXPECT_EQ(reader_->tableEntry(3), builder.ClusterFileOffset(3) / builder.clusterBytes());
  EXPECT_EQ(test::ExpectReadsAsRaw(reader_, builder.RawDisk()), 3u * 8);
}

TEST_F(ParallelsTest, FactsAndReadsAtTheEdges) {
  const ParallelsBuilder builder = SampleImage(ParallelsMagic::Sectors, 16);
  ASSERT_EQ(reader_.Open(Write("disk.hdd", builder)), OpenResult::Opened);
  const VirtualDiskFacts facts = reader_->facts();
  EXPECT_EQ(facts.diskSizeBytes, (16u * 5 + 10) * kSector);
  EXPECT_EQ(facts.inventorySizeBytes, facts.diskSizeBytes);
  EXPECT_EQ(facts.mediaTypeText, "Virtual File HDD");
  EXPECT_EQ(facts.diskTypeText, "Parallels");
  EXPECT_FALSE(facts.geometry.has_value());
  EXPECT_EQ(reader_->formatLetter(), 'E');

  // An unallocated cluster is zeros and success; past the end is zeros and
  // failure, also for a run that only ends there.
  const test::ReadResult hole = test::ReadRunOf(reader_, 16, 16);
  EXPECT_EQ(hole.result, 1);
  EXPECT_EQ(hole.bytes, Bytes(16 * kSector, 0));
  const std::uint64_t last = reader_->diskSectors() - 1;
  EXPECT_EQ(test::ReadRunOf(reader_, last, 1).result, 1);
  const test::ReadResult over = test::ReadRunOf(reader_, last, 3);
  EXPECT_EQ(over.result, 0);
  EXPECT_EQ(SectorOf(over.bytes, 2), Bytes(kSector, 0));
  Bytes multi(2 * kSector, 0xAA);
  EXPECT_EQ(reader_->ReadSector(last, multi), 0);

  // Neighbouring clusters of one state make one stretch, cut at the disk end.
  EXPECT_EQ(reader_->allocationAt(5).allocated, true);
  EXPECT_EQ(reader_->allocationAt(5).sectors, 11u);
  EXPECT_EQ(reader_->allocationAt(16).allocated, false);
  EXPECT_EQ(reader_->allocationAt(16).sectors, 32u);
  EXPECT_EQ(reader_->allocationAt(64).allocated, false);
  EXPECT_EQ(reader_->allocationAt(80).sectors, 10u);
  EXPECT_EQ(reader_->allocationAt(90).sectors, 0u);
}

TEST_F(ParallelsTest, TruncatedFileFailsOnlyTheMissingSectorsAndRunsAgree) {
  ParallelsBuilder builder(64, 16);
  for (std::uint32_t i = 0; i < 4; ++i) builder.AddCluster(i, PatternBytes(16 * kSector, 10 + i));
  // The file ends 700 bytes into the third cluster: one sector whole, one cut.
  const std::uint64_t cut = builder.ClusterFileOffset(2) + 700;
  builder.damage.truncateTo = cut;
  ASSERT_EQ(reader_.Open(Write("cut.hdd", builder)), OpenResult::Opened);
  const Bytes raw = builder.RawDisk();

  EXPECT_EQ(test::ReadRunOf(reader_, 32, 1).bytes, SectorOf(raw, 32));
  const test::ReadResult cutSector = test::ReadRunOf(reader_, 33, 1);
  EXPECT_EQ(cutSector.result, 0);
  EXPECT_EQ(cutSector.bytes, Bytes(kSector, 0));
  const std::vector<std::pair<std::uint64_t, std::uint32_t>> runs = {{0, 64}, {30, 4}, {20, 13}, {33, 31}, {40, 30}};
  for (const auto& [first, count] : runs) {
    const test::ReadResult fast = test::ReadRunOf(reader_, first, count);
    const test::ReadResult slow = test::ReadOneByOne(reader_, first, count);
    EXPECT_EQ(fast.result, slow.result) << first << "+" << count;
    EXPECT_EQ(fast.bytes, slow.bytes) << first << "+" << count;
  }
}

// The data of this image sits one sector late; the disk's sector 0 carries
// the boot mark, and the sector the table names is zeros.
ParallelsBuilder ShiftedImage() {
  ParallelsBuilder builder(40, 8);
  Bytes first = PatternBytes(8 * kSector, 21);
  first[510] = 0x55;
  first[511] = 0xAA;
  builder.AddCluster(0, first).AddCluster(1, PatternBytes(8 * kSector, 22)).AddCluster(4, PatternBytes(8 * kSector, 23));
  builder.ShiftDataOneSector();
  return builder;
}

TEST_F(ParallelsTest, HdsImageWithDataOneSectorLateIsReadShifted) {
  const ParallelsBuilder builder = ShiftedImage();
  ASSERT_EQ(reader_.Open(Write("Shifted.HDS", builder)), OpenResult::Opened);
  EXPECT_TRUE(reader_->isHds());
  EXPECT_TRUE(reader_->shiftOne());
  EXPECT_EQ(reader_->facts().mediaTypeText, "Virtual File HDS");
  // Every sector, whether or not sector 0 was read first.
  EXPECT_EQ(test::ReadRunOf(reader_, 9, 1).bytes, SectorOf(builder.RawDisk(), 9));
  test::ExpectReadsAsRaw(reader_, builder.RawDisk());

  // The same bytes in an ".hdd" file are read as the table says.
  ASSERT_EQ(reader_.Open(Write("shifted.hdd", builder)), OpenResult::Opened);
  EXPECT_FALSE(reader_->isHds());
  EXPECT_FALSE(reader_->shiftOne());
  EXPECT_EQ(test::ReadRunOf(reader_, 0, 1).bytes, Bytes(kSector, 0));
  EXPECT_EQ(test::ReadRunOf(reader_, 1, 1).bytes, SectorOf(builder.RawDisk(), 0));
}

TEST_F(ParallelsTest, HdsImageIsReadUnshiftedWhenItsFirstSectorHasTheMark) {
  ParallelsBuilder builder(16, 8);
  Bytes first = PatternBytes(8 * kSector, 31);
  first[510] = 0x55;
  first[511] = 0x00;  // byte 510 alone decides
  first[1022] = 0x55;
  first[1023] = 0xAA;
  builder.AddCluster(0, first);
  ASSERT_EQ(reader_.Open(Write("plain.hds", builder)), OpenResult::Opened);
  EXPECT_FALSE(reader_->shiftOne());
  test::ExpectReadsAsRaw(reader_, builder.RawDisk());
}

TEST_F(ParallelsTest, EmptyFileOpensTheFirstNonEmptyHdsOfItsFolder) {
  const ParallelsBuilder shifted = ShiftedImage();
  const ParallelsBuilder other = SampleImage(ParallelsMagic::Sectors, 16);
  test::WriteFileBytes(dir_ / "a-notes.txt", PatternBytes(4096, 1));
  test::WriteFileBytes(dir_ / "b-empty.hds", {});
  fs::create_directory(dir_ / "a-folder.hds");
  Write("c-image.HDS", shifted);
  Write("d-image.hds", other);
  Write("a-image.hdd", other);
  test::WriteFileBytes(dir_ / "DiskDescriptor", {});

  ASSERT_EQ(reader_.Open(dir_ / "DiskDescriptor"), OpenResult::Opened);
  EXPECT_EQ(reader_->imagePath().filename(), "c-image.HDS");
  EXPECT_TRUE(reader_->isHds());
  EXPECT_TRUE(reader_->shiftOne());
  EXPECT_EQ(reader_->facts().mediaTypeText, "Virtual File HDS");
  test::ExpectReadsAsRaw(reader_, shifted.RawDisk());

  // The empty ".hds" itself leads to the same image.
  ASSERT_EQ(reader_.Open(dir_ / "b-empty.hds"), OpenResult::Opened);
  EXPECT_EQ(reader_->imagePath().filename(), "c-image.HDS");
}

TEST_F(ParallelsTest, EmptyFileWithoutAnImageBesideItIsNotThisFormat) {
  Write("image.hdd", SampleImage(ParallelsMagic::Sectors, 16));
  test::WriteFileBytes(dir_ / "only.hds", {});
  EXPECT_EQ(reader_.Open(dir_ / "only.hds"), OpenResult::NotThisFormat);
  EXPECT_FALSE(reader_.isOpen());

  // The first ".hds" decides, whatever it holds.
  ParallelsBuilder damaged = SampleImage(ParallelsMagic::Sectors, 16);
  damaged.damage.version = 1;
  Write("broken.hds", damaged);
  Write("good.hds", SampleImage(ParallelsMagic::Sectors, 16));
  EXPECT_EQ(reader_.Open(dir_ / "only.hds"), OpenResult::Damaged);
  EXPECT_FALSE(reader_.isOpen());
}

TEST_F(ParallelsTest, DamagedHeadersAreRefusedWithTheCheckThatFailed) {
  struct Case {
    const char* name;
    std::function<void(ParallelsBuilder&)> damage;
    OpenResult expected;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"version 1", [](auto& b) { b.damage.version = 1; }, OpenResult::Damaged, "unsupported version"},
      {"no sectors per cluster", [](auto& b) { b.damage.sectorsPerCluster = 0; }, OpenResult::Damaged,
       "no sectors per cluster"},
      {"table beyond the file", [](auto& b) { b.damage.tableEntries = 100000; }, OpenResult::Damaged,
       "block table beyond the file"},
      {"table over the limit", [](auto& b) { b.damage.tableEntries = 0x40000001; }, OpenResult::Damaged,
       "block table over the limit"},
      {"disk larger than its table", [](auto& b) { b.damage.diskSectors = 16 * 6 + 1; }, OpenResult::Damaged,
       "disk larger than its table"},
      {"absurd disk size", [](auto& b) { b.damage.diskSectors = 0xFFFFFFFF; }, OpenResult::Damaged,
       "disk larger than its table"},
      {"header cut short", [](auto& b) { b.damage.truncateTo = 40; }, OpenResult::NotThisFormat,
       "header cut short"},
      {"table cut short", [](auto& b) { b.damage.truncateTo = 70; }, OpenResult::Damaged,
       "block table beyond the file"},
  };
  for (const ParallelsMagic magic : {ParallelsMagic::Sectors, ParallelsMagic::Clusters}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      ParallelsBuilder builder = SampleImage(magic, 16);
      c.damage(builder);
      EXPECT_EQ(reader_.Open(Write("bad.hds", builder)), c.expected);
      EXPECT_FALSE(reader_.isOpen());
      EXPECT_EQ(reader_.reason(), c.reason);
    }
  }
}

TEST_F(ParallelsTest, OtherFilesAreNotThisFormatOrCannotBeOpened) {
  Bytes notParallels = PatternBytes(4096, 5);
  test::WriteFileBytes(dir_ / "other.hdd", notParallels);
  EXPECT_EQ(reader_.Open(dir_ / "other.hdd"), OpenResult::NotThisFormat);
  EXPECT_EQ(reader_.Open(dir_ / "missing.hdd"), OpenResult::CannotOpen);
  EXPECT_FALSE(reader_.isOpen());
}

TEST_F(ParallelsTest, OldMagicTakesOnlyThe32BitDiskSize) {
  ParallelsBuilder builder = SampleImage(ParallelsMagic::Sectors, 16);
  builder.damage.wordAtByte40 = 0x746F6E59;
  ASSERT_EQ(reader_.Open(Write("disk.hdd", builder)), OpenResult::Opened);
  EXPECT_EQ(reader_->diskSectors(), 16u * 5 + 10);

  // The extended magic takes all 64 bits, so there the same word is an
  // absurd size.
  ParallelsBuilder extended = SampleImage(ParallelsMagic::Clusters, 16);
  extended.damage.wordAtByte40 = 0x746F6E59;
  EXPECT_EQ(reader_.Open(Write("disk.hdd", extended)), OpenResult::Damaged);
}

// ---------------------------------------------------------------------------
// Against qemu-img

class ParallelsQemuTest : public test::QemuImageTest<const char*> {};

TEST_P(ParallelsQemuTest, ImagesOfQemuImgReadAsTheirRawData) {
  const Bytes raw = test::SparsePatternDisk();
  test::WriteFileBytes(dir_ / "disk.raw", raw);
  const fs::path image = dir_ / "disk.hdd";
  ASSERT_TRUE(test::QemuConvert(dir_ / "disk.raw", image, "parallels",
                                {"-o", std::string("cluster_size=") + GetParam()}));
  const Bytes file = test::ReadFileBytes(image);
  ASSERT_GE(file.size(), 16u);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 16), "WithouFreSpacExt");

  test::ReaderSlot<ParallelsReader> reader;
  ASSERT_EQ(reader.Open(image), OpenResult::Opened);
  EXPECT_TRUE(reader->entriesInClusters());
  EXPECT_FALSE(reader->isHds());
  // qemu-img leaves the two 2 MiB stretches of zeros out.
  EXPECT_GE(test::ExpectReadsAsRaw(reader, raw), 2u * 4096);

  // As an ".hds" file: no boot mark anywhere, so nothing is shifted.
  fs::copy_file(image, dir_ / "disk.hds");
  ASSERT_EQ(reader.Open(dir_ / "disk.hds"), OpenResult::Opened);
  EXPECT_TRUE(reader->isHds());
  EXPECT_FALSE(reader->shiftOne());
  const test::ReadResult whole = test::ReadRunOf(reader, 0, static_cast<std::uint32_t>(raw.size() / kSector));
  EXPECT_EQ(whole.result, 1);
  EXPECT_TRUE(whole.bytes == raw);
}

INSTANTIATE_TEST_SUITE_P(ClusterSizes, ParallelsQemuTest, ::testing::Values("1M", "64K"));

// qemu-img converts images our builder made, either magic, to what our
// reader reads.
TEST(ParallelsBuilderQemuTest, QemuImgReadsBuiltImagesAsOurReaderDoes) {
  if (!test::HaveQemuImg()) GTEST_SKIP() << "qemu-img is not installed";
  TempDir dir;
  for (const ParallelsMagic magic : {ParallelsMagic::Sectors, ParallelsMagic::Clusters}) {
    const ParallelsBuilder builder = SampleImage(magic, magic == ParallelsMagic::Sectors ? 63 : 16);
    builder.WriteTo(dir / "built.hdd");
    ASSERT_TRUE(test::RunProgram({"qemu-img", "convert", "-q", "-f", "parallels", "-O", "raw",
                                  (dir / "built.hdd").string(), (dir / "out.raw").string()}));
    EXPECT_TRUE(test::ReadFileBytes(dir / "out.raw") == builder.RawDisk());
  }
}

}  // namespace
}  // namespace korv
