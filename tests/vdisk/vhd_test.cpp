#include "support/byte_writers.h"
#include "vdisk/vhd.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "fixtures/vhd_builder.h"
#include "platform/bytes.h"
#include "support/reader_checks.h"
#include "support/test_support.h"

namespace korv {
namespace {

namespace fs = std::filesystem;
using test::PatternBytes;
using test::TempDir;
using test::VhdBuilder;
using test::Bytes;
using test::Slice;

constexpr std::uint64_t kMiB = 1024 * 1024;

struct Read {
  int result;
  Bytes bytes;
};

// Reads into a buffer full of 0xAA, so that bytes left untouched show.
Read ReadSectors(VhdReader& reader, std::uint64_t sector, std::uint32_t count = 1) {
  Bytes out(std::size_t{count} * 512, 0xAA);
  const int result = reader.ReadSector(sector, out);
  return {result, out};
}

Read ReadRun(VhdReader& reader, std::uint64_t sector, std::uint32_t count) {
  Bytes out(std::size_t{count} * 512, 0xAA);
  const int result = reader.ReadRun(sector, count, out);
  return {result, out};
}

// What one ReadSector call per sector gives for a run.
Read ReadOneByOne(VhdReader& reader, std::uint64_t sector, std::uint32_t count) {
  Read read{0, Bytes(std::size_t{count} * 512, 0xAA)};
  for (std::uint32_t i = 0; i < count; ++i) {
    read.result = reader.ReadSector(sector + i, std::span(read.bytes).subspan(std::size_t{i} * 512, 512));
  }
  return read;
}

const Bytes kZeroSector(512, 0);

class VhdTest : public test::BuiltDiskTest {
 protected:
};

TEST_F(VhdTest, FixedDiskMapsSectorsOntoTheFileAndStopsBeforeTheFooter) {
  const Bytes data = PatternBytes(10 * kMiB, 1);
  test::ReaderSlot<VhdReader> reader;
  ASSERT_EQ(reader.Open(Write("fixed.vhd", VhdBuilder::Fixed(data))), OpenResult::Opened);
  EXPECT_TRUE(reader->isFixed());

  EXPECT_EQ(ReadSectors(reader, 0).bytes, Slice(data, 0, 512));
  const Read last = ReadSectors(reader, 20479);
  EXPECT_EQ(last.result, 1);
  EXPECT_EQ(last.bytes, Slice(data, 10485248, 512));

  const Read footer = ReadSectors(reader, 20480);
  EXPECT_EQ(footer.result, 0);
  EXPECT_EQ(footer.bytes, kZeroSector);
  EXPECT_EQ(ReadSectors(reader, ~std::uint64_t{0}).result, 0);

  // A run over the end: what lies inside is read, the rest is zeros.
  const Read across = ReadRun(reader, 20478, 4);
  EXPECT_EQ(across.result, 0);
  EXPECT_EQ(Slice(across.bytes, 0, 1024), Slice(data, 20478 * 512, 1024));
  EXPECT_EQ(Slice(across.bytes, 1024, 1024), Bytes(1024, 0));

  const VirtualDiskFacts facts = reader->facts();
  EXPECT_EQ(facts.diskSizeBytes, 10 * kMiB);
  EXPECT_EQ(facts.diskTypeText, "Fixed");
  ASSERT_TRUE(facts.geometry);
  EXPECT_EQ(facts.geometry->cylinders, std::to_string(reader->cylinders()));
  EXPECT_EQ(facts.geometry->heads, std::to_string(reader->heads()));
  EXPECT_EQ(facts.geometry->sectorsPerTrack, std::to_string(reader->sectorsPerTrack()));
  EXPECT_GT(reader->cylinders(), 0);

  EXPECT_EQ(reader->allocationAt(100).allocated, true);
  EXPECT_EQ(reader->allocationAt(100).sectors, 20380u);
  EXPECT_EQ(reader->allocationAt(20480).sectors, 0u);
}

// A fixed disk cut short, its footer found at the front: the sectors the
// file lacks make one stretch to the disk's end, and reading them fails.
TEST_F(VhdTest, FixedDiskCutShortKeepsItsAllocationStretchesMovingOn) {
  const Bytes whole = VhdBuilder::Fixed(PatternBytes(kMiB, 4)).Build();
  Bytes cut = Slice(whole, whole.size() - 512, 512);
  const Bytes data = Slice(whole, 0, 3 * 512);
  cut.insert(cut.end(), data.begin(), data.end());
  cut.resize(cut.size() + 100);  // no footer at the end
  const fs::path path = dir_ / "cut.vhd";
  test::WriteFileBytes(path, cut);
  test::ReaderSlot<VhdReader> reader;
  ASSERT_EQ(reader.Open(path), OpenResult::Opened);
  ASSERT_EQ(reader->facts().diskSizeBytes, kMiB);
  EXPECT_EQ(reader->allocationAt(0).sectors, 3u);
  for (const std::uint64_t sector : {std::uint64_t{3}, std::uint64_t{1000}, std::uint64_t{2047}}) {
    const AllocationRun run = reader->allocationAt(sector);
    EXPECT_TRUE(run.allocated) << sector;
    EXPECT_EQ(sector + run.sectors, 2048u) << sector;
  }
  EXPECT_EQ(ReadSectors(reader, 1000).result, 0);
}

TEST_F(VhdTest, DynamicDiskReadsDataAfterTheBlockBitmap) {
  // The table entry of block 1 says 3: sector 4097 is read from
  // (3 + 1 bitmap sector + index 1) × 512 = 2560.
  VhdBuilder builder = VhdBuilder::Dynamic(4 * kMiB);
  builder.AddBlock(1, PatternBytes(2 * kMiB, 2));
  Bytes file = builder.Build();
  ASSERT_TRUE(StoreU32BE(file, test::kVhdTableOffset + 4, 3));
  const fs::path path = dir_ / "dynamic.vhd";
  test::WriteFileBytes(path, file);

  test::ReaderSlot<VhdReader> reader;
  ASSERT_EQ(reader.Open(path), OpenResult::Opened);
  EXPECT_EQ(reader->sectorsPerBlock(), 4096u);
  EXPECT_EQ(reader->bitmapSectors(), 1u);
  const Read read = ReadSectors(reader, 4097);
  EXPECT_EQ(read.result, 1);
  EXPECT_EQ(read.bytes, Slice(file, 2560, 512));
  EXPECT_EQ(reader->facts().diskTypeText, "Dynamic");
}

TEST_F(VhdTest, BitmapSizeFollowsTheBlockSize) {
  struct Case {
    std::uint32_t blockSize;
    std::uint32_t bitmapSectors;
  };
  for (const Case c : {Case{4096, 1}, Case{2 * kMiB, 1}, Case{4 * kMiB, 2}, Case{16 * kMiB, 8}}) {
    SCOPED_TRACE(c.blockSize);
    const Bytes data = PatternBytes(c.blockSize, c.blockSize);
    VhdBuilder builder = VhdBuilder::Dynamic(std::uint64_t{c.blockSize} * 3, c.blockSize);
    builder.AddBlock(2, data);
    test::ReaderSlot<VhdReader> reader;
    ASSERT_EQ(reader.Open(Write("b.vhd", builder)), OpenResult::Opened);
    EXPECT_EQ(reader->bitmapSectors(), c.bitmapSectors);
    const std::uint64_t perBlock = c.blockSize / 512;
    EXPECT_EQ(ReadSectors(reader, 2 * perBlock).bytes, Slice(data, 0, 512));
    EXPECT_EQ(ReadSectors(reader, 3 * perBlock - 1).bytes, Slice(data, c.blockSize - 512, 512));
  }
}

TEST_F(VhdTest, UnallocatedDynamicBlockReadsAsZerosWithSuccess) {
  VhdBuilder builder = VhdBuilder::Dynamic(6 * kMiB);
  builder.AddBlock(0, PatternBytes(2 * kMiB, 3)).AddBlock(2, PatternBytes(2 * kMiB, 4));
  test::ReaderSlot<VhdReader> reader;
  ASSERT_EQ(reader.Open(Write("holes.vhd", builder)), OpenResult::Opened);

  const Read one = ReadSectors(reader, 4096 + 7);
  EXPECT_EQ(one.result, 1);
  EXPECT_EQ(one.bytes, kZeroSector);

  const Read run = ReadRun(reader, 4090, 20);  // allocated, then a hole
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(Slice(run.bytes, 0, 6 * 512), Slice(PatternBytes(2 * kMiB, 3), 4090 * 512, 6 * 512));
  EXPECT_EQ(Slice(run.bytes, 6 * 512, 14 * 512), Bytes(14 * 512, 0));

  EXPECT_EQ(reader->allocationAt(4095).allocated, true);
  EXPECT_EQ(reader->allocationAt(4095).sectors, 1u);
  EXPECT_EQ(reader->allocationAt(5000).allocated, false);
  EXPECT_EQ(reader->allocationAt(5000).sectors, 8192u - 5000);
  EXPECT_EQ(reader->allocationAt(3 * 4096).sectors, 0u);
}

TEST_F(VhdTest, SectorsBeyondTheBlockTableReadAsZerosWithFailure) {
  VhdBuilder builder = VhdBuilder::Dynamic(2 * kMiB);
  builder.AddBlock(0, PatternBytes(2 * kMiB, 5));
  test::ReaderSlot<VhdReader> reader;
  ASSERT_EQ(reader.Open(Write("small.vhd", builder)), OpenResult::Opened);

  const Read beyond = ReadSectors(reader, 4096);
  EXPECT_EQ(beyond.result, 0);
  EXPECT_EQ(beyond.bytes, kZeroSector);
  EXPECT_EQ(ReadSectors(reader, ~std::uint64_t{0}).result, 0);

  const Read across = ReadRun(reader, 4094, 4);
  EXPECT_EQ(across.result, 0);
  EXPECT_EQ(Slice(across.bytes, 1024, 1024), Bytes(1024, 0));
  // A multi-sector ReadSector succeeds only when all of it was served.
  EXPECT_EQ(ReadSectors(reader, 4094, 4).result, 0);
  EXPECT_EQ(ReadSectors(reader, 4092, 4).result, 1);
}

TEST_F(VhdTest, FooterOnlyAtTheFrontStillOpens) {
  VhdBuilder builder = VhdBuilder::Dynamic(4 * kMiB);
  builder.AddBlock(1, PatternBytes(2 * kMiB, 6));
  builder.damage.footerOnlyAtFront = true;
  test::ReaderSlot<VhdReader> reader;
  ASSERT_EQ(reader.Open(Write("front.vhd", builder)), OpenResult::Opened);
  EXPECT_EQ(reader->currentSize(), 4 * kMiB);
  EXPECT_EQ(ReadSectors(reader, 4096).bytes, Slice(PatternBytes(2 * kMiB, 6), 0, 512));
}

TEST_F(VhdTest, RecognisesOnlyFilesWithAFooter) {
  test::ReaderSlot<VhdReader> reader;
  EXPECT_EQ(reader.Open(dir_ / "missing.vhd"), OpenResult::CannotOpen);
  EXPECT_EQ(reader.Open(dir_.path()), OpenResult::CannotOpen);

  test::WriteFileBytes(dir_ / "tiny.vhd", Bytes(100, 0));
  EXPECT_EQ(reader.Open(dir_ / "tiny.vhd"), OpenResult::NotThisFormat);
  test::WriteFileBytes(dir_ / "other.bin", PatternBytes(64 * 1024, 7));
  EXPECT_EQ(reader.Open(dir_ / "other.bin"), OpenResult::NotThisFormat);
  EXPECT_FALSE(reader.isOpen());
}

TEST_F(VhdTest, DamagedHeadersAreRefused) {
  using Damage = VhdBuilder::Damage;
  struct Case {
    const char* what;
    void (*damage)(Damage&);
    const char* reason;  // the check that refuses the file
  };
  const Case cases[] = {
      {"unknown disk type", [](Damage& d) { d.diskType = 7; }, "unknown disk type"},
      {"no cxsparse header", [](Damage& d) { d.noSparseCookie = true; }, "no dynamic header cookie"},
      {"block size not a power of two", [](Damage& d) { d.blockSize = 3 * 4096; }, "block size out of range"},
      {"block size below 4096", [](Damage& d) { d.blockSize = 2048; }, "block size out of range"},
      {"block size zero", [](Damage& d) { d.blockSize = 0; }, "block size out of range"},
      {"table beyond the file", [](Damage& d) { d.tableOffset = 1ull << 40; }, "block table beyond the file"},
      {"table offset wraps", [](Damage& d) { d.tableOffset = ~std::uint64_t{0} - 8; }, "block table beyond the file"},
      {"table longer than the file", [](Damage& d) { d.maxTableEntries = 0xFFFFFFFFu; }, "block table beyond the file"},
      {"header beyond the file", [](Damage& d) { d.dataOffset = 1ull << 40; }, "dynamic header beyond the file"},
      {"header cut by the end of the file", [](Damage& d) { d.dataOffset = 2 * kMiB + 2560; }, "dynamic header beyond the file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    VhdBuilder builder = VhdBuilder::Dynamic(2 * kMiB);
    builder.AddBlock(0, PatternBytes(2 * kMiB, 8));
    c.damage(builder.damage);
    test::ReaderSlot<VhdReader> reader;
    EXPECT_EQ(reader.Open(Write("damaged.vhd", builder)), OpenResult::Damaged);
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ(reader.reason(), c.reason);
  }
}

TEST_F(VhdTest, EveryOpenStartsFromScratch) {
  const fs::path base = Write("base.vhd", VhdBuilder::Fixed(PatternBytes(4 * kMiB, 9)));
  VhdBuilder child = VhdBuilder::Differencing(4 * kMiB, u"base.vhd");
  const fs::path childPath = Write("child.vhd", child);
  VhdBuilder broken = VhdBuilder::Dynamic(2 * kMiB);
  broken.damage.noSparseCookie = true;
  const fs::path brokenPath = Write("broken.vhd", broken);

  test::ReaderSlot<VhdReader> reader;
  ASSERT_EQ(reader.Open(childPath), OpenResult::Opened);
  ASSERT_EQ(ResolveVhdParent(reader, childPath), ParentOutcome::Ready);
  ASSERT_NE(reader->parent(), nullptr);

  ASSERT_EQ(reader.Open(base), OpenResult::Opened);
  EXPECT_EQ(reader->parent(), nullptr);
  EXPECT_FALSE(reader->isDifferencing());
  EXPECT_TRUE(reader->parentName().empty());
  EXPECT_EQ(ReadSectors(reader, 8191).result, 1);

  EXPECT_EQ(reader.Open(brokenPath), OpenResult::Damaged);
  EXPECT_FALSE(reader.isOpen());
  EXPECT_EQ(reader.reason(), "no dynamic header cookie");
}

TEST_F(VhdTest, TruncatedFileServesWhatIsLeft) {
  VhdBuilder builder = VhdBuilder::Dynamic(4 * kMiB);
  const Bytes data = PatternBytes(2 * kMiB, 10);
  builder.AddBlock(0, PatternBytes(2 * kMiB, 11)).AddBlock(1, data);
  Bytes file = builder.Build();
  // Cut inside block 1, mid-sector: the copy of the footer at the front
  // still opens the disk.
  const std::uint64_t keptOfBlock = 1000 * 512 + 100;
  file.resize(builder.BlockFileOffset(1) + 512 + keptOfBlock);
  const fs::path path = dir_ / "cut.vhd";
  test::WriteFileBytes(path, file);

  test::ReaderSlot<VhdReader> reader;
  ASSERT_EQ(reader.Open(path), OpenResult::Opened);
  EXPECT_EQ(ReadSectors(reader, 4096 + 999).bytes, Slice(data, 999 * 512, 512));
  const Read cut = ReadSectors(reader, 4096 + 1000);
  EXPECT_EQ(cut.result, 0);
  EXPECT_EQ(cut.bytes, kZeroSector);

  const Read run = ReadRun(reader, 4096 + 990, 20);
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(Slice(run.bytes, 0, 10 * 512), Slice(data, 990 * 512, 10 * 512));
  EXPECT_EQ(Slice(run.bytes, 10 * 512, 10 * 512), Bytes(10 * 512, 0));
}

// A base disk, a differencing child of it, and the child's block states:
// block 0 holds sectors 0-9 and 20-4095 itself; block 1 is not allocated;
// block 2 holds nothing of its own (every bit clear).
class VhdDifferencingTest : public VhdTest {
 protected:
  void SetUp() override {
    VhdBuilder base = VhdBuilder::Dynamic(6 * kMiB);
    base.AddBlock(0, Slice(baseData_, 0, 2 * kMiB)).AddBlock(1, Slice(baseData_, 2 * kMiB, 2 * kMiB));
    basePath_ = Write("Base.vhd", base);

    VhdBuilder child = VhdBuilder::Differencing(6 * kMiB, u"C:\\vms\\BASE.VHD");
    child.AddBlock(0, childBlock_).AddBlock(2, PatternBytes(2 * kMiB, 13));
    child.SetPresent(10, 10, false).SetPresent(2 * 4096, 4096, false);
    childPath_ = Write("child.vhd", child);
    ASSERT_EQ(reader_.Open(childPath_), OpenResult::Opened);
  }

  Bytes Base(std::uint64_t sector, std::uint64_t count) const { return Slice(baseData_, sector * 512, count * 512); }
  Bytes Child(std::uint64_t sector, std::uint64_t count) const { return Slice(childBlock_, sector * 512, count * 512); }

  const Bytes baseData_ = [] {
    Bytes bytes = PatternBytes(6 * kMiB, 12);
    std::fill(bytes.begin() + 4 * kMiB, bytes.end(), 0);  // block 2 unallocated in the base
    return bytes;
  }();
  const Bytes childBlock_ = PatternBytes(2 * kMiB, 14);
  fs::path basePath_, childPath_;
  test::ReaderSlot<VhdReader> reader_;
};

TEST_F(VhdDifferencingTest, FindsTheParentBesideTheChildByLeafNameInAnyCase) {
  EXPECT_TRUE(reader_->isDifferencing());
  EXPECT_EQ(reader_->parentName(), u"C:\\vms\\BASE.VHD");
  EXPECT_EQ(reader_->facts().diskTypeText, "Differencing");
  ASSERT_EQ(ResolveVhdParent(reader_, childPath_), ParentOutcome::Ready);
  ASSERT_NE(reader_->parent(), nullptr);
  EXPECT_EQ(reader_->parent()->diskType(), kVhdDynamic);
  // The chain reports the parent as found, not as the child names it.
  EXPECT_EQ(reader_->facts().backingChain, std::vector<std::string>{basePath_.string()});
}

TEST_F(VhdDifferencingTest, MultiSectorReadsTakeEachRunFromChildOrParent) {
  ASSERT_EQ(ResolveVhdParent(reader_, childPath_), ParentOutcome::Ready);

  // Sectors 5-9 child, 10-19 parent, 20-24 child.
  Bytes expected = Child(5, 5);
  const Bytes fromParent = Base(10, 10);
  const Bytes tail = Child(20, 5);
  expected.insert(expected.end(), fromParent.begin(), fromParent.end());
  expected.insert(expected.end(), tail.begin(), tail.end());
  const Read whole = ReadSectors(reader_, 5, 20);
  EXPECT_EQ(whole.result, 1);
  EXPECT_EQ(whole.bytes, expected);
  EXPECT_EQ(ReadRun(reader_, 5, 20).bytes, expected);

  // An allocated block whose bit is clear and an unallocated block both go
  // to the parent.
  EXPECT_EQ(ReadSectors(reader_, 12).bytes, Base(12, 1));
  EXPECT_EQ(ReadSectors(reader_, 4096 + 77).bytes, Base(4096 + 77, 1));

  // Across blocks: child block 0's end, block 1 from the parent, block 2 from
  // the parent, where the base has a hole.
  const Read across = ReadRun(reader_, 4094, 8194);
  EXPECT_EQ(across.result, 1);
  EXPECT_EQ(Slice(across.bytes, 0, 1024), Child(4094, 2));
  EXPECT_EQ(Slice(across.bytes, 1024, 4096 * 512), Base(4096, 4096));
  EXPECT_EQ(Slice(across.bytes, 4098 * 512, 4096 * 512), Bytes(4096 * 512, 0));
}

TEST_F(VhdDifferencingTest, WithoutItsParentTheChildServesOnlyItsOwnSectors) {
  const Read mixed = ReadSectors(reader_, 8, 4);
  EXPECT_EQ(mixed.result, 0);
  EXPECT_EQ(Slice(mixed.bytes, 0, 1024), Child(8, 2));
  EXPECT_EQ(Slice(mixed.bytes, 1024, 1024), Bytes(1024, 0));
  EXPECT_EQ(ReadSectors(reader_, 20).result, 1);
}

TEST_F(VhdDifferencingTest, AllocationFollowsTheBitmapAndTheParent) {
  ASSERT_EQ(ResolveVhdParent(reader_, childPath_), ParentOutcome::Ready);
  const auto at = [&](std::uint64_t sector) { return reader_->allocationAt(sector); };
  EXPECT_TRUE(at(0).allocated);
  EXPECT_EQ(at(0).sectors, 10u);
  EXPECT_TRUE(at(10).allocated);  // the base holds these
  EXPECT_EQ(at(10).sectors, 10u);
  EXPECT_TRUE(at(4096).allocated);
  EXPECT_EQ(at(4096).sectors, 4096u);
  EXPECT_FALSE(at(8192).allocated);  // clear bits over a hole of the base
  EXPECT_EQ(at(8192).sectors, 4096u);
  EXPECT_EQ(at(3 * 4096).sectors, 0u);
}

TEST_F(VhdDifferencingTest, ParentLookupOutcomes) {
  const auto resolveChildNaming = [&](const std::u16string& name) {
    const fs::path path = Write("named.vhd", VhdBuilder::Differencing(6 * kMiB, name));
    test::ReaderSlot<VhdReader> child;
    EXPECT_EQ(child.Open(path), OpenResult::Opened);
    return ResolveVhdParent(child, path);
  };
  EXPECT_EQ(resolveChildNaming(u""), ParentOutcome::NotFound);
  EXPECT_EQ(resolveChildNaming(u"C:\\vms\\gone.vhd"), ParentOutcome::NotFound);
  EXPECT_EQ(resolveChildNaming(u"Base.vhd"), ParentOutcome::Ready);
  EXPECT_EQ(resolveChildNaming(u"..\\elsewhere\\base.VHD"), ParentOutcome::Ready);

  // An absolute path elsewhere is taken as it stands.
  TempDir other;
  fs::copy_file(basePath_, other / "far.vhd");
  EXPECT_EQ(resolveChildNaming(std::u16string((other / "far.vhd").u16string())), ParentOutcome::Ready);

  test::WriteFileBytes(dir_ / "junk.vhd", PatternBytes(8192, 15));
  EXPECT_EQ(resolveChildNaming(u"junk.vhd"), ParentOutcome::Damaged);
  fs::create_directory(dir_ / "folder.vhd");
  EXPECT_EQ(resolveChildNaming(u"folder.vhd"), ParentOutcome::Locked);

  // A 256-unit name fills the field with no terminator after it.
  const std::u16string longName(256, u'n');
  const fs::path path = Write("long.vhd", VhdBuilder::Differencing(6 * kMiB, longName));
  test::ReaderSlot<VhdReader> child;
  ASSERT_EQ(child.Open(path), OpenResult::Opened);
  EXPECT_EQ(child->parentName(), longName);
}

TEST_F(VhdTest, ChainOfThreeLevelsServesEachSectorFromTheNearestHolder) {
  const Bytes grand = PatternBytes(2 * kMiB, 16);
  const Bytes middle = PatternBytes(2 * kMiB, 17);
  const Bytes top = PatternBytes(2 * kMiB, 18);
  VhdBuilder g = VhdBuilder::Dynamic(2 * kMiB);
  g.AddBlock(0, grand);
  Write("grand.vhd", g);
  VhdBuilder m = VhdBuilder::Differencing(2 * kMiB, u"grand.vhd");
  m.AddBlock(0, middle).SetPresent(0, 100, false);
  Write("middle.vhd", m);
  VhdBuilder t = VhdBuilder::Differencing(2 * kMiB, u"middle.vhd");
  t.AddBlock(0, top).SetPresent(0, 200, false);
  const fs::path topPath = Write("top.vhd", t);

  test::ReaderSlot<VhdReader> reader;
  ASSERT_EQ(reader.Open(topPath), OpenResult::Opened);
  ASSERT_EQ(ResolveVhdParent(reader, topPath), ParentOutcome::Ready);
  ASSERT_NE(reader->parent(), nullptr);
  ASSERT_NE(reader->parent()->parent(), nullptr);

  const Read run = ReadRun(reader, 98, 104);
  Bytes expected = Slice(grand, 98 * 512, 2 * 512);
  for (const Bytes& part : {Slice(middle, 100 * 512, 100 * 512), Slice(top, 200 * 512, 2 * 512)}) {
    expected.insert(expected.end(), part.begin(), part.end());
  }
  EXPECT_EQ(run.result, 1);
  EXPECT_EQ(run.bytes, expected);
}

TEST_F(VhdTest, ChainThatLoopsBackIsDamaged) {
  Write("a.vhd", VhdBuilder::Differencing(2 * kMiB, u"b.vhd"));
  Write("b.vhd", VhdBuilder::Differencing(2 * kMiB, u"c.vhd"));
  Write("c.vhd", VhdBuilder::Differencing(2 * kMiB, u"A.VHD"));
  const fs::path self = Write("self.vhd", VhdBuilder::Differencing(2 * kMiB, u"D:\\self.vhd"));

  test::ReaderSlot<VhdReader> reader;
  ASSERT_EQ(reader.Open(dir_ / "a.vhd"), OpenResult::Opened);
  EXPECT_EQ(ResolveVhdParent(reader, dir_ / "a.vhd"), ParentOutcome::Damaged);
  EXPECT_EQ(reader->parent(), nullptr);
  ASSERT_EQ(reader.Open(self), OpenResult::Opened);
  EXPECT_EQ(ResolveVhdParent(reader, self), ParentOutcome::Damaged);

  // A loop through a link to the same file is caught too.
  fs::create_symlink(dir_ / "a.vhd", dir_ / "link.vhd");
  Write("d.vhd", VhdBuilder::Differencing(2 * kMiB, u"link.vhd"));
  ASSERT_EQ(reader.Open(dir_ / "a.vhd"), OpenResult::Opened);
  Write("c.vhd", VhdBuilder::Differencing(2 * kMiB, u"d.vhd"));
  EXPECT_EQ(ResolveVhdParent(reader, dir_ / "a.vhd"), ParentOutcome::Damaged);
}

TEST_F(VhdTest, OverlyLongChainIsDamaged) {
  Write("level0.vhd", VhdBuilder::Dynamic(2 * kMiB));
  for (int level = 1; level <= kVhdMaxChainDepth; ++level) {
    const std::string below = "level" + std::to_string(level - 1) + ".vhd";
    Write("level" + std::to_string(level) + ".vhd",
          VhdBuilder::Differencing(2 * kMiB, std::u16string(below.begin(), below.end())));
  }
  test::ReaderSlot<VhdReader> reader;
  const fs::path longest = dir_ / ("level" + std::to_string(kVhdMaxChainDepth) + ".vhd");
  ASSERT_EQ(reader.Open(longest), OpenResult::Opened);
  EXPECT_EQ(ResolveVhdParent(reader, longest), ParentOutcome::Damaged);
  const fs::path fits = dir_ / ("level" + std::to_string(kVhdMaxChainDepth - 1) + ".vhd");
  ASSERT_EQ(reader.Open(fits), OpenResult::Opened);
  EXPECT_EQ(ResolveVhdParent(reader, fits), ParentOutcome::Ready);
}

// Random runs over disks with small blocks (many block edges), holes, clear
// bitmap bits, blocks placed back to back in the file and a file cut short.
TEST_F(VhdTest, ReadRunEqualsOneReadSectorPerSector) {
  constexpr std::uint32_t kBlock = 4096;  // 8 sectors a block
  constexpr std::uint32_t kBlocks = 64;
  std::mt19937 random(20240611);

  VhdBuilder base = VhdBuilder::Dynamic(std::uint64_t{kBlock} * kBlocks, kBlock);
  VhdBuilder child = VhdBuilder::Differencing(std::uint64_t{kBlock} * kBlocks, u"rbase.vhd", kBlock);
  for (std::uint32_t b = 0; b < kBlocks; ++b) {
    if (random() % 3 != 0) base.AddBlock(b, PatternBytes(kBlock, 100 + b));
    if (random() % 2 != 0) child.AddBlock(b, PatternBytes(kBlock, 200 + b));
  }
  for (std::uint32_t s = 0; s < kBlock / 512 * kBlocks; ++s) {
    if (random() % 4 == 0) {
      try {
        child.SetPresent(s, 1 + random() % 5, false);
      } catch (const std::invalid_argument&) {
      }
    }
  }
  Write("rbase.vhd", base);
  Bytes childFile = child.Build();
  childFile.resize(childFile.size() - 3 * kBlock - 700);  // the last blocks lose their end
  test::WriteFileBytes(dir_ / "rchild.vhd", childFile);

  // Blocks 0-3 of a dynamic disk pointed at one stretch of the file, each
  // block's data straight after the previous one's.
  VhdBuilder packed = VhdBuilder::Dynamic(std::uint64_t{kBlock} * 8, kBlock);
  for (std::uint32_t b = 0; b < 8; ++b) packed.AddBlock(b, PatternBytes(kBlock, 300 + b));
  Bytes packedFile = packed.Build();
  const auto first = static_cast<std::uint32_t>(packed.BlockFileOffset(0) / 512);
  for (std::uint32_t b = 1; b < 4; ++b) StoreU32BE(packedFile, test::kVhdTableOffset + 4 * b, first + 8 * b);
  test::WriteFileBytes(dir_ / "packed.vhd", packedFile);

  for (const char* name : {"rbase.vhd", "rchild.vhd", "packed.vhd"}) {
    SCOPED_TRACE(name);
    test::ReaderSlot<VhdReader> reader;
    ASSERT_EQ(reader.Open(dir_ / name), OpenResult::Opened);
    ASSERT_EQ(ResolveVhdParent(reader, dir_ / name), ParentOutcome::Ready);
    const std::uint64_t sectors = reader->currentSize() / 512 + 20;
    for (int trial = 0; trial < 300; ++trial) {
      const std::uint64_t start = random() % sectors;
      const auto count = static_cast<std::uint32_t>(random() % 40);
      const Read fast = ReadRun(reader, start, count);
      const Read slow = ReadOneByOne(reader, start, count);
      ASSERT_EQ(fast.result, slow.result) << start << "+" << count;
      ASSERT_EQ(fast.bytes, slow.bytes) << start << "+" << count;
    }
  }
}

}  // namespace
}  // namespace korv
