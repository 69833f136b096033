#include "vdisk/vdi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>

#include "fixtures/vdi_builder.h"
#include "support/reader_checks.h"
#include "support/test_support.h"

namespace korv {
namespace {

namespace fs = std::filesystem;
using test::AllZero;
using test::Bytes;
using test::ExpectRunMatchesSectors;
using test::Slice;
using test::PatternBytes;
using test::TempDir;
using test::VdiBuilder;

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kSectorsPerMiB = kMiB / 512;

class VdiTest : public test::BuiltDiskTest {
 protected:
  using BuiltDiskTest::Write;
  fs::path Write(const VdiBuilder& builder) { return Write(builder, "disk.vdi"); }
};

// Blocks land wherever their map entry says in the data area, behind their
// extra bytes; free and zero blocks read as zeros and count as holes.
TEST_F(VdiTest, BlocksAreReadFromTheSlotTheirEntryNames) {
  for (const std::uint32_t extra : {0u, 4096u}) {
    SCOPED_TRACE(extra);
    Bytes raw(9 * kMiB, 0);
    VdiBuilder builder = VdiBuilder::Dynamic(raw.size(), kMiB, extra);
    for (const std::uint32_t block : {5u, 1u, 2u, 0u, 8u, 4u}) {
      const Bytes data = PatternBytes(kMiB, block + 10);
      std::copy(data.begin(), data.end(), raw.begin() + static_cast<std::ptrdiff_t>(block * kMiB));
      builder.AddBlock(block, data);
    }
    builder.SetEntry(6, kVdiBlockZero);  // 3 and 7 stay free
    test::ReaderSlot<VdiReader> reader;
    ASSERT_EQ(reader.Open(Write(builder)), OpenResult::Opened);
    EXPECT_EQ(test::ExpectReadsAsRaw(reader, raw), 3 * kSectorsPerMiB);

    // Block 1 sits in slot 1: its sector 1 is at data offset + 1 × stride +
    // extra + 512.
    const Bytes file = test::ReadFileBytes(dir_ / "disk.vdi");
    const std::uint64_t at = builder.dataOffset() + (kMiB + extra) + extra + 512;
    EXPECT_EQ(test::ReadRunOf(reader, kSectorsPerMiB + 1, 1).bytes, Slice(file, at, 512));
  }
}

TEST_F(VdiTest, FreeAndZeroBlocksReadAsZerosAndSucceed) {
  VdiBuilder builder = VdiBuilder::Dynamic(4 * kMiB);
  builder.AddBlock(0, PatternBytes(kMiB, 1)).SetEntry(1, kVdiBlockZero).AddBlock(3, PatternBytes(kMiB, 3));
  test::ReaderSlot<VdiReader> reader;
  ASSERT_EQ(reader.Open(Write(builder)), OpenResult::Opened);
  for (const std::uint64_t block : {1u, 2u}) {
    const test::ReadResult read = test::ReadRunOf(reader, block * kSectorsPerMiB + 9, 4);
    EXPECT_EQ(read.result, 1);
    EXPECT_TRUE(AllZero(read.bytes));
  }
  EXPECT_EQ(reader->allocationAt(5).allocated, true);
  EXPECT_EQ(reader->allocationAt(5).sectors, kSectorsPerMiB - 5);
  EXPECT_EQ(reader->allocationAt(kSectorsPerMiB).allocated, false);
  EXPECT_EQ(reader->allocationAt(kSectorsPerMiB).sectors, 2 * kSectorsPerMiB);
  EXPECT_EQ(reader->allocationAt(4 * kSectorsPerMiB).sectors, 0u);
}

// A differencing disk's free blocks belong to a parent we never open: they
// fail. Its zero blocks and its own blocks read as usual.
TEST_F(VdiTest, DifferencingDiskFailsOnlyWhereItsParentWouldServe) {
  VdiBuilder builder = VdiBuilder::Differencing(3 * kMiB);
  builder.AddBlock(0, PatternBytes(kMiB, 1)).SetEntry(2, kVdiBlockZero);
  test::ReaderSlot<VdiReader> reader;
  ASSERT_EQ(reader.Open(Write(builder)), OpenResult::Opened);
  EXPECT_TRUE(reader->isDifferencing());
  EXPECT_EQ(test::ReadRunOf(reader, 0, 1).result, 1);
  const test::ReadResult free = test::ReadRunOf(reader, kSectorsPerMiB, 2);
  EXPECT_EQ(free.result, 0);
  EXPECT_TRUE(AllZero(free.bytes));
  EXPECT_EQ(test::ReadRunOf(reader, 2 * kSectorsPerMiB, 1).result, 1);
  EXPECT_TRUE(reader->allocationAt(kSectorsPerMiB).allocated);
  EXPECT_FALSE(reader->allocationAt(2 * kSectorsPerMiB).allocated);
  ExpectRunMatchesSectors(reader, 0, 3 * kSectorsPerMiB);
}

// Map entries that cannot name a slot of the data area, and slots cut off
// by the end of the file, fail; the rest of the disk still reads.
TEST_F(VdiTest, DamagedEntriesAndTruncatedBlocksFail) {
  VdiBuilder builder = VdiBuilder::Dynamic(4 * kMiB);
  builder.AddBlock(0, PatternBytes(kMiB, 1)).AddBlock(1, PatternBytes(kMiB, 2));
  builder.SetEntry(2, 4).SetEntry(3, 0xFFFFFFF0);
  Bytes file = builder.Build();
  file.resize(file.size() - kMiB / 2 - 7);
  test::WriteFileBytes(dir_ / "cut.vdi", file);

  test::ReaderSlot<VdiReader> reader;
  ASSERT_EQ(reader.Open(dir_ / "cut.vdi"), OpenResult::Opened);
  const std::uint64_t lastWhole = kSectorsPerMiB + kSectorsPerMiB / 2 - 2;
  EXPECT_EQ(test::ReadRunOf(reader, lastWhole, 1).result, 1);
  const test::ReadResult cut = test::ReadRunOf(reader, lastWhole + 1, 1);
  EXPECT_EQ(cut.result, 0);
  EXPECT_TRUE(AllZero(cut.bytes));
  EXPECT_EQ(test::ReadRunOf(reader, 2 * kSectorsPerMiB, 1).result, 0);
  EXPECT_EQ(test::ReadRunOf(reader, 3 * kSectorsPerMiB, 1).result, 0);
  ExpectRunMatchesSectors(reader, 0, 4 * kSectorsPerMiB);
  ExpectRunMatchesSectors(reader, lastWhole - 3, 8);
}

// A sector counts only when it lies wholly inside the disk size.
TEST_F(VdiTest, ReadsEndAtTheDiskSize) {
  VdiBuilder builder = VdiBuilder::Fixed(PatternBytes(kMiB + 1024 + 100, 4));
  test::ReaderSlot<VdiReader> reader;
  ASSERT_EQ(reader.Open(Write(builder)), OpenResult::Opened);
  const std::uint64_t lastWhole = (kMiB + 1024) / 512 - 1;
  EXPECT_EQ(test::ReadRunOf(reader, lastWhole, 1).result, 1);
  Bytes out(1024, 0xAA);
  EXPECT_EQ(reader->ReadSector(lastWhole, out), 0);
  EXPECT_TRUE(AllZero(Slice(out, 512, 512)));
  EXPECT_EQ(test::ReadRunOf(reader, lastWhole + 1, 1).result, 0);
  EXPECT_EQ(reader->allocationAt(lastWhole).sectors, 1u);
  EXPECT_EQ(reader->allocationAt(lastWhole + 1).sectors, 0u);
  ExpectRunMatchesSectors(reader, lastWhole - 2, 6);
  ExpectRunMatchesSectors(reader, ~std::uint64_t{0} - 1, 4);  // wraps to sector 0
}

TEST_F(VdiTest, DamagedHeadersAreRefused) {
  struct Case {
    const char* name;
    std::function<void(VdiBuilder&)> change;
    const char* reason;  // the check that refuses the file
  };
  const Case cases[] = {
      {"old version 2", [](VdiBuilder& b) { b.header.version = 2; }, "unsupported header version"},
      {"header size 383", [](VdiBuilder& b) { b.header.headerSize = 383; }, "header size too small"},
      {"block map at 455", [](VdiBuilder& b) { b.header.blockMapOffset = 455; }, "block map inside the header"},
      {"block size 0", [](VdiBuilder& b) { b.header.blockSize = 0; }, "block size out of range"},
      {"block size 3 MiB", [](VdiBuilder& b) { b.header.blockSize = 3 * kMiB; }, "block size out of range"},
      {"block size 256", [](VdiBuilder& b) { b.header.blockSize = 256; }, "block size out of range"},
      {"blocks short of the disk", [](VdiBuilder& b) { b.header.diskSize = 4 * kMiB + 1; }, "blocks do not cover the disk"},
      {"no blocks", [](VdiBuilder& b) { b.header.blocks = 0; }, "blocks do not cover the disk"},
      {"data inside the map", [](VdiBuilder& b) { b.header.dataOffset = test::kVdiBuiltBlockMapOffset + 8; }, "data overlaps the block map"},
      {"map beyond the file",
       [](VdiBuilder& b) {
         b.header.blockMapOffset = 0x7FFFFFF0;
         b.header.dataOffset = 0xFFFFFFFF;
       }, "block map beyond the file"},
      {"map longer than the file",
       [](VdiBuilder& b) {
         b.header.blocks = 1u << 29;
         b.header.dataOffset = 0xFFFFFFFF;
       }, "block map beyond the file"},
  };
  for (const auto& [name, change, reason] : cases) {
    SCOPED_TRACE(name);
    VdiBuilder builder = VdiBuilder::Dynamic(4 * kMiB);
    builder.AddBlock(0, PatternBytes(kMiB, 1));
    change(builder);
    test::ReaderSlot<VdiReader> reader;
    EXPECT_EQ(reader.Open(Write(builder)), OpenResult::Damaged);
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ(reader.reason(), reason);
  }

  // A header cut short, even one that only announces 400 bytes.
  const Bytes file = VdiBuilder::Dynamic(kMiB).Build();
  test::ReaderSlot<VdiReader> reader;
  test::WriteFileBytes(dir_ / "cut.vdi", Slice(file, 0, 200));
  EXPECT_EQ(reader.Open(dir_ / "cut.vdi"), OpenResult::Damaged);
  EXPECT_EQ(reader.reason(), "header cut short");
  test::WriteFileBytes(dir_ / "cut.vdi", Slice(file, 0, 72 + 390));
  EXPECT_EQ(reader.Open(dir_ / "cut.vdi"), OpenResult::Damaged);
  EXPECT_EQ(reader.reason(), "header cut short");
}

TEST_F(VdiTest, OtherFilesAreNotTakenForVdi) {
  test::ReaderSlot<VdiReader> reader;
  VdiBuilder wrongSignature = VdiBuilder::Dynamic(kMiB);
  wrongSignature.signature = 0xBEDA107E;
  EXPECT_EQ(reader.Open(Write(wrongSignature)), OpenResult::NotThisFormat);
  VdiBuilder version2 = VdiBuilder::Dynamic(kMiB);
  version2.header.version = 0x00020000;
  EXPECT_EQ(reader.Open(Write(version2)), OpenResult::NotThisFormat);
  test::WriteFileBytes(dir_ / "short.vdi", Slice(VdiBuilder::Dynamic(kMiB).Build(), 0, 71));
  EXPECT_EQ(reader.Open(dir_ / "short.vdi"), OpenResult::NotThisFormat);
  EXPECT_EQ(reader.Open(dir_ / "missing.vdi"), OpenResult::CannotOpen);
  EXPECT_FALSE(reader.isOpen());
}

TEST_F(VdiTest, OpenStartsFromScratch) {
  VdiBuilder big = VdiBuilder::Dynamic(16 * kMiB);
  big.AddBlock(12, PatternBytes(kMiB, 5));
  test::ReaderSlot<VdiReader> reader;
  ASSERT_EQ(reader.Open(Write(big, "big.vdi")), OpenResult::Opened);
  ASSERT_EQ(reader.Open(Write(VdiBuilder::Dynamic(2 * kMiB), "small.vdi")), OpenResult::Opened);
  EXPECT_EQ(reader->facts().diskSizeBytes, 2 * kMiB);
  EXPECT_EQ(reader->blockMapEntry(12), kVdiBlockFree);
  EXPECT_EQ(test::ReadRunOf(reader, 12 * kSectorsPerMiB, 1).result, 0);

  VdiBuilder damaged = VdiBuilder::Dynamic(kMiB);
  damaged.header.blockSize = 0;
  EXPECT_EQ(reader.Open(Write(damaged, "damaged.vdi")), OpenResult::Damaged);
  EXPECT_FALSE(reader.isOpen());
  EXPECT_EQ(reader.reason(), "block size out of range");
}

// The inventory's model text follows imageFlags: exactly 0x20000 is
// differencing, any other non-zero value fixed, 0 dynamic.
TEST_F(VdiTest, ImageFlagsGiveTheModelText) {
  struct Case {
    VdiBuilder builder;
    std::uint32_t flags;
    const char* model;
  };
  VdiBuilder flagged = VdiBuilder::Dynamic(kMiB);
  flagged.header.flags = 1;
  VdiBuilder flaggedDifferencing = VdiBuilder::Differencing(kMiB);
  flaggedDifferencing.header.flags = 1;
  const Case cases[] = {
      {VdiBuilder::Dynamic(kMiB), 0, "Dynamic"},
      {VdiBuilder::Fixed(PatternBytes(kMiB, 1)), 0x10000, "Fixed"},
      {VdiBuilder::Differencing(kMiB), 0x20000, "Differencing"},
      {flagged, 0x100, "Fixed"},
      {flaggedDifferencing, 0x20100, "Fixed"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    test::ReaderSlot<VdiReader> reader;
    ASSERT_EQ(reader.Open(Write(c.builder)), OpenResult::Opened);
    EXPECT_EQ(reader->imageFlags(), c.flags);
    const VirtualDiskFacts facts = reader->facts();
    EXPECT_EQ(facts.diskTypeText, c.model);
    EXPECT_EQ(facts.mediaTypeText, "Virtual File VDI");
    EXPECT_EQ(facts.diskSizeBytes, kMiB);
    EXPECT_EQ(facts.inventorySizeBytes, kMiB);
    EXPECT_EQ(reader->formatLetter(), 'D');
  }
}

// ---------------------------------------------------------------------------
// Against qemu-img

class VdiQemuTest : public test::QemuImageTest<bool> {};

TEST_P(VdiQemuTest, ImagesOfQemuImgReadAsTheirRawData) {
  const bool fixed = GetParam();
  const Bytes raw = test::SparsePatternDisk();
  test::WriteFileBytes(dir_ / "disk.raw", raw);
  const fs::path image = dir_ / "disk.vdi";
  ASSERT_TRUE(test::QemuConvert(dir_ / "disk.raw", image, "vdi",
                                fixed ? std::vector<std::string>{"-o", "static=on"} : std::vector<std::string>{}));
  test::ReaderSlot<VdiReader> reader;
  ASSERT_EQ(reader.Open(image), OpenResult::Opened);
  EXPECT_EQ(reader->facts().diskTypeText, fixed ? "Fixed" : "Dynamic");
  const std::uint64_t holeSectors = test::ExpectReadsAsRaw(reader, raw);
  // qemu-img leaves the whole blocks of zeros out of a dynamic image.
  EXPECT_EQ(holeSectors >= 4 * kSectorsPerMiB, !fixed);
}

INSTANTIATE_TEST_SUITE_P(Kinds, VdiQemuTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Fixed" : "Dynamic"; });

TEST(VdiBuilderQemuTest, QemuImgReadsBuiltDisksAsOurReaderDoes) {
  if (!test::HaveQemuImg()) GTEST_SKIP() << "qemu-img is not installed";
  TempDir dir;
  VdiBuilder builder = VdiBuilder::Dynamic(6 * kMiB);
  builder.AddBlock(4, PatternBytes(kMiB, 1)).AddBlock(0, PatternBytes(kMiB, 2)).SetEntry(2, kVdiBlockZero);
  builder.WriteTo(dir / "built.vdi");
  ASSERT_TRUE(test::RunProgram({"qemu-img", "convert", "-q", "-f", "vdi", "-O", "raw", (dir / "built.vdi").string(),
                                (dir / "out.raw").string()}));
  const Bytes converted = test::ReadFileBytes(dir / "out.raw");
  test::ReaderSlot<VdiReader> reader;
  ASSERT_EQ(reader.Open(dir / "built.vdi"), OpenResult::Opened);
  ASSERT_EQ(converted.size(), reader->diskSize());
  test::ExpectReadsAsRaw(reader, converted);
}

}  // namespace
}  // namespace korv
