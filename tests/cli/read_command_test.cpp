// korvane-cli read, end to end on the real test disks.
#include <gtest/gtest.h>

#include "support/test_support.h"
#include "vdisk/selection.h"

namespace korv {
namespace {

namespace fs = std::filesystem;

std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& bytes, std::uint64_t first, std::uint64_t count) {
  return {bytes.begin() + first * 512, bytes.begin() + (first + count) * 512};
}

class ReadCommandTest : public ::testing::Test {
 protected:
  fs::path disks = test::TestDisksDir();
  test::TempDir dir;
};

TEST_F(ReadCommandTest, GivesTheSameSectorsAsTheRawDiskForEveryVhdKind) {
  const auto raw = test::ReadFileBytes(disks / "basic.raw");
  ASSERT_GT(raw.size(), 4096u * 512);
  // The MBR, the first sectors of each volume, and a stretch across a 2 MiB
  // block boundary of the dynamic disk.
  const std::vector<std::pair<std::uint64_t, std::uint64_t>> runs = {{0, 1}, {2040, 100}, {4090, 20}, {8100, 300}};
  for (const char* image : {"basic-fixed.vhd", "basic-dynamic.vhd"}) {
    for (const auto& [first, count] : runs) {
      const auto out = dir / "out.bin";
      const test::CliRun run = test::RunCli({"read", (disks / image).string(), "--first", std::to_string(first), "--count",
                              std::to_string(count), "--output", out.string()},
                             dir.path());
      ASSERT_EQ(run.status, 0) << image << " " << run.err;
      EXPECT_EQ(test::ReadFileBytes(out), Slice(raw, first, count)) << image << " at " << first;
    }
  }
}

TEST_F(ReadCommandTest, RefusesWhatItCannotReadInTheSystemsWords) {
  test::WriteFileBytes(dir / "plain.bin", std::vector<std::uint8_t>(4096, 7));
  test::CliRun run = test::RunCli({"read", (dir / "plain.bin").string(), "--first", "0", "--count", "1"}, dir.path());
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find(kMsgSelectValidFile), std::string::npos) << run.err;

  run = test::RunCli({"read", (dir / "missing.vhd").string(), "--first", "0", "--count", "1"}, dir.path());
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find(kMsgFileMissing), std::string::npos) << run.err;

  run = test::RunCli({"read", (disks / "basic-dynamic.vhd").string(), "--first", "x", "--count", "1"}, dir.path());
  EXPECT_EQ(run.status, 2);
}

TEST_F(ReadCommandTest, NeverWritesOverTheDiskItReads) {
  fs::copy_file(disks / "basic-fixed.vhd", dir / "disk.vhd");
  const auto before = test::ReadFileBytes(dir / "disk.vhd");
  const test::CliRun run = test::RunCli({"read", (dir / "disk.vhd").string(), "--first", "0", "--count", "1", "--output",
                          (dir / "disk.vhd").string()},
                         dir.path());
  EXPECT_EQ(run.status, 2);
  EXPECT_EQ(test::ReadFileBytes(dir / "disk.vhd"), before);
}

TEST_F(ReadCommandTest, ReadPastTheDiskEndIsZerosAndIncomplete) {
  const auto size = fs::file_size(disks / "basic-fixed.vhd");
  const auto lastSector = size / 512 - 1;  // the footer's position: not disk data
  const auto out = dir / "out.bin";
  const test::CliRun run = test::RunCli({"read", (disks / "basic-fixed.vhd").string(), "--first", std::to_string(lastSector),
                          "--count", "2", "--output", out.string()},
                         dir.path());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(test::ReadFileBytes(out), std::vector<std::uint8_t>(1024, 0));
  EXPECT_NE(run.err.find("The disk ends at sector " + std::to_string(lastSector)), std::string::npos) << run.err;
}

}  // namespace
}  // namespace korv
