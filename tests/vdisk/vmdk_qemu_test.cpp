// The VMDK reader against qemu-img: every subformat qemu-img writes reads
// back as the raw data it came from, and files our builder makes convert
// through qemu-img to the bytes our reader gives.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
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

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kGiB = 1024 * kMiB;

class VmdkQemuTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!test::HaveQemuImg()) GTEST_SKIP() << "qemu-img is not installed";
  }
  std::string subformat() const { return GetParam(); }
  TempDir dir_;
};

TEST_P(VmdkQemuTest, ImagesOfQemuImgReadAsTheirRawData) {
  const Bytes raw = test::SparsePatternDisk();
  test::WriteFileBytes(dir_ / "disk.raw", raw);
  const fs::path image = dir_ / "disk.vmdk";
  ASSERT_TRUE(test::QemuConvert(dir_ / "disk.raw", image, "vmdk", {"-o", "subformat=" + subformat()}));

  test::ReaderSlot<VmdkReader> reader;
  ASSERT_EQ(reader.Open(image), OpenResult::Opened);
  EXPECT_EQ(reader->diskTypeText(), subformat());
  EXPECT_TRUE(IsAcceptedVmdkType(reader->diskTypeText()));
  const VirtualDiskFacts facts = reader->facts();
  EXPECT_EQ(facts.mediaTypeText, "Virtual File VMDK");
  EXPECT_EQ(facts.diskTypeText, subformat());
  ASSERT_TRUE(facts.geometry.has_value());
  EXPECT_FALSE(facts.geometry->cylinders.empty());
  EXPECT_EQ(facts.geometry->heads, "16");
  EXPECT_EQ(facts.geometry->sectorsPerTrack, "63");

  const std::uint64_t holeSectors = test::ExpectReadsAsRaw(reader, raw);
  // Sparse images leave the two whole 2 MiB stretches of zeros out.
  const bool sparse = subformat().find("Flat") == std::string::npos;
  EXPECT_EQ(holeSectors >= 2 * 4096, sparse);
}

INSTANTIATE_TEST_SUITE_P(Subformats, VmdkQemuTest,
                         ::testing::Values("monolithicSparse", "monolithicFlat", "twoGbMaxExtentSparse",
                                           "twoGbMaxExtentFlat", "streamOptimized"));

// A disk larger than 2 GiB is split into several extent files; runs across
// their boundaries read as the raw disk does. The raw file is sparse, with
// data only around the boundaries.
class VmdkSplitQemuTest : public VmdkQemuTest {};

TEST_P(VmdkSplitQemuTest, RunsCrossExtentFiles) {
  const std::uint64_t size = 4 * kGiB + 3 * kMiB;
  const std::vector<std::uint64_t> dataAt = {0, 2 * kGiB - kMiB, 4 * kGiB - kMiB, 4 * kGiB + 2 * kMiB};
  {
    std::ofstream raw(dir_ / "big.raw", std::ios::binary);
    for (const std::uint64_t at : dataAt) {
      const Bytes chunk = PatternBytes(2 * kMiB > size - at ? size - at : 2 * kMiB, static_cast<std::uint32_t>(at));
      raw.seekp(static_cast<std::streamoff>(at));
      raw.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(chunk.size()));
    }
  }
  fs::resize_file(dir_ / "big.raw", size);
  ASSERT_TRUE(test::QemuConvert(dir_ / "big.raw", dir_ / "big.vmdk", "vmdk", {"-o", "subformat=" + subformat()}));

  test::ReaderSlot<VmdkReader> reader;
  ASSERT_EQ(reader.Open(dir_ / "big.vmdk"), OpenResult::Opened);
  EXPECT_EQ(reader->extentCount(), 3u);
  EXPECT_EQ(reader->capacity(), size / 512);

  std::ifstream raw(dir_ / "big.raw", std::ios::binary);
  for (const std::uint64_t at : dataAt) {
    const std::uint64_t first = at / 512;
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(4096, reader->capacity() - first));
    Bytes expected(std::size_t{count} * 512);
    raw.seekg(static_cast<std::streamoff>(at));
    raw.read(reinterpret_cast<char*>(expected.data()), static_cast<std::streamsize>(expected.size()));
    const test::ReadResult fast = test::ReadRunOf(reader, first, count);
    EXPECT_EQ(fast.result, 1) << at;
    EXPECT_TRUE(fast.bytes == expected) << at;
    const test::ReadResult slow = test::ReadOneByOne(reader, first, count);
    EXPECT_TRUE(fast.bytes == slow.bytes) << at;
  }
  // Most of the disk is a hole, and the scan need not touch it.
  EXPECT_EQ(reader->allocationAt(4 * kMiB / 512).allocated, subformat() == "twoGbMaxExtentFlat");
}

INSTANTIATE_TEST_SUITE_P(Split, VmdkSplitQemuTest, ::testing::Values("twoGbMaxExtentSparse", "twoGbMaxExtentFlat"));

// qemu-img converts files our builder makes to exactly the disk they are
// meant to hold, so the builder's layouts are real VMDK.
TEST(VmdkBuilderQemuTest, QemuImgReadsBuiltFilesAsOurReaderDoes) {
  if (!test::HaveQemuImg()) GTEST_SKIP() << "qemu-img is not installed";
  TempDir dir;
  const std::string descriptor = test::VmdkDescriptorText("monolithicSparse", {"RW 20000 SPARSE \"x.vmdk\""});
  Bytes raw = PatternBytes(20000 * 512, 9);
  std::fill(raw.begin() + 300 * 512, raw.begin() + 9000 * 512, 0);

  std::vector<std::pair<std::string, test::VmdkSparseBuilder>> files;
  files.emplace_back("plain", test::VmdkSparseBuilder::FromRaw(raw, 16, 64));
  files.emplace_back("redundant", test::VmdkSparseBuilder::FromRaw(raw, 16, 64));
  files.back().second.WithRedundantDirectory().SkipEmptyTables();
  files.emplace_back("stream", test::VmdkSparseBuilder::FromRaw(raw, 128, 512));
  files.back().second.StreamOptimized().SkipEmptyTables();
  for (auto& [name, builder] : files) {
    SCOPED_TRACE(name);
    builder.EmbedDescriptor(descriptor);
    const fs::path image = dir / (name + ".vmdk");
    builder.WriteTo(image);
    ASSERT_TRUE(test::RunProgram(
        {"qemu-img", "convert", "-q", "-f", "vmdk", "-O", "raw", image.string(), (dir / "out.raw").string()}));
    const Bytes converted = test::ReadFileBytes(dir / "out.raw");
    EXPECT_TRUE(converted == raw);

    test::ReaderSlot<VmdkReader> reader;
    ASSERT_EQ(reader.Open(image), OpenResult::Opened);
    test::ExpectReadsAsRaw(reader, raw);
  }
}

}  // namespace
}  // namespace korv
