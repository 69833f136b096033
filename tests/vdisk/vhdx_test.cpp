#include "vdisk/vhdx.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>

#include "fixtures/vhdx_builder.h"
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
using test::VhdxBuilder;
using test::VhdxTableEntry;

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kSectorsPerMiB = kMiB / 512;

// ReadRun and one ReadSector per sector agree over [first, first + count).
class VhdxTest : public test::BuiltDiskTest {
 protected:
  using BuiltDiskTest::Write;
  fs::path Write(const VhdxBuilder& builder) { return Write(builder, "disk.vhdx"); }
};

// A disk whose blocks lie out of order in the file, with holes between
// them, reads as the data written, whether 512-byte sectors are asked for
// one at a time or in runs across blocks.
TEST_F(VhdxTest, BlocksInAnyFileOrderReadAsTheirData) {
  for (const std::uint32_t logical : {512u, 4096u}) {
    SCOPED_TRACE(logical);
    Bytes raw(10 * kMiB, 0);
    VhdxBuilder builder(raw.size(), 2 * kMiB, logical);
    for (const std::uint64_t block : {3u, 0u, 1u, 4u}) {
      const Bytes data = PatternBytes(2 * kMiB, static_cast<std::uint32_t>(block + logical));
      std::copy(data.begin(), data.end(), raw.begin() + static_cast<std::ptrdiff_t>(block * 2 * kMiB));
      builder.AddBlock(block, data);
    }
    test::ReaderSlot<VhdxReader> reader;
    ASSERT_EQ(reader.Open(Write(builder)), OpenResult::Opened);
    EXPECT_EQ(reader->logicalSectorSize(), logical);
    EXPECT_EQ(reader->diskSectors(), raw.size() / logical);
    EXPECT_EQ(test::ExpectReadsAsRaw(reader, raw), 2 * kMiB / 512);  // block 2 is a hole
  }
}

// States 0, 1, 2, 3 and 5 read as zeros and succeed; 4 and 7 fail with
// zeros, never the caller's stale bytes; only 6 is read from the file.
TEST_F(VhdxTest, EachBlockStateReadsAsItShould) {
  VhdxBuilder builder(8 * kMiB);
  builder.AddBlock(0, PatternBytes(kMiB, 1));
  builder.AddBlock(5, PatternBytes(kMiB, 2)).SetState(5, kVhdxBlockPartiallyPresent);
  builder.AddBlock(7, PatternBytes(kMiB, 3));
  builder.SetState(1, kVhdxBlockUndefined).SetState(2, kVhdxBlockZero).SetState(3, kVhdxBlockUnmapped);
  builder.SetState(4, 4).SetState(6, 5);
  test::ReaderSlot<VhdxReader> reader;
  ASSERT_EQ(reader.Open(Write(builder)), OpenResult::Opened);

  const int expected[8] = {1, 1, 1, 1, 0, 0, 1, 1};
  for (std::uint64_t block = 0; block < 8; ++block) {
    SCOPED_TRACE(block);
    const test::ReadResult read = test::ReadRunOf(reader, block * kSectorsPerMiB + 7, 3);
    EXPECT_EQ(read.result, expected[block]);
    if (block == 0 || block == 7) {
      EXPECT_EQ(read.bytes, Slice(PatternBytes(kMiB, block == 0 ? 1 : 3), 7 * 512, 3 * 512));
    } else {
      EXPECT_TRUE(AllZero(read.bytes));
    }
  }
  // Holes are the zero-reading states; failing blocks count as allocated so
  // that a scan meets their failure.
  EXPECT_EQ(reader->allocationAt(0).allocated, true);
  EXPECT_EQ(reader->allocationAt(0).sectors, kSectorsPerMiB);
  EXPECT_EQ(reader->allocationAt(kSectorsPerMiB + 5).allocated, false);
  EXPECT_EQ(reader->allocationAt(kSectorsPerMiB + 5).sectors, 3 * kSectorsPerMiB - 5);
  EXPECT_EQ(reader->allocationAt(4 * kSectorsPerMiB).allocated, true);
  EXPECT_EQ(reader->allocationAt(4 * kSectorsPerMiB).sectors, 2 * kSectorsPerMiB);
  EXPECT_EQ(reader->allocationAt(8 * kSectorsPerMiB).sectors, 0u);

  // A run across every state gives what sector-by-sector reads give.
  ExpectRunMatchesSectors(reader, 0, 8 * kSectorsPerMiB);
  ExpectRunMatchesSectors(reader, 3 * kSectorsPerMiB - 2, 4);   // ends on a zero block
  ExpectRunMatchesSectors(reader, 5 * kSectorsPerMiB - 2, 4);   // ends on a failing block
  ExpectRunMatchesSectors(reader, 8 * kSectorsPerMiB - 2, 10);  // runs past the end
}

// After every chunkRatio payload entries the BAT holds one sector-bitmap
// entry, which payload blocks skip.
TEST_F(VhdxTest, PayloadEntriesSkipTheSectorBitmapEntries) {
  VhdxBuilder geometry(10 * 1024 * kMiB, 32 * kMiB);
  geometry.AddBlock(128, PatternBytes(4096, 9));
  test::ReaderSlot<VhdxReader> reader;
  ASSERT_EQ(reader.Open(Write(geometry)), OpenResult::Opened);
  EXPECT_EQ(reader->sectorsPerBlock(), 65536u);
  EXPECT_EQ(reader->chunkRatio(), 128u);
  EXPECT_EQ(reader->batEntryCount(), 322u);
  EXPECT_EQ(reader->batIndexOf(128), 129u);
  const test::ReadResult read = test::ReadRunOf(reader, 8388608, 8);
  EXPECT_EQ(read.result, 1);
  EXPECT_EQ(read.bytes, PatternBytes(4096, 9));
  EXPECT_TRUE(AllZero(test::ReadRunOf(reader, 8388608 - 8, 8).bytes));

  // With 4,096-byte logical sectors a chunk covers eight times as many blocks.
  VhdxBuilder wide(5 * 1024 * kMiB, 32 * kMiB, 4096);
  ASSERT_EQ(reader.Open(Write(wide, "wide.vhdx")), OpenResult::Opened);
  EXPECT_EQ(reader->chunkRatio(), 1024u);
  EXPECT_EQ(reader->batEntryCount(), 160u);
}

TEST_F(VhdxTest, ReadsAtOrPastTheDiskEndFailWithZeros) {
  // 4,096-byte logical sectors: the last 512-byte sector is the last eighth
  // of the last logical sector.
  const Bytes data = PatternBytes(kMiB, 5);
  VhdxBuilder builder(kMiB + 4096, kMiB, 4096);
  builder.AddBlock(0, data).AddBlock(1, PatternBytes(kMiB, 6));
  test::ReaderSlot<VhdxReader> reader;
  ASSERT_EQ(reader.Open(Write(builder)), OpenResult::Opened);
  EXPECT_EQ(reader->diskSectors(), 257u);
  const std::uint64_t end = (kMiB + 4096) / 512;
  const test::ReadResult last = test::ReadRunOf(reader, end - 1, 1);
  EXPECT_EQ(last.result, 1);
  EXPECT_EQ(last.bytes, Slice(PatternBytes(kMiB, 6), 3584, 512));

  Bytes out(1024, 0xAA);
  EXPECT_EQ(reader->ReadSector(end - 1, out), 0);  // its second sector lies past the end
  EXPECT_EQ(Slice(out, 0, 512), last.bytes);
  EXPECT_TRUE(AllZero(Slice(out, 512, 512)));
  EXPECT_EQ(test::ReadRunOf(reader, end, 1).result, 0);
  EXPECT_TRUE(AllZero(test::ReadRunOf(reader, end + 100, 3).bytes));
  EXPECT_EQ(reader->allocationAt(end).sectors, 0u);
  ExpectRunMatchesSectors(reader, end - 3, 6);
  ExpectRunMatchesSectors(reader, ~std::uint64_t{0} - 2, 5);  // wraps to sector 0
}

// A file cut short inside a block: the sectors still there read, the rest
// fail, and runs agree with sector-by-sector reads.
TEST_F(VhdxTest, TruncatedFileServesWhatRemains) {
  VhdxBuilder builder(4 * kMiB);
  builder.AddBlock(0, PatternBytes(kMiB, 1)).AddBlock(1, PatternBytes(kMiB, 2));
  Bytes file = builder.Build();
  file.resize(file.size() - kMiB / 2 - 100);
  test::WriteFileBytes(dir_ / "cut.vhdx", file);

  test::ReaderSlot<VhdxReader> reader;
  ASSERT_EQ(reader.Open(dir_ / "cut.vhdx"), OpenResult::Opened);
  const std::uint64_t lastWhole = kSectorsPerMiB + kSectorsPerMiB / 2 - 2;
  EXPECT_EQ(test::ReadRunOf(reader, lastWhole, 1).result, 1);
  EXPECT_EQ(test::ReadRunOf(reader, lastWhole + 1, 1).result, 0);
  ExpectRunMatchesSectors(reader, 0, 4 * kSectorsPerMiB);
  ExpectRunMatchesSectors(reader, lastWhole - 5, 10);
}

TEST_F(VhdxTest, TheValidHeaderWithTheHigherSequenceIsUsed) {
  struct Case {
    const char* name;
    std::function<void(VhdxBuilder&)> change;
    OpenResult result;
    std::uint64_t sequence;
  };
  const Case cases[] = {
      {"5 and 6", [](VhdxBuilder& b) { b.header1.sequence = 5; b.header2.sequence = 6; }, OpenResult::Opened, 6},
      {"6 and 5", [](VhdxBuilder& b) { b.header1.sequence = 6; b.header2.sequence = 5; }, OpenResult::Opened, 6},
      {"only 1", [](VhdxBuilder& b) { b.header2.valid = false; }, OpenResult::Opened, 1},
      {"only 2", [](VhdxBuilder& b) { b.header1.version = 2; }, OpenResult::Opened, 2},
      {"same", [](VhdxBuilder& b) { b.header2.sequence = 1; }, OpenResult::Opened, 1},
      {"same number, other content",
       [](VhdxBuilder& b) {
         b.header2.sequence = 1;
         b.header2.fileWriteGuidByte = 0x77;
       },
       OpenResult::Damaged, 0},
      {"neither",
       [](VhdxBuilder& b) {
         b.header1.valid = false;
         b.header2.version = 0;
       },
       OpenResult::Damaged, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    VhdxBuilder builder(2 * kMiB);
    c.change(builder);
    test::ReaderSlot<VhdxReader> reader;
    EXPECT_EQ(reader.Open(Write(builder)), c.result);
    EXPECT_EQ(reader.isOpen(), c.result == OpenResult::Opened);
    if (reader.isOpen()) {
      EXPECT_EQ(reader->headerSequence(), c.sequence);
    } else {
      EXPECT_EQ(reader.reason(), "no sound header");
    }
  }
}

// Every fault in the region table and metadata refuses the file as
// damaged, naming the part that failed.
TEST_F(VhdxTest, DamagedTablesAndValuesAreRefused) {
  const VhdxGuid other = MakeVhdxGuid(0x12345678, 1, 2, 3);
  const auto manyEntries = [&](std::vector<VhdxTableEntry>& entries, std::size_t total) {
    while (entries.size() < total) entries.push_back({other, 0, 0, 0});
  };
  const auto item = [](VhdxBuilder& b, const VhdxGuid& guid) -> VhdxTableEntry& {
    return *std::find_if(b.metadataEntries.begin(), b.metadataEntries.end(),
                         [&](const VhdxTableEntry& e) { return e.guid == guid; });
  };
  struct Case {
    const char* name;
    std::function<void(VhdxBuilder&)> change;
    const char* reason;  // the check that refuses the file
  };
  const Case cases[] = {
      {"region signature", [](VhdxBuilder& b) { b.regionSignature = false; }, "region table damaged"},
      {"2048 regions", [&](VhdxBuilder& b) { manyEntries(b.regions, 2048); }, "region table damaged"},
      {"second BAT region", [](VhdxBuilder& b) { b.regions.push_back(b.regions[0]); }, "region table damaged"},
      {"unknown required region", [&](VhdxBuilder& b) { b.regions.push_back({other, 0, 0, 1}); }, "region table damaged"},
      {"no metadata region", [](VhdxBuilder& b) { b.regions.pop_back(); }, "region table damaged"},
      {"no BAT region", [](VhdxBuilder& b) { b.regions.erase(b.regions.begin()); }, "region table damaged"},
      {"metadata beyond the file", [](VhdxBuilder& b) { b.regions[1].offset = 1ull << 40; }, "metadata table damaged"},
      {"metadata signature", [](VhdxBuilder& b) { b.metadataSignature = false; }, "metadata table damaged"},
      {"2048 metadata items", [&](VhdxBuilder& b) { manyEntries(b.metadataEntries, 2048); }, "metadata table damaged"},
      {"item twice", [](VhdxBuilder& b) { b.metadataEntries.push_back(b.metadataEntries[1]); }, "metadata table damaged"},
      {"parent locator", [](VhdxBuilder& b) { b.metadataEntries.push_back({kVhdxParentLocator, 0x10000, 8, 0}); }, "metadata table damaged"},
      {"unknown required item", [&](VhdxBuilder& b) { b.metadataEntries.push_back({other, 0x10000, 8, 4}); }, "metadata table damaged"},
      {"no logical sector size", [](VhdxBuilder& b) { b.metadataEntries.erase(b.metadataEntries.begin() + 3); }, "metadata table damaged"},
      {"no disk ID", [](VhdxBuilder& b) { b.metadataEntries.erase(b.metadataEntries.begin() + 2); }, "metadata table damaged"},
      {"disk size item too short", [&](VhdxBuilder& b) { item(b, kVhdxVirtualDiskSize).length = 4; }, "metadata table damaged"},
      {"item beyond its region", [&](VhdxBuilder& b) { item(b, kVhdxPhysicalSectorSize).offset = kMiB - 2; }, "metadata table damaged"},
      {"has a parent", [](VhdxBuilder& b) { b.parameterFlags = 2; }, "differencing disk"},
      {"block size 512 KiB", [](VhdxBuilder& b) { b.blockSizeField = 512 * 1024; }, "block size out of range"},
      {"block size 512 MiB", [](VhdxBuilder& b) { b.blockSizeField = 512 * kMiB; }, "block size out of range"},
      {"block size 3 MiB", [](VhdxBuilder& b) { b.blockSizeField = 3 * kMiB; }, "block size out of range"},
      {"logical sector 1024", [](VhdxBuilder& b) { b.logicalSectorField = 1024; }, "logical sector size not 512 or 4096"},
      {"logical sector 0", [](VhdxBuilder& b) { b.logicalSectorField = 0; }, "logical sector size not 512 or 4096"},
      {"BAT region too short", [](VhdxBuilder& b) { b.regions[0].length = 8; }, "block table beyond the file"},
      {"BAT beyond the file", [](VhdxBuilder& b) { b.regions[0].offset = 1ull << 40; }, "block table beyond the file"},
      {"absurd disk size", [](VhdxBuilder& b) { b.diskSizeField = 1ull << 62; }, "block table beyond the file"},
      {"largest disk size", [](VhdxBuilder& b) { b.diskSizeField = ~0ull; }, "block table beyond the file"},
  };
  for (const auto& [name, change, reason] : cases) {
    SCOPED_TRACE(name);
    VhdxBuilder builder(4 * kMiB);
    builder.AddBlock(0, PatternBytes(kMiB, 1));
    change(builder);
    test::ReaderSlot<VhdxReader> reader;
    EXPECT_EQ(reader.Open(Write(builder)), OpenResult::Damaged);
    EXPECT_FALSE(reader.isOpen());
    EXPECT_EQ(reader.reason(), reason);
  }
}

TEST_F(VhdxTest, EntriesItDoesNotNeedAreIgnored) {
  VhdxBuilder builder(4 * kMiB);
  builder.AddBlock(2, PatternBytes(kMiB, 4));
  const VhdxGuid other = MakeVhdxGuid(0x0BADF00D, 7, 7, 7);
  builder.regions.insert(builder.regions.begin(), {other, 1ull << 50, 12, 0});
  builder.metadataEntries.insert(builder.metadataEntries.begin(), {other, 0xFFFFFFF0, 99, 3});
  test::ReaderSlot<VhdxReader> reader;
  ASSERT_EQ(reader.Open(Write(builder)), OpenResult::Opened);
  EXPECT_EQ(test::ReadRunOf(reader, 2 * kSectorsPerMiB, 1).bytes, Slice(PatternBytes(kMiB, 4), 0, 512));
}

TEST_F(VhdxTest, OtherFilesAreNotTakenForVhdx) {
  VhdxBuilder builder(2 * kMiB);
  builder.identifier = false;
  test::ReaderSlot<VhdxReader> reader;
  EXPECT_EQ(reader.Open(Write(builder)), OpenResult::NotThisFormat);
  test::WriteFileBytes(dir_ / "short", Bytes{'v', 'h', 'd', 'x'});
  EXPECT_EQ(reader.Open(dir_ / "short"), OpenResult::NotThisFormat);
  EXPECT_EQ(reader.Open(dir_ / "missing.vhdx"), OpenResult::CannotOpen);

  // The identifier alone, without headers behind it, is a damaged VHDX.
  test::WriteFileBytes(dir_ / "cut.vhdx", Slice(VhdxBuilder(2 * kMiB).Build(), 0, 0x18000));
  EXPECT_EQ(reader.Open(dir_ / "cut.vhdx"), OpenResult::Damaged);
  EXPECT_FALSE(reader.isOpen());
}

// Reopening forgets the previous disk entirely, whatever the new file is.
TEST_F(VhdxTest, OpenStartsFromScratch) {
  VhdxBuilder big(64 * kMiB, 8 * kMiB);
  big.AddBlock(7, PatternBytes(kMiB, 3));
  VhdxBuilder small(kMiB + 4096, kMiB, 4096);
  test::ReaderSlot<VhdxReader> reader;
  ASSERT_EQ(reader.Open(Write(big, "big.vhdx")), OpenResult::Opened);
  ASSERT_EQ(reader.Open(Write(small, "small.vhdx")), OpenResult::Opened);
  EXPECT_EQ(reader->facts().diskSizeBytes, kMiB + 4096);
  EXPECT_EQ(reader->blockSize(), kMiB);
  EXPECT_EQ(reader->batEntryCount(), 2u);
  EXPECT_EQ(test::ReadRunOf(reader, 7 * 8 * kSectorsPerMiB, 1).result, 0);

  test::WriteFileBytes(dir_ / "junk", PatternBytes(4096, 1));
  EXPECT_EQ(reader.Open(dir_ / "junk"), OpenResult::NotThisFormat);
  EXPECT_FALSE(reader.isOpen());
  EXPECT_EQ(reader.reason(), "no VHDX file identifier");
}

// A size that is not whole logical sectors: the disk is the whole sectors,
// and the allocation map covers every one of them.
TEST_F(VhdxTest, SizeCutInsideALogicalSectorServesTheWholeSectors) {
  test::ReaderSlot<VhdxReader> reader;
  ASSERT_EQ(reader.Open(Write(VhdxBuilder(kMiB - 512, kMiB, 4096))), OpenResult::Opened);
  EXPECT_EQ(reader->facts().diskSizeBytes, kMiB - 4096);
  EXPECT_EQ(reader->facts().inventorySizeBytes, kMiB - 512);
  const std::uint64_t sectors = reader->facts().diskSizeBytes / 512;
  for (std::uint64_t at = 0; at < sectors;) {
    const std::uint64_t run = reader->allocationAt(at).sectors;
    ASSERT_GT(run, 0u) << at;
    at += run;
  }
}

TEST_F(VhdxTest, FactsForTheInventory) {
  test::ReaderSlot<VhdxReader> reader;
  ASSERT_EQ(reader.Open(Write(VhdxBuilder(3 * kMiB + 512))), OpenResult::Opened);
  const VirtualDiskFacts facts = reader->facts();
  EXPECT_EQ(reader->formatLetter(), 'X');
  EXPECT_EQ(facts.diskSizeBytes, 3 * kMiB + 512);
  EXPECT_EQ(facts.inventorySizeBytes, 3 * kMiB + 512);
  EXPECT_EQ(facts.mediaTypeText, "Virtual File VHDX");
  EXPECT_EQ(facts.diskTypeText, "HYPER-V");
  EXPECT_FALSE(facts.geometry.has_value());
}

// ---------------------------------------------------------------------------
// Against qemu-img

class VhdxQemuTest : public test::QemuImageTest<const char*> {};

TEST_P(VhdxQemuTest, ImagesOfQemuImgReadAsTheirRawData) {
  const Bytes raw = test::SparsePatternDisk();
  test::WriteFileBytes(dir_ / "disk.raw", raw);
  const fs::path image = dir_ / "disk.vhdx";
  ASSERT_TRUE(test::QemuConvert(dir_ / "disk.raw", image, "vhdx", {"-o", GetParam()}));

  test::ReaderSlot<VhdxReader> reader;
  ASSERT_EQ(reader.Open(image), OpenResult::Opened);
  const std::uint64_t holeSectors = test::ExpectReadsAsRaw(reader, raw);
  // With 1 MiB blocks, qemu-img leaves the whole blocks of zeros out.
  if (std::string(GetParam()) == "subformat=dynamic,block_size=1M") {
    EXPECT_GE(holeSectors, 4u * kSectorsPerMiB);
  }
}

INSTANTIATE_TEST_SUITE_P(Subformats, VhdxQemuTest,
                         ::testing::Values("subformat=dynamic,block_size=1M", "subformat=dynamic",
                                           "subformat=fixed", "subformat=fixed,block_size=8M,log_size=2M"));

// qemu-img converts disks our builder made, 4,096-byte logical sectors
// included, to exactly what our reader reads.
TEST(VhdxBuilderQemuTest, QemuImgReadsBuiltDisksAsOurReaderDoes) {
  if (!test::HaveQemuImg()) GTEST_SKIP() << "qemu-img is not installed";
  TempDir dir;
  for (const std::uint32_t logical : {512u, 4096u}) {
    SCOPED_TRACE(logical);
    VhdxBuilder builder(6 * kMiB + 8192, kMiB, logical);
    builder.AddBlock(3, PatternBytes(kMiB, 1)).AddBlock(0, PatternBytes(kMiB, 2)).AddBlock(6, PatternBytes(8192, 3));
    builder.SetState(1, kVhdxBlockZero);
    builder.WriteTo(dir / "built.vhdx");
    ASSERT_TRUE(test::RunProgram({"qemu-img", "convert", "-q", "-f", "vhdx", "-O", "raw", (dir / "built.vhdx").string(),
                                  (dir / "out.raw").string()}));
    const Bytes converted = test::ReadFileBytes(dir / "out.raw");
    test::ReaderSlot<VhdxReader> reader;
    ASSERT_EQ(reader.Open(dir / "built.vhdx"), OpenResult::Opened);
    ASSERT_EQ(converted.size(), reader->virtualDiskSize());
    test::ExpectReadsAsRaw(reader, converted);
  }
}

}  // namespace
}  // namespace korv
