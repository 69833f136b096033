// Reads of devices (plain files stand in for disks) through ReadSectors:
// chunking, the bad-sector question and its policies, the handle cache.
#include <gtest/gtest.h>

#include "storage/sector_source.h"
#include "support/test_support.h"

namespace korv {
namespace {

using test::FaultyIo;
using test::ScriptedPrompts;

constexpr std::size_t kSector = 512;
constexpr std::uint8_t kStale = 0xAA;

class DeviceReadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    disk = dir / "disk0";
    content = test::PatternBytes(200 * kSector, 7);
    test::WriteFileBytes(disk, content);
    source.io = &io;
    source.kind = SourceKind::PhysicalDisk;
    source.devices.paths[0] = disk.string();
  }

  // Reads with a buffer pre-filled with stale bytes.
  int Read(std::uint64_t first, std::uint32_t count) {
    buffer.assign(count * kSector, kStale);
    return sectors.ReadCurrent(first, count, buffer);
  }

  bool SectorIs(std::size_t index, std::uint64_t diskSector) const {
    return std::equal(buffer.begin() + index * kSector, buffer.begin() + (index + 1) * kSector,
                      content.begin() + diskSector * kSector);
  }
  bool SectorIsZero(std::size_t index) const {
    return std::all_of(buffer.begin() + index * kSector, buffer.begin() + (index + 1) * kSector,
                       [](std::uint8_t b) { return b == 0; });
  }
  void FailSector(std::uint64_t sector) { io.FailBytes(disk, sector * kSector, kSector); }

  test::TempDir dir;
  std::filesystem::path disk;
  std::vector<std::uint8_t> content;
  std::vector<std::uint8_t> buffer;
  FaultyIo io;
  ScriptedPrompts prompts;
  CurrentSource source;
  SelectedRange range;
  SectorSource sectors{source, range, prompts};
};

TEST_F(DeviceReadTest, ReadsRunsOfAnyLengthExactly) {
  for (std::uint32_t count : {1u, 40u, 41u, 100u, 120u}) {
    ASSERT_NE(Read(3, count), 0) << count;
    for (std::size_t i = 0; i < count; ++i) ASSERT_TRUE(SectorIs(i, 3 + i)) << count << " sector " << i;
  }
  EXPECT_TRUE(prompts.badSectorQuestions.empty());
}

TEST_F(DeviceReadTest, RangeGuardZeroFillsReadsPastTheEnd) {
  range.endSector = 100;
  EXPECT_NE(Read(100, 2), 0);  // at the end sector: read in full
  EXPECT_TRUE(SectorIs(1, 101));
  EXPECT_EQ(Read(101, 2), 0);
  EXPECT_TRUE(SectorIsZero(0) && SectorIsZero(1));
  range.endSector = 0;  // no limit
  EXPECT_NE(Read(150, 1), 0);
}

TEST_F(DeviceReadTest, RetryRereadsOnlyTheFailedChunkSectorBySector) {
  FailSector(45);
  prompts.badSectorAnswers = {BadSectorAnswer::Retry};
  // Two whole chunks and a 20-sector tail; the tail succeeds, but the result
  // is that of the last whole chunk.
  EXPECT_EQ(Read(0, 100), 0);
  EXPECT_EQ(prompts.badSectorQuestions.size(), 1u);
  EXPECT_EQ(prompts.badSectorQuestions[0], kBadSectorMessage);
  for (std::size_t i = 0; i < 100; ++i) {
    if (i == 45) {
      EXPECT_TRUE(SectorIsZero(i));
    } else {
      EXPECT_TRUE(SectorIs(i, i)) << i;
    }
  }
  EXPECT_EQ(range.badSectorPolicy, BadSectorPolicy::Retry);
}

TEST_F(DeviceReadTest, SkipLeavesNoStaleOrGarbageBytes) {
  FailSector(45);
  prompts.badSectorAnswers = {BadSectorAnswer::Skip};
  EXPECT_EQ(Read(0, 100), 0);
  // Sectors before the bad one were read by the failed chunk read; what it
  // could not read is zeros, never the device's garbage or the old buffer.
  for (std::size_t i = 40; i < 45; ++i) EXPECT_TRUE(SectorIs(i, i));
  for (std::size_t i = 45; i < 80; ++i) EXPECT_TRUE(SectorIsZero(i)) << i;
  for (std::size_t i = 80; i < 100; ++i) EXPECT_TRUE(SectorIs(i, i));
  EXPECT_EQ(range.badSectorPolicy, BadSectorPolicy::Skip);
}

TEST_F(DeviceReadTest, AllAnswersSilenceLaterQuestions) {
  FailSector(5);
  FailSector(50);
  prompts.badSectorAnswers = {BadSectorAnswer::SkipAll};
  EXPECT_EQ(Read(0, 10), 0);
  EXPECT_EQ(Read(50, 10), 0);
  EXPECT_EQ(prompts.badSectorQuestions.size(), 1u);
  EXPECT_EQ(range.badSectorPolicy, BadSectorPolicy::SkipAll);
  EXPECT_TRUE(SectorIsZero(0));

  range.badSectorPolicy = BadSectorPolicy::RetryAll;
  EXPECT_EQ(Read(0, 10), 0);
  EXPECT_EQ(prompts.badSectorQuestions.size(), 1u);
  EXPECT_TRUE(SectorIs(4, 4));
  EXPECT_TRUE(SectorIsZero(5));
  EXPECT_TRUE(SectorIs(6, 6));
}

TEST_F(DeviceReadTest, EscapeKeepsThePolicyItHad) {
  FailSector(2);
  range.badSectorPolicy = BadSectorPolicy::Skip;
  prompts.badSectorAnswers = {BadSectorAnswer::Dismissed};
  EXPECT_EQ(Read(0, 4), 0);
  EXPECT_EQ(range.badSectorPolicy, BadSectorPolicy::Skip);
  EXPECT_TRUE(SectorIs(1, 1));
  EXPECT_TRUE(SectorIsZero(3));  // skipped, not re-read

  range.badSectorPolicy = BadSectorPolicy::Retry;
  prompts.badSectorAnswers = {BadSectorAnswer::Dismissed};
  EXPECT_EQ(Read(0, 4), 0);
  EXPECT_TRUE(SectorIs(3, 3));  // re-read under Retry
}

TEST_F(DeviceReadTest, FailedTailIsZeroWithoutQuestion) {
  FailSector(85);
  EXPECT_EQ(Read(0, 90), 0);
  EXPECT_TRUE(prompts.badSectorQuestions.empty());
  EXPECT_TRUE(SectorIs(84, 84));
  EXPECT_TRUE(SectorIsZero(85));
  EXPECT_TRUE(SectorIsZero(89));
}

TEST_F(DeviceReadTest, ReadPastTheEndOfTheDeviceIsZeros) {
  prompts.badSectorAnswers = {BadSectorAnswer::Skip};
  EXPECT_EQ(Read(198, 4), 0);
  EXPECT_TRUE(SectorIs(1, 199));
  EXPECT_TRUE(SectorIsZero(2) && SectorIsZero(3));
}

TEST_F(DeviceReadTest, HandleIsCachedPerPathAndAFailedOpenIsRemembered) {
  const auto second = dir / "disk1";
  test::WriteFileBytes(second, test::PatternBytes(10 * kSector, 9));
  source.devices.paths[1] = second.string();

  Read(0, 1);
  Read(1, 1);
  EXPECT_EQ(io.opens, 1);
  source.devices.currentDevice = 1;
  Read(0, 1);
  EXPECT_EQ(io.opens, 2);
  source.devices.currentDevice = 0;
  Read(0, 1);
  EXPECT_EQ(io.opens, 3);

  const auto missing = dir / "nothing";
  source.devices.paths[2] = missing.string();
  source.devices.currentDevice = 2;
  EXPECT_EQ(Read(0, 2), 0);
  EXPECT_TRUE(SectorIsZero(0) && SectorIsZero(1));
  EXPECT_EQ(Read(0, 2), 0);
  EXPECT_EQ(io.opens, 4);  // not opened again while the path stays the same
  EXPECT_TRUE(prompts.badSectorQuestions.empty());
}

TEST_F(DeviceReadTest, FloppyNameRedirectsToTheFloppyDevice) {
  source.displayName = "3.5 Floppy";
  Read(0, 1);
  ASSERT_EQ(io.openedPaths.size(), 1u);
  EXPECT_EQ(io.openedPaths.back(), kFloppyDevicePath);

  source.displayName = "Floppy drive";
  Read(0, 1);
  EXPECT_EQ(io.openedPaths.back(), disk.string());
}

TEST_F(DeviceReadTest, LargerSectorSizeScalesEveryPosition) {
  source.bytesPerSector = 4096;
  buffer.assign(3 * 4096, kStale);
  ASSERT_NE(sectors.ReadSectors(disk.string(), 2, 3, buffer), 0);
  EXPECT_TRUE(std::equal(buffer.begin(), buffer.end(), content.begin() + 2 * 4096));
}

TEST_F(DeviceReadTest, BufferTooSmallIsRefusedUntouched) {
  buffer.assign(kSector, kStale);
  EXPECT_EQ(sectors.ReadSectors(disk.string(), 0, 2, buffer), 0);
  EXPECT_TRUE(std::all_of(buffer.begin(), buffer.end(), [](std::uint8_t b) { return b == kStale; }));
}

}  // namespace
}  // namespace korv
