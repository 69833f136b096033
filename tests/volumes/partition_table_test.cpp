// Partition tables built sector by sector: what is listed, and that damaged
// tables end.
#include <gtest/gtest.h>

#include "platform/bytes.h"
#include "support/byte_writers.h"
#include "support/memory_disk.h"
#include "support/test_support.h"
#include "volumes/partition_table.h"

namespace korv {
namespace {

class PartitionTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    source.kind = SourceKind::VirtualDisk;
    source.virtualDisk = &disk;
    Signature(0);
  }
  void Signature(std::uint64_t sector) {
    disk.Sector(sector)[510] = 0x55;
    disk.Sector(sector)[511] = 0xAA;
  }
  void Entry(std::uint64_t sector, int slot, std::uint8_t type, std::uint32_t first, std::uint32_t count) {
    const auto s = disk.Sector(sector);
    const std::uint64_t at = 446 + 16 * static_cast<std::uint64_t>(slot);
    s[at + 4] = type;
    StoreU32LE(s, at + 8, first);
    StoreU32LE(s, at + 12, count);
    Signature(sector);
  }
  void NtfsBoot(std::uint64_t sector, std::uint64_t length) {
    StoreAscii(disk.Sector(sector), 3, "NTFS    ");
    StoreU64LE(disk.Sector(sector), 40, length);
  }
  void Fat16Boot(std::uint64_t sector, std::uint16_t small, std::uint32_t large) {
    StoreAscii(disk.Sector(sector), 54, "FAT16   ");
    StoreU16LE(disk.Sector(sector), 19, small);
    StoreU32LE(disk.Sector(sector), 32, large);
  }
  std::vector<std::string> Labels() const {
    std::vector<std::string> labels;
    for (int i = 0; i < list.count; ++i) labels.push_back(PartitionLabel(i + 1, list.fileSystems[i]));
    return labels;
  }

  test::MemoryDisk disk{4096};
  test::ScriptedPrompts prompts;
  CurrentSource source;
  SelectedRange range;
  SectorSource sectors{source, range, prompts};
  PartitionList list;
};

TEST_F(PartitionTableTest, NoSignatureLeavesTheListAlone) {
  disk.Sector(0)[510] = 0;
  list.count = 3;
  EXPECT_FALSE(ListPartitions(sectors, list, 0));
  EXPECT_EQ(list.count, 3);
}

TEST_F(PartitionTableTest, BootSectorNameOverridesTheTypeByte) {
  Entry(0, 0, 0x83, 100, 50);  // Linux type, NTFS inside: listed
  NtfsBoot(100, 50);
  Entry(0, 1, 0x0C, 200, 50);  // FAT32 type, FAT16 inside: listed as FAT16
  Fat16Boot(200, 50, 0);
  Entry(0, 2, 0x07, 300, 50);  // NTFS type, nothing inside: still NTFS
  Entry(0, 3, 0x01, 400, 50);  // FAT12 primary: not listed
  ASSERT_TRUE(ListPartitions(sectors, list, 0));
  EXPECT_EQ(Labels(), (std::vector<std::string>{"Partition - 1 ( NTFS )", "Partition - 2 ( FAT16 )",
                                                "Partition - 3 ( NTFS )"}));
  EXPECT_EQ(list.entries[1].firstSector, 200u);
  EXPECT_EQ(list.entries[1].endSector, 250u);
}

TEST_F(PartitionTableTest, ExtendedChainIsFollowedAndLoopsEnd) {
  Entry(0, 0, 0x0F, 1000, 2000);
  Entry(1000, 0, 0x06, 10, 20);    // logical at 1010
  Entry(1000, 1, 0x05, 100, 200);  // next record at 1000 + 100
  Entry(1100, 0, 0x01, 10, 20);    // logical at 1110, type 1: FAT16 in the chain
  Entry(1100, 1, 0x05, 0, 200);    // points back to the first record
  ASSERT_TRUE(ListPartitions(sectors, list, 0));
  ASSERT_EQ(list.count, 2);
  EXPECT_EQ(list.entries[0].firstSector, 1010u);
  EXPECT_EQ(list.entries[1].firstSector, 1110u);
  EXPECT_EQ(list.fileSystems[1], FileSystemKind::Fat16);

  // A chain of more records than a disk can list ends too.
  for (std::uint32_t r = 0; r < 40; ++r) {
    Entry(2000 + r * 10, 0, 0x06, 5, 1);
    Entry(2000 + r * 10, 1, 0x05, 1000 + (r + 1) * 10, 1);
  }
  Entry(1000, 1, 0x05, 1000, 200);
  ASSERT_TRUE(ListPartitions(sectors, list, 0));
  EXPECT_EQ(list.count, kMaxPartitionsPerDisk);
}

TEST_F(PartitionTableTest, GptEntriesAreReadAtTheirSizeAndEndAtTheFirstEmptyOne) {
  Entry(0, 0, 0xEE, 1, 4000);
  StoreAscii(disk.Sector(1), 0, "EFI PART");
  const auto gptEntry = [&](std::uint64_t sector, std::uint64_t offset, std::uint64_t firstLba) {
    StoreU64LE(disk.Sector(sector), offset, 0x1111);
    StoreU64LE(disk.Sector(sector), offset + 8, 0x2222);
    StoreU64LE(disk.Sector(sector), offset + 32, firstLba);
  };
  for (const std::uint32_t entrySize : {0u, 4096u, 256u}) {
    SCOPED_TRACE(entrySize);
    std::fill(disk.bytes.begin() + 1024, disk.bytes.begin() + 4 * 512, 0);
    StoreAscii(disk.Sector(1), 0, "EFI PART");
    StoreU32LE(disk.Sector(1), 84, entrySize);
    const std::uint64_t step = entrySize == 256 ? 256 : 128;
    gptEntry(2, 0, 100);
    gptEntry(2, step, 200);  // no file system: skipped, the walk goes on
    if (step == 256) {
      gptEntry(3, 0, 300);  // two entries per sector: the third starts the next one
    } else {
      gptEntry(2, 2 * step, 300);
    }
    NtfsBoot(100, 50);
    Fat16Boot(300, 0x400, 0);  // a small FAT16 counts in the 16-bit field
    ASSERT_TRUE(ListPartitions(sectors, list, 0));
    ASSERT_EQ(list.count, 2);
    EXPECT_EQ(list.entries[1].firstSector, 300u);
    EXPECT_EQ(list.entries[1].endSector, 300u + 0x400);
  }
}

TEST_F(PartitionTableTest, GptPartitionBeyondThirtyTwoBitsIsLeftOut) {
  Entry(0, 0, 0xEE, 1, 4000);
  StoreAscii(disk.Sector(1), 0, "EFI PART");
  StoreU32LE(disk.Sector(1), 84, 128);
  StoreU64LE(disk.Sector(2), 0, 1);
  StoreU64LE(disk.Sector(2), 8, 1);
  StoreU64LE(disk.Sector(2), 32, 1ULL << 32);
  ASSERT_TRUE(ListPartitions(sectors, list, 0));
  EXPECT_EQ(list.count, 0);
}

TEST_F(PartitionTableTest, ListingIgnoresAnEarlierSelectedRange) {
  Entry(0, 0, 0x0F, 3000, 500);
  Entry(3000, 0, 0x07, 10, 20);
  NtfsBoot(3010, 20);
  range.endSector = 100;  // left from an earlier choice
  ASSERT_TRUE(ListPartitions(sectors, list, 0));
  EXPECT_EQ(list.count, 1);
}

TEST_F(PartitionTableTest, WholeVolumeWithoutTable) {
  StoreAscii(disk.Sector(0), 82, "FAT32   ");
  StoreU32LE(disk.Sector(0), 32, 4000);
  std::vector<std::string> labels;
  ASSERT_TRUE(ListPartitions(sectors, list, 0, [&](int slot, const std::string& label) {
    labels.push_back(label);
    return static_cast<std::uint64_t>(slot + 100);
  }));
  EXPECT_EQ(labels, std::vector<std::string>{"Partition - 1 ( FAT32 )"});
  EXPECT_EQ(list.entries[0].treeNode, 100u);
  EXPECT_EQ(list.entries[0].endSector, 4000u);
}

}  // namespace
}  // namespace korv
