// The VHD reader against qemu-img: images qemu-img makes are read back as
// the raw data they came from, and disks our builder makes are converted by
// qemu-img to the bytes our reader gives.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "fixtures/vhd_builder.h"
#include "support/reader_checks.h"
#include "support/test_support.h"
#include "vdisk/vhd.h"

namespace korv {
namespace {

namespace fs = std::filesystem;
using test::PatternBytes;
using test::TempDir;
using test::Bytes;

constexpr std::uint64_t kMiB = 1024 * 1024;

class VhdQemuTest : public test::QemuImageTest<const char*> {};

// The raw data, padded with zeros to the size the image declares (qemu-img
// rounds a disk up to whole cylinders).
TEST_P(VhdQemuTest, ImagesOfQemuImgReadAsTheirRawData) {
  const Bytes raw = test::SparsePatternDisk();
  test::WriteFileBytes(dir_ / "disk.raw", raw);
  const fs::path image = dir_ / "disk.vhd";
  ASSERT_TRUE(test::QemuConvert(dir_ / "disk.raw", image, "vpc", {"-o", std::string("subformat=") + GetParam()}));

  test::ReaderSlot<VhdReader> reader;
  ASSERT_EQ(reader.Open(image), OpenResult::Opened);
  EXPECT_EQ(reader->isFixed(), std::string(GetParam()) == "fixed");
  const std::uint64_t holeSectors = test::ExpectReadsAsRaw(reader, raw);
  // qemu-img leaves the two whole blocks of zeros out of a dynamic image.
  EXPECT_EQ(holeSectors >= 2 * 4096, !reader->isFixed());
  // Its data and holes can all be looked at in place.
  const auto shown = test::LookRunOf(reader, 0, static_cast<std::uint32_t>(raw.size() / 512));
  ASSERT_TRUE(shown.has_value());
  EXPECT_TRUE(*shown == raw);
}

INSTANTIATE_TEST_SUITE_P(Subformats, VhdQemuTest, ::testing::Values("dynamic", "fixed"));

// qemu-img converts a disk our builder made to exactly what our reader reads.
TEST(VhdBuilderQemuTest, QemuImgReadsBuiltDisksAsOurReaderDoes) {
  if (!test::HaveQemuImg()) GTEST_SKIP() << "qemu-img is not installed";
  TempDir dir;
  test::VhdBuilder dynamic = test::VhdBuilder::Dynamic(10 * kMiB);
  dynamic.AddBlock(3, PatternBytes(2 * kMiB, 1)).AddBlock(0, PatternBytes(2 * kMiB, 2));
  dynamic.AddBlock(4, PatternBytes(kMiB, 3));
  dynamic.WriteTo(dir / "built.vhd");
  test::VhdBuilder::Fixed(PatternBytes(3 * kMiB + 512, 4)).WriteTo(dir / "fixed.vhd");

  for (const char* name : {"built.vhd", "fixed.vhd"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(test::RunProgram({"qemu-img", "convert", "-q", "-f", "vpc", "-O", "raw", (dir / name).string(),
                            (dir / "out.raw").string()}));
    const Bytes converted = test::ReadFileBytes(dir / "out.raw");
    test::ReaderSlot<VhdReader> reader;
    ASSERT_EQ(reader.Open(dir / name), OpenResult::Opened);
    ASSERT_EQ(converted.size(), reader->currentSize());
    const test::ReadResult whole = test::ReadRunOf(reader, 0, static_cast<std::uint32_t>(converted.size() / 512));
    EXPECT_EQ(whole.result, 1);
    EXPECT_TRUE(whole.bytes == converted);
  }
}

}  // namespace
}  // namespace korv
