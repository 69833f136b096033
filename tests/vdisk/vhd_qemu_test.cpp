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
#include "support/test_support.h"
#include "vdisk/vhd.h"

namespace korv {
namespace {

namespace fs = std::filesystem;
using test::PatternBytes;
using test::TempDir;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint64_t kMiB = 1024 * 1024;

// Runs a program with its arguments (no shell); true when it exits with 0.
bool RunProgram(std::vector<std::string> arguments) {
  std::vector<char*> argv;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    // Quiet: only the exit status counts.
    const int devNull = ::open("/dev/null", O_WRONLY);
    if (devNull >= 0) ::dup2(devNull, STDOUT_FILENO);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool HaveQemuImg() { return RunProgram({"qemu-img", "--version"}); }

// Pattern data with holes: whole 2 MiB blocks of zeros (left unallocated by
// qemu-img), a partly zero block and a size that is no multiple of a block.
Bytes RawDiskData() {
  Bytes data = PatternBytes(13 * kMiB + 5 * 512, 42);
  const auto zero = [&](std::uint64_t from, std::uint64_t length) {
    std::fill(data.begin() + static_cast<std::ptrdiff_t>(from),
              data.begin() + static_cast<std::ptrdiff_t>(from + length), 0);
  };
  zero(4 * kMiB, 2 * kMiB);
  zero(8 * kMiB + 4096, 300 * 1024);
  zero(10 * kMiB, 2 * kMiB);
  return data;
}

struct Read {
  int result;
  Bytes bytes;
};

Read ReadRunOf(VhdReader& reader, std::uint64_t sector, std::uint32_t count) {
  Read read{0, Bytes(std::size_t{count} * 512, 0xAA)};
  read.result = reader.ReadRun(sector, count, read.bytes);
  return read;
}

Read OneByOne(VhdReader& reader, std::uint64_t sector, std::uint32_t count) {
  Read read{0, Bytes(std::size_t{count} * 512, 0xAA)};
  for (std::uint32_t i = 0; i < count; ++i) {
    read.result = reader.ReadSector(sector + i, std::span(read.bytes).subspan(std::size_t{i} * 512, 512));
  }
  return read;
}

class VhdQemuTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!HaveQemuImg()) GTEST_SKIP() << "qemu-img is not installed";
  }
  TempDir dir_;
};

// The raw data, padded with zeros to the size the image declares (qemu-img
// rounds a disk up to whole cylinders).
TEST_P(VhdQemuTest, ImagesOfQemuImgReadAsTheirRawData) {
  Bytes raw = RawDiskData();
  test::WriteFileBytes(dir_ / "disk.raw", raw);
  const fs::path image = dir_ / "disk.vhd";
  ASSERT_TRUE(RunProgram({"qemu-img", "convert", "-q", "-f", "raw", "-O", "vpc", "-o",
                          std::string("subformat=") + GetParam(), (dir_ / "disk.raw").string(), image.string()}));

  VhdReader reader;
  ASSERT_EQ(reader.Open(image), OpenResult::Opened);
  EXPECT_EQ(reader.isFixed(), std::string(GetParam()) == "fixed");
  ASSERT_GE(reader.currentSize(), raw.size());
  raw.resize(reader.currentSize(), 0);
  const std::uint64_t sectors = raw.size() / 512;

  const Read whole = ReadRunOf(reader, 0, static_cast<std::uint32_t>(sectors));
  EXPECT_EQ(whole.result, 1);
  EXPECT_TRUE(whole.bytes == raw);

  std::mt19937 random(7);
  for (int trial = 0; trial < 400; ++trial) {
    const std::uint64_t start = random() % (sectors + 50);
    const auto count = static_cast<std::uint32_t>(1 + random() % (trial % 4 == 0 ? 9000 : 64));
    const Read fast = ReadRunOf(reader, start, count);
    const Read slow = OneByOne(reader, start, count);
    ASSERT_EQ(fast.result, slow.result) << start << "+" << count;
    ASSERT_TRUE(fast.bytes == slow.bytes) << start << "+" << count;
    for (std::uint64_t i = 0; i < count && start + i < sectors; ++i) {
      ASSERT_TRUE(std::equal(raw.begin() + static_cast<std::ptrdiff_t>((start + i) * 512),
                             raw.begin() + static_cast<std::ptrdiff_t>((start + i + 1) * 512),
                             fast.bytes.begin() + static_cast<std::ptrdiff_t>(i * 512)))
          << "sector " << start + i;
    }
  }

  // Scans may skip what the image does not hold: only zeros lie there.
  std::uint64_t holeSectors = 0;
  for (std::uint64_t sector = 0; sector < sectors;) {
    const AllocationRun run = reader.allocationAt(sector);
    ASSERT_GT(run.sectors, 0u);
    if (!run.allocated) {
      holeSectors += run.sectors;
      const auto from = raw.begin() + static_cast<std::ptrdiff_t>(sector * 512);
      const auto to = raw.begin() + static_cast<std::ptrdiff_t>(std::min(sector + run.sectors, sectors) * 512);
      EXPECT_TRUE(std::all_of(from, to, [](std::uint8_t b) { return b == 0; })) << "hole at " << sector;
    }
    sector += run.sectors;
  }
  // qemu-img leaves the two whole blocks of zeros out of a dynamic image.
  EXPECT_EQ(holeSectors >= 2 * 4096, !reader.isFixed());
}

INSTANTIATE_TEST_SUITE_P(Subformats, VhdQemuTest, ::testing::Values("dynamic", "fixed"));

// qemu-img converts a disk our builder made to exactly what our reader reads.
TEST(VhdBuilderQemuTest, QemuImgReadsBuiltDisksAsOurReaderDoes) {
  if (!HaveQemuImg()) GTEST_SKIP() << "qemu-img is not installed";
  TempDir dir;
  test::VhdBuilder dynamic = test::VhdBuilder::Dynamic(10 * kMiB);
  dynamic.AddBlock(3, PatternBytes(2 * kMiB, 1)).AddBlock(0, PatternBytes(2 * kMiB, 2));
  dynamic.AddBlock(4, PatternBytes(kMiB, 3));
  dynamic.WriteTo(dir / "built.vhd");
  test::VhdBuilder::Fixed(PatternBytes(3 * kMiB + 512, 4)).WriteTo(dir / "fixed.vhd");

  for (const char* name : {"built.vhd", "fixed.vhd"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(RunProgram({"qemu-img", "convert", "-q", "-f", "vpc", "-O", "raw", (dir / name).string(),
                            (dir / "out.raw").string()}));
    const Bytes converted = test::ReadFileBytes(dir / "out.raw");
    VhdReader reader;
    ASSERT_EQ(reader.Open(dir / name), OpenResult::Opened);
    ASSERT_EQ(converted.size(), reader.currentSize());
    const Read whole = ReadRunOf(reader, 0, static_cast<std::uint32_t>(converted.size() / 512));
    EXPECT_EQ(whole.result, 1);
    EXPECT_TRUE(whole.bytes == converted);
  }
}

}  // namespace
}  // namespace korv
