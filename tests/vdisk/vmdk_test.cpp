// The VMDK reader on files our builder makes: descriptors and their extents,
// sparse and stream-optimised files, bare flat extents, and every way Open
// refuses a damaged file.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "fixtures/vmdk_builder.h"
#include "support/reader_checks.h"
#include "support/test_support.h"
#include "vdisk/vmdk.h"

namespace korv {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::PatternBytes;
using test::TempDir;
using test::VmdkDescriptorText;
using test::VmdkSparseBuilder;

constexpr std::uint64_t kSector = 512;

Bytes AsBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

void WriteText(const fs::path& path, const std::string& text) { test::WriteFileBytes(path, AsBytes(text)); }

// A small disk with data and a hole in its middle half.
Bytes SmallDisk(std::uint64_t sectors, std::uint32_t seed) {
  Bytes raw = PatternBytes(sectors * kSector, seed);
  std::fill(raw.begin() + static_cast<std::ptrdiff_t>(sectors / 4 * kSector),
            raw.begin() + static_cast<std::ptrdiff_t>(sectors * 3 / 4 * kSector), 0);
  return raw;
}

std::string MonolithicDescriptor(std::uint64_t sectors) {
  return VmdkDescriptorText("monolithicSparse", {"RW " + std::to_string(sectors) + " SPARSE \"disk.vmdk\""});
}

struct Opened {
  OpenResult result;
  std::string text;    // the disk type text; empty when no reader opened
  std::string reason;  // the check that failed
};

Opened OpenOf(const fs::path& path) {
  test::ReaderSlot<VmdkReader> reader;
  const OpenResult result = reader.Open(path);
  return {result, reader.isOpen() ? reader->diskTypeText() : std::string(), reader.reason()};
}

// ---------------------------------------------------------------------------
// Descriptors

TEST(VmdkDescriptorTest, TakesTextsAndExtentsFromTheLinesThatBeginWithTheirKeys) {
  const std::string text = VmdkDescriptorText("twoGbMaxExtentFlat",
                                               {"RW 4192256 FLAT \"my disk-f001.vmdk\" 0",
                                                "  RDONLY 100 VMFS \"dir\\other.vmdk\" 7", "NOACCESS 50 ZERO",
                                                "RWX 1 FLAT \"not-an-extent.vmdk\""},
                                               /*crlf=*/true);
  const VmdkDescriptor descriptor = ParseVmdkDescriptor(AsBytes(text));
  EXPECT_EQ(descriptor.createType, "twoGbMaxExtentFlat");
  EXPECT_EQ(descriptor.cylinders, "6");
  EXPECT_EQ(descriptor.heads, "16");
  EXPECT_EQ(descriptor.sectorsPerTrack, "63");
  ASSERT_EQ(descriptor.extents.size(), 3u);
  EXPECT_EQ(descriptor.extents[0].sectors(), 4192256u);
  EXPECT_EQ(descriptor.extents[0].fileName, "my disk-f001.vmdk");
  EXPECT_EQ(descriptor.extents[0].kind(), VmdkExtentKind::Flat);
  EXPECT_EQ(descriptor.extents[1].access, "RDONLY");
  EXPECT_EQ(descriptor.extents[1].fileName, "dir\\other.vmdk");
  EXPECT_EQ(descriptor.extents[1].offset, 7u);
  EXPECT_EQ(descriptor.extents[2].kind(), VmdkExtentKind::Zero);
  EXPECT_TRUE(descriptor.extents[2].fileName.empty());
}

TEST(VmdkDescriptorTest, TextEndsAtTheFourthZeroByte) {
  Bytes bytes = AsBytes("# Disk DescriptorFile\ncreateType=\"mono");
  bytes.insert(bytes.end(), {0, 0, 0});  // dropped: the text goes on
  const Bytes more = AsBytes("lithicSparse\"\nRW 10 SPARSE \"a.vmdk\"\n");
  bytes.insert(bytes.end(), more.begin(), more.end());
  bytes.push_back(0);
  const Bytes after = AsBytes("RW 20 SPARSE \"b.vmdk\"\n");
  bytes.insert(bytes.end(), after.begin(), after.end());

  const VmdkDescriptor descriptor = ParseVmdkDescriptor(bytes);
  EXPECT_EQ(descriptor.createType, "monolithicSparse");
  ASSERT_EQ(descriptor.extents.size(), 1u);
  EXPECT_EQ(descriptor.extents[0].fileName, "a.vmdk");
}

TEST(VmdkDescriptorTest, ExtentSizesThatAreNoNumbersCountAsZero) {
  VmdkExtentLine line;
  for (const char* text : {"", "12a", "-5", "99999999999999999999999"}) {
    line.sizeText = text;
    EXPECT_EQ(line.sectors(), 0u) << text;
  }
}

// ---------------------------------------------------------------------------
// Descriptor files with extents

TEST(VmdkExtentTest, ExtentsFollowEachOtherOnTheDisk) {
  TempDir dir;
  // Three 4,192,256-sector flat extents (sparse files on the host).
  std::vector<std::string> lines;
  for (int i = 1; i <= 3; ++i) {
    const std::string name = "disk-f00" + std::to_string(i) + ".vmdk";
    test::WriteFileBytes(dir / name, PatternBytes(kSector, static_cast<std::uint32_t>(i)));
    fs::resize_file(dir / name, 4192256 * kSector);
    lines.push_back("RW 4192256 FLAT \"" + name + "\" 0");
  }
  WriteText(dir / "disk.vmdk", VmdkDescriptorText("twoGbMaxExtentFlat", lines));

  test::ReaderSlot<VmdkReader> reader;
  ASSERT_EQ(reader.Open(dir / "disk.vmdk"), OpenResult::Opened);
  EXPECT_EQ(reader->diskTypeText(), "twoGbMaxExtentFlat");
  EXPECT_EQ(reader->capacity(), 12576768u);
  EXPECT_EQ(reader->facts().diskSizeBytes, 12576768u * kSector);
  const test::ReadResult second = test::ReadRunOf(reader, 4192256, 1);
  EXPECT_EQ(second.result, 1);
  EXPECT_TRUE(second.bytes == PatternBytes(kSector, 2));
  // A run across the boundary takes the end of one file and the start of the next.
  const test::ReadResult across = test::ReadRunOf(reader, 2 * 4192256 - 1, 2);
  EXPECT_EQ(across.result, 1);
  EXPECT_TRUE(std::equal(across.bytes.begin() + kSector, across.bytes.end(), PatternBytes(kSector, 3).begin()));
}

// Sparse, zero and flat extents (with an offset into its file) in one disk,
// named with Windows separators and in another case than on the host.
TEST(VmdkExtentTest, MixedExtentsReadAsTheirData) {
  TempDir dir;
  const Bytes sparsePart = SmallDisk(1000, 1);
  VmdkSparseBuilder::FromRaw(sparsePart, 16, 8).WriteTo(dir / "disk-s001.vmdk");
  const Bytes flatPart = PatternBytes(300 * kSector, 2);
  Bytes flatFile = PatternBytes(5 * kSector, 3);
  flatFile.insert(flatFile.end(), flatPart.begin(), flatPart.end());
  fs::create_directory(dir / "sub");
  test::WriteFileBytes(dir / "sub" / "disk-f002.vmdk", flatFile);
  WriteText(dir / "disk.vmdk", VmdkDescriptorText("twoGbMaxExtentSparse", {"RW 1000 SPARSE \"DISK-S001.VMDK\"",
                                                                          "RW 700 ZERO",
                                                                          "RW 300 FLAT \"sub\\disk-f002.vmdk\" 5"}));

  Bytes raw = sparsePart;
  raw.resize(1700 * kSector, 0);
  raw.insert(raw.end(), flatPart.begin(), flatPart.end());
  test::ReaderSlot<VmdkReader> reader;
  ASSERT_EQ(reader.Open(dir / "disk.vmdk"), OpenResult::Opened);
  EXPECT_EQ(reader->extentCount(), 3u);
  EXPECT_GE(test::ExpectReadsAsRaw(reader, raw), 700u);
  EXPECT_EQ(reader->allocationAt(1000).allocated, false);
  EXPECT_EQ(reader->allocationAt(1000).sectors, 700u);
}

TEST(VmdkExtentTest, DescriptorsThatCannotBeReadAreDamaged) {
  TempDir dir;
  test::WriteFileBytes(dir / "flat.vmdk", PatternBytes(100 * kSector, 1));
  const auto open = [&](const std::string& type, const std::vector<std::string>& lines) {
    WriteText(dir / "disk.vmdk", VmdkDescriptorText(type, lines));
    return OpenOf(dir / "disk.vmdk");
  };
  const auto damagedText = [](Opened opened, const std::string& reason) {
    return opened.result == OpenResult::Opened && opened.text == "Damaged" && opened.reason == reason;
  };
  EXPECT_TRUE(damagedText(open("monolithicFlat", {}), "no extents"));
  EXPECT_TRUE(damagedText(open("monolithicFlat", {"RW 0 FLAT \"flat.vmdk\" 0"}), "an extent of size 0"));
  EXPECT_TRUE(damagedText(open("monolithicFlat", {"RW 100 FLAT \"missing.vmdk\" 0"}), "first extent not found"));
  EXPECT_TRUE(damagedText(open("monolithicFlat", {"RW 100 FLAT"}), "an extent without a file name"));
  const std::string quarterOfAllSectors = "RW 18014398509481984 FLAT \"flat.vmdk\" 0";
  EXPECT_TRUE(damagedText(open("twoGbMaxExtentFlat", {quarterOfAllSectors, quarterOfAllSectors}),
                          "extents larger than any disk"));
  // An extent kind this reader cannot serve is no valid file for it.
  const Opened vmfs = open("vmfs", {"RW 100 VMFSSPARSE \"flat.vmdk\""});
  EXPECT_EQ(vmfs.result, OpenResult::Damaged);
  EXPECT_EQ(vmfs.reason, "unsupported extent kind");
  // The first sparse extent is checked at open.
  test::WriteFileBytes(dir / "bad-s001.vmdk", PatternBytes(4 * kSector, 3));
  EXPECT_TRUE(damagedText(open("twoGbMaxExtentSparse", {"RW 100 SPARSE \"bad-s001.vmdk\""}),
                          "first extent is not sparse"));
  VmdkSparseBuilder zeroGrain(100, 16, 8);
  zeroGrain.damage.grainSize = 0;
  zeroGrain.WriteTo(dir / "zero-s001.vmdk");
  const Opened zero = open("twoGbMaxExtentSparse", {"RW 100 SPARSE \"zero-s001.vmdk\""});
  EXPECT_EQ(zero.result, OpenResult::Damaged);
  EXPECT_EQ(zero.reason, "grain or table size beyond reason");
}

TEST(VmdkExtentTest, OtherDiskTypesAreNamedButNotRead) {
  TempDir dir;
  test::WriteFileBytes(dir / "flat.vmdk", PatternBytes(100 * kSector, 1));
  WriteText(dir / "disk.vmdk", VmdkDescriptorText("vmfsSparse", {"RW 100 FLAT \"flat.vmdk\" 0"}));
  test::ReaderSlot<VmdkReader> reader;
  ASSERT_EQ(reader.Open(dir / "disk.vmdk"), OpenResult::Opened);
  EXPECT_EQ(reader->diskTypeText(), "vmfsSparse");
  EXPECT_FALSE(IsAcceptedVmdkType(reader->diskTypeText()));
  const test::ReadResult read = test::ReadRunOf(reader, 0, 4);
  EXPECT_EQ(read.result, 0);
  EXPECT_TRUE(read.bytes == Bytes(4 * kSector, 0));
}

// A later extent is checked when it is first read: a missing or damaged one
// fails its own sectors only.
TEST(VmdkExtentTest, BadLaterExtentsFailOnlyTheirOwnSectors) {
  TempDir dir;
  const Bytes first = SmallDisk(256, 1);
  VmdkSparseBuilder::FromRaw(first, 16, 8).WriteTo(dir / "d-s001.vmdk");
  VmdkSparseBuilder zeroTables = VmdkSparseBuilder::FromRaw(SmallDisk(256, 2), 16, 8);
  zeroTables.damage.tableEntries = 0;
  zeroTables.WriteTo(dir / "d-s002.vmdk");
  WriteText(dir / "d.vmdk", VmdkDescriptorText("twoGbMaxExtentSparse", {"RW 256 SPARSE \"d-s001.vmdk\"",
                                                                       "RW 256 SPARSE \"d-s002.vmdk\"",
                                                                       "RW 256 SPARSE \"d-s003.vmdk\""}));
  test::ReaderSlot<VmdkReader> reader;
  ASSERT_EQ(reader.Open(dir / "d.vmdk"), OpenResult::Opened);
  const test::ReadResult whole = test::ReadRunOf(reader, 0, 768);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), whole.bytes.begin()));
  EXPECT_TRUE(std::all_of(whole.bytes.begin() + 256 * kSector, whole.bytes.end(), [](auto b) { return b == 0; }));
  EXPECT_EQ(whole.result, 0);
  EXPECT_EQ(test::ReadRunOf(reader, 100, 1).result, 1);
  EXPECT_EQ(test::ReadRunOf(reader, 300, 1).result, 0);
  EXPECT_EQ(test::ReadRunOf(reader, 600, 1).result, 0);
  const test::ReadResult slow = test::ReadOneByOne(reader, 0, 768);
  EXPECT_TRUE(slow.bytes == whole.bytes);
  EXPECT_EQ(slow.result, whole.result);
}

// ---------------------------------------------------------------------------
// Sparse files with an embedded descriptor

class VmdkSparseTest : public ::testing::Test {
 protected:
  fs::path Write(const VmdkSparseBuilder& builder, const std::string& name = "disk.vmdk") {
    builder.WriteTo(dir_ / name);
    return dir_ / name;
  }
  static VmdkSparseBuilder Monolithic(const Bytes& raw, std::uint32_t grain = 16, std::uint32_t entries = 8) {
    VmdkSparseBuilder builder = VmdkSparseBuilder::FromRaw(raw, grain, entries);
    builder.EmbedDescriptor(MonolithicDescriptor(raw.size() / kSector));
    return builder;
  }
  TempDir dir_;
};

TEST_F(VmdkSparseTest, GrainMappingFollowsDirectoryAndTables) {
  // Grain size 128 and 512 entries: sector 100,000 lies in table 1, entry
  // 269, 32 sectors into its grain.
  VmdkSparseBuilder builder(200000, 128, 512);
  builder.EmbedDescriptor(MonolithicDescriptor(200000)).SetGrain(512 + 269, PatternBytes(128 * kSector, 5));
  test::ReaderSlot<VmdkReader> reader;
  ASSERT_EQ(reader.Open(Write(builder)), OpenResult::Opened);
  EXPECT_EQ(reader->diskTypeText(), "monolithicSparse");
  const test::ReadResult read = test::ReadRunOf(reader, 100000, 1);
  EXPECT_EQ(read.result, 1);
  const Bytes grain = PatternBytes(128 * kSector, 5);
  EXPECT_TRUE(std::equal(read.bytes.begin(), read.bytes.end(), grain.begin() + 32 * kSector));
}

// Grains stored out of order: a run across a grain boundary takes each part
// from its own grain's place.
TEST_F(VmdkSparseTest, RunsAcrossGrainsReadEachGrainFromItsOwnPlace) {
  const Bytes raw = PatternBytes(64 * kSector, 6);
  VmdkSparseBuilder builder(64, 16, 8);
  builder.EmbedDescriptor(MonolithicDescriptor(64));
  for (const std::uint64_t grain : {3, 1, 0, 2}) {
    builder.SetGrain(grain, Bytes(raw.begin() + static_cast<std::ptrdiff_t>(grain * 16 * kSector),
                                  raw.begin() + static_cast<std::ptrdiff_t>((grain + 1) * 16 * kSector)));
  }
  test::ReaderSlot<VmdkReader> reader;
  ASSERT_EQ(reader.Open(Write(builder)), OpenResult::Opened);
  const test::ReadResult run = test::ReadRunOf(reader, 12, 8);
  EXPECT_EQ(run.result, 1);
  EXPECT_TRUE(std::equal(run.bytes.begin(), run.bytes.end(), raw.begin() + 12 * kSector));
  test::ExpectReadsAsRaw(reader, raw);
}

TEST_F(VmdkSparseTest, LayoutsReadAsTheirRawData) {
  const Bytes raw = SmallDisk(1001, 7);  // no whole number of grains
  struct Case {
    const char* name;
    VmdkSparseBuilder builder;
  };
  std::vector<Case> cases = {{"plain", Monolithic(raw)}, {"redundant", Monolithic(raw)},
                             {"skipped tables", Monolithic(raw)}, {"stream, directory at end", Monolithic(raw)},
                             {"stream, directory in front", Monolithic(raw)}};
  cases[1].builder.WithRedundantDirectory();
  cases[2].builder.SkipEmptyTables();
  cases[3].builder.StreamOptimized(true).SkipEmptyTables();
  cases[4].builder.StreamOptimized(false).WithRedundantDirectory();
  for (auto& [name, builder] : cases) {
    SCOPED_TRACE(name);
    test::ReaderSlot<VmdkReader> reader;
    ASSERT_EQ(reader.Open(Write(builder)), OpenResult::Opened);
    EXPECT_EQ(reader->capacity(), 1001u);
    EXPECT_GE(test::ExpectReadsAsRaw(reader, raw), 128u);
  }
}

TEST_F(VmdkSparseTest, ZeroedGrainsReadAsUnallocatedZeros) {
  const Bytes raw = SmallDisk(64, 8);
  VmdkSparseBuilder builder = Monolithic(raw);
  builder.SetZeroedGrain(1);
  Bytes expected = raw;
  std::fill(expected.begin() + 16 * kSector, expected.begin() + 32 * kSector, 0);
  test::ReaderSlot<VmdkReader> reader;
  ASSERT_EQ(reader.Open(Write(builder)), OpenResult::Opened);
  EXPECT_EQ(reader->allocationAt(16).allocated, false);
  test::ExpectReadsAsRaw(reader, expected);
}

// A grain whose deflated data is garbage fails its own sectors, with zeros.
TEST_F(VmdkSparseTest, BrokenCompressedGrainFailsOnlyItself) {
  const Bytes raw = PatternBytes(64 * kSector, 9);
  VmdkSparseBuilder builder = Monolithic(raw);
  builder.StreamOptimized();
  builder.damage.brokenGrain = 2;
  test::ReaderSlot<VmdkReader> reader;
  ASSERT_EQ(reader.Open(Write(builder)), OpenResult::Opened);
  const test::ReadResult run = test::ReadRunOf(reader, 0, 64);
  const test::ReadResult slow = test::ReadOneByOne(reader, 0, 64);
  EXPECT_TRUE(run.bytes == slow.bytes);
  EXPECT_EQ(run.result, 1);  // the last sector lies in a sound grain
  EXPECT_TRUE(std::equal(raw.begin(), raw.begin() + 32 * kSector, run.bytes.begin()));
  EXPECT_TRUE(std::all_of(run.bytes.begin() + 32 * kSector, run.bytes.begin() + 48 * kSector,
                          [](auto b) { return b == 0; }));
  EXPECT_EQ(test::ReadRunOf(reader, 40, 1).result, 0);
  Bytes sector(kSector, 0xAA);
  EXPECT_EQ(reader->ReadSector(30, std::span(sector).subspan(0, kSector)), 1);
}

// A file cut short: the grains past its end fail, and runs give what single
// sectors give.
TEST_F(VmdkSparseTest, TruncatedFileFailsTheGrainsItLost) {
  const Bytes raw = PatternBytes(256 * kSector, 10);
  const fs::path path = Write(Monolithic(raw));
  fs::resize_file(path, fs::file_size(path) - 20 * kSector);
  test::ReaderSlot<VmdkReader> reader;
  ASSERT_EQ(reader.Open(path), OpenResult::Opened);
  const test::ReadResult run = test::ReadRunOf(reader, 0, 256);
  const test::ReadResult slow = test::ReadOneByOne(reader, 0, 256);
  EXPECT_EQ(run.result, 0);
  EXPECT_EQ(slow.result, 0);
  EXPECT_TRUE(run.bytes == slow.bytes);
  EXPECT_TRUE(std::equal(raw.begin(), raw.begin() + 236 * kSector, run.bytes.begin()));
  EXPECT_TRUE(std::all_of(run.bytes.begin() + 236 * kSector, run.bytes.end(), [](auto b) { return b == 0; }));
}

TEST_F(VmdkSparseTest, SectorsAtOrPastTheCapacityReadAsZerosAndFail) {
  const Bytes raw = PatternBytes(64 * kSector, 11);
  test::ReaderSlot<VmdkReader> reader;
  ASSERT_EQ(reader.Open(Write(Monolithic(raw))), OpenResult::Opened);
  const test::ReadResult past = test::ReadRunOf(reader, 62, 4);
  EXPECT_EQ(past.result, 0);
  EXPECT_TRUE(std::equal(raw.end() - 2 * kSector, raw.end(), past.bytes.begin()));
  EXPECT_TRUE(std::all_of(past.bytes.begin() + 2 * kSector, past.bytes.end(), [](auto b) { return b == 0; }));
  EXPECT_EQ(test::ReadRunOf(reader, ~std::uint64_t{0}, 3).result, 1);  // wraps to sectors 0 and 1
  EXPECT_EQ(reader->allocationAt(64).sectors, 0u);
}

TEST_F(VmdkSparseTest, DirectoryChoice) {
  const Bytes raw = SmallDisk(256, 12);
  // A redundant directory offset of 0 leaves the primary one.
  VmdkSparseBuilder noRedundant = Monolithic(raw);
  noRedundant.WithRedundantDirectory().damage.redundantDirectory = 0;
  EXPECT_EQ(OpenOf(Write(noRedundant)).text, "monolithicSparse");
  // A redundant directory that is blank, or lies past the end, leaves the
  // primary one too.
  VmdkSparseBuilder blankRedundant = Monolithic(raw);
  blankRedundant.WithRedundantDirectory().damage.blankRedundantDirectory = true;
  test::ReaderSlot<VmdkReader> blank;
  ASSERT_EQ(blank.Open(Write(blankRedundant)), OpenResult::Opened);
  EXPECT_EQ(blank->diskTypeText(), "monolithicSparse");
  test::ExpectReadsAsRaw(blank, raw);
  VmdkSparseBuilder redundantPastEnd = Monolithic(raw);
  redundantPastEnd.damage.redundantDirectory = 200000;
  EXPECT_EQ(OpenOf(Write(redundantPastEnd)).text, "monolithicSparse");
  // A primary directory whose first entry is 0 is taken for blank, except
  // in a stream, which writes only the tables that hold grains.
  for (const bool stream : {false, true}) {
    VmdkSparseBuilder firstTableEmpty(256, 16, 8);
    firstTableEmpty.EmbedDescriptor(MonolithicDescriptor(256)).SkipEmptyTables().SetGrain(9, PatternBytes(100, 1));
    if (stream) firstTableEmpty.StreamOptimized();
    EXPECT_EQ(OpenOf(Write(firstTableEmpty)).text, stream ? "monolithicSparse" : "Damaged");
  }
  // Neither offset: no directory to read.
  VmdkSparseBuilder neither = Monolithic(raw);
  neither.damage.directory = 0;
  neither.damage.redundantDirectory = 0;
  const Opened none = OpenOf(Write(neither));
  EXPECT_EQ(none.result, OpenResult::Opened);
  EXPECT_EQ(none.text, "Damaged");
}

TEST_F(VmdkSparseTest, DamagedHeaders) {
  const Bytes raw = SmallDisk(256, 13);
  const auto damaged = [&](auto change) {
    VmdkSparseBuilder builder = Monolithic(raw);
    change(builder);
    return OpenOf(Write(builder));
  };
  const auto isRefused = [](Opened opened) {
    return opened.result == OpenResult::Damaged && opened.text.empty() &&
           opened.reason == "grain or table size beyond reason";
  };
  const auto isDamagedText = [](Opened opened, const std::string& reason = "no usable grain directory") {
    return opened.result == OpenResult::Opened && opened.text == "Damaged" && opened.reason == reason;
  };
  EXPECT_TRUE(isRefused(damaged([](auto& b) { b.damage.grainSize = 0; })));
  EXPECT_TRUE(isRefused(damaged([](auto& b) { b.damage.tableEntries = 0; })));
  EXPECT_TRUE(isRefused(damaged([](auto& b) { b.damage.grainSize = std::uint64_t{1} << 40; })));
  EXPECT_TRUE(isRefused(damaged([](auto& b) { b.damage.tableEntries = 0xFFFFFFFFu; })));
  EXPECT_TRUE(isRefused(damaged([](auto& b) { b.damage.capacity = ~std::uint64_t{0}; })));
  EXPECT_TRUE(isRefused(damaged([](auto& b) {
    b.StreamOptimized();
    b.damage.compressAlgorithm = 2;
  })));
  // A huge disk in a tiny file: its directory cannot lie inside the file.
  EXPECT_TRUE(isDamagedText(damaged([](auto& b) { b.damage.capacity = std::uint64_t{1} << 28; })));
  // ... and one whose directory would need more memory than any real disk is refused.
  EXPECT_TRUE(isRefused(damaged([](auto& b) { b.damage.capacity = std::uint64_t{1} << 40; })));
  EXPECT_TRUE(isDamagedText(damaged([](auto& b) { b.damage.directory = 1u << 30; })));
  EXPECT_TRUE(isDamagedText(damaged([](auto& b) { b.damage.descriptorOffset = 1u << 30; }),
                            "descriptor beyond the file"));
  EXPECT_TRUE(isDamagedText(damaged([](auto& b) {
    b.StreamOptimized();
    b.damage.noFooter = true;
  })));
  // A descriptor said to run past the end is read up to the end.
  EXPECT_EQ(damaged([](auto& b) { b.damage.descriptorSize = 1u << 30; }).text, "monolithicSparse");
  // Without an embedded descriptor the file is one extent of a larger disk.
  EXPECT_EQ(damaged([](auto& b) { b.damage.descriptorOffset = 0; }).result, OpenResult::NotThisFormat);
}

TEST_F(VmdkSparseTest, ShortHeaderIsNotThisFormat) {
  test::WriteFileBytes(dir_ / "short.vmdk", AsBytes("KDMV\x01"));
  EXPECT_EQ(OpenOf(dir_ / "short.vmdk").result, OpenResult::NotThisFormat);
}

// ---------------------------------------------------------------------------
// Bare flat extents, missing files, reopening

// Without a name, only bytes that start as a disk does (55 AA ending the
// first sector) pass: a text file is no flat extent.
TEST(VmdkBareFlatTest, UnknownBytesAreAFlatExtentOnlyUnderAVmdkNameOrWithADiskSignature) {
  TempDir dir;
  Bytes data = PatternBytes(40 * kSector + 100, 14);
  test::WriteFileBytes(dir / "passwd", data);
  EXPECT_EQ(OpenOf(dir / "passwd").result, OpenResult::Damaged);
  data[510] = 0x55;
  data[511] = 0xAA;
  for (const char* name : {"raw.vmdk", "RAW.VMDK", "raw"}) {
    SCOPED_TRACE(name);
    test::WriteFileBytes(dir / name, data);
    test::ReaderSlot<VmdkReader> reader;
    ASSERT_EQ(reader.Open(dir / name), OpenResult::Opened);
    EXPECT_EQ(reader->diskTypeText(), "flat");
    EXPECT_EQ(reader->capacity(), 40u);
    test::ExpectReadsAsRaw(reader, Bytes(data.begin(), data.begin() + 40 * kSector));
  }
  test::WriteFileBytes(dir / "raw.img", data);
  EXPECT_EQ(OpenOf(dir / "raw.img").result, OpenResult::Damaged);
  test::WriteFileBytes(dir / "tiny.vmdk", Bytes(100, 1));
  EXPECT_EQ(OpenOf(dir / "tiny.vmdk").result, OpenResult::Damaged);
}

TEST(VmdkReopenTest, EveryOpenStartsAfresh) {
  TempDir dir;
  test::WriteFileBytes(dir / "flat.vmdk", PatternBytes(100 * kSector, 1));
  WriteText(dir / "disk.vmdk", VmdkDescriptorText("monolithicFlat", {"RW 100 FLAT \"flat.vmdk\" 0"}));
  test::WriteFileBytes(dir / "bare.vmdk", PatternBytes(10 * kSector, 2));

  test::ReaderSlot<VmdkReader> reader;
  ASSERT_EQ(reader.Open(dir / "disk.vmdk"), OpenResult::Opened);
  EXPECT_EQ(reader->cylindersText(), "6");
  ASSERT_EQ(reader.Open(dir / "bare.vmdk"), OpenResult::Opened);
  EXPECT_EQ(reader->diskTypeText(), "flat");
  EXPECT_EQ(reader->capacity(), 10u);
  EXPECT_EQ(reader->extentCount(), 1u);
  EXPECT_TRUE(reader->cylindersText().empty());
  EXPECT_TRUE(reader->headsText().empty());

  EXPECT_EQ(reader.Open(dir / "missing.vmdk"), OpenResult::CannotOpen);
  EXPECT_FALSE(reader.isOpen());
  EXPECT_EQ(reader.reason(), kReasonCannotOpenFile);
}

}  // namespace
}  // namespace korv
