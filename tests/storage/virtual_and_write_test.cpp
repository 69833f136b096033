// Virtual disks are read through their reader; devices are written in
// chunks with per-sector fallback.
#include <gtest/gtest.h>

#include "storage/sector_source.h"
#include "storage/virtual_disk.h"
#include "support/test_support.h"

namespace korv {
namespace {

constexpr std::size_t kSector = 512;

// Each sector holds its number in its first 8 bytes; odd sectors fail.
class CountingDisk final : public VirtualDisk {
 public:
  int calls = 0;
  char formatLetter() const override { return 'H'; }
  int ReadSector(std::uint64_t sector, std::span<std::uint8_t> out) override {
    ++calls;
    std::fill(out.begin(), out.end(), std::uint8_t{0});
    for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(sector >> (8 * i));
    return sector % 2 == 0 ? 1 : 0;
  }
  VirtualDiskFacts facts() const override { return {100 * kSector, 100 * kSector, "Virtual File VHD", "Fixed", std::nullopt, {}}; }
};

class VirtualReadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source.kind = SourceKind::VirtualDisk;
    source.virtualDisk = &disk;
    source.bytesPerSector = 4096;  // virtual disks always use 512 whatever this says
  }
  test::ScriptedPrompts prompts;
  CurrentSource source;
  SelectedRange range;
  SectorSource sectors{source, range, prompts};
  CountingDisk disk;
};

TEST_F(VirtualReadTest, RunResultIsThatOfTheLastSector) {
  std::vector<std::uint8_t> buffer(3 * kSector, 0xAA);
  EXPECT_NE(sectors.ReadSectors("ignored", 4, 3, buffer), 0);  // 4, 5, 6: last even
  EXPECT_EQ(buffer[kSector], 5);
  EXPECT_EQ(sectors.ReadSectors("ignored", 4, 2, buffer), 0);  // 4, 5: last odd
  EXPECT_EQ(disk.calls, 5);
}

TEST_F(VirtualReadTest, EmptyRunTouchesNothing) {
  std::vector<std::uint8_t> buffer(kSector, 0xAA);
  EXPECT_EQ(sectors.ReadSectors("", 0, 0, buffer), 0);
  EXPECT_EQ(disk.calls, 0);
  EXPECT_EQ(buffer[0], 0xAA);
}

TEST_F(VirtualReadTest, RangeGuardAppliesBeforeTheReader) {
  range.endSector = 10;
  std::vector<std::uint8_t> buffer(2 * kSector, 0xAA);
  EXPECT_EQ(sectors.ReadSectors("", 11, 2, buffer), 0);
  EXPECT_EQ(disk.calls, 0);
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == 0; }));
  EXPECT_NE(sectors.ReadSectors("", 10, 1, buffer), 0);
}

TEST_F(VirtualReadTest, NoOpenReaderGivesZeros) {
  source.virtualDisk = nullptr;
  std::vector<std::uint8_t> buffer(kSector, 0xAA);
  EXPECT_EQ(sectors.ReadSectors("", 0, 1, buffer), 0);
  EXPECT_EQ(buffer[0], 0);
}

class WriteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    target = dir / "target";
    test::WriteFileBytes(target, std::vector<std::uint8_t>(200 * kSector, 0));
    source.io = &io;
    data = test::PatternBytes(100 * kSector, 21);
  }
  test::TempDir dir;
  std::filesystem::path target;
  test::FaultyIo io;
  test::ScriptedPrompts prompts;
  CurrentSource source;
  SelectedRange range;
  SectorSource sectors{source, range, prompts};
  std::vector<std::uint8_t> data;
};

TEST_F(WriteTest, WritesChunksThenTheTailAtItsOwnPositionAndFlushes) {
  EXPECT_NE(sectors.WriteSectors(target.string(), 10, 100, data), 0);
  const auto written = test::ReadFileBytes(target);
  EXPECT_TRUE(std::equal(data.begin(), data.end(), written.begin() + 10 * kSector));
  ASSERT_EQ(io.writes.size(), 3u);
  EXPECT_EQ(io.writes[2].first, 90 * kSector);
  EXPECT_EQ(io.writes[2].second, 20 * kSector);
  EXPECT_EQ(io.flushes, 1);
}

class FailedWriteTest : public WriteTest, public ::testing::WithParamInterface<std::size_t> {};

// A failure in the first chunk must not be hidden by the chunks after it.
TEST_P(FailedWriteTest, FailedChunkIsWrittenSectorBySectorAndReported) {
  const std::size_t failing = GetParam();
  io.FailBytes(target, (10 + failing) * kSector, kSector);
  EXPECT_EQ(sectors.WriteSectors(target.string(), 10, 100, data), 0);
  const auto written = test::ReadFileBytes(target);
  // Every sector but the failing one reached the target, the tail included.
  for (std::size_t i = 0; i < 100; ++i) {
    const bool same = std::equal(data.begin() + i * kSector, data.begin() + (i + 1) * kSector,
                                 written.begin() + (10 + i) * kSector);
    EXPECT_EQ(same, i != failing) << i;
  }
  EXPECT_TRUE(prompts.badSectorQuestions.empty());
}

INSTANTIATE_TEST_SUITE_P(FirstAndLastChunk, FailedWriteTest, ::testing::Values(5, 45));

TEST_F(WriteTest, UnopenableDeviceWritesNothing) {
  io.FailOpen(target);
  EXPECT_EQ(sectors.WriteSectors(target.string(), 0, 4, data), 0);
  EXPECT_TRUE(io.writes.empty());
}

}  // namespace
}  // namespace korv
