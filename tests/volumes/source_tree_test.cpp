// The source tree over the inventory: disk numbering, what a selection sets,
// the information texts, and the checks of Next in their order.
#include <gtest/gtest.h>

#include "app/session.h"
#include "platform/bytes.h"
#include "storage/inventory.h"
#include "storage/volume_info.h"
#include "support/byte_writers.h"
#include "support/memory_disk.h"
#include "common/size_text.h"
#include "support/test_support.h"

namespace korv {
namespace {

class SourceTreeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Two partitions: NTFS at 2048 and FAT32 at 10240.
    const auto mbr = disk.Sector(0);
    mbr[510] = 0x55;
    mbr[511] = 0xAA;
    const auto entry = [&](int slot, std::uint8_t type, std::uint32_t first, std::uint32_t count) {
      mbr[446 + 16 * slot + 4] = type;
      StoreU32LE(mbr, 446 + 16 * slot + 8, first);
      StoreU32LE(mbr, 446 + 16 * slot + 12, count);
    };
    entry(0, 0x07, 2048, 8192);
    entry(1, 0x0C, 10240, 4096);
    StoreAscii(disk.Sector(2048), 3, "NTFS");
    StoreAscii(disk.Sector(10240), 82, "FAT32");
    session.source.kind = SourceKind::VirtualDisk;
    session.source.virtualDisk = &disk;
  }

  const SourceNode& Node(SourceNodeKind kind, int index = 0) {
    for (const SourceNode& node : tree().nodes()) {
      if (node.kind == kind && index-- == 0) return node;
    }
    throw std::runtime_error("no such node");
  }
  SourceTree& tree() { return session.sourceTree; }

  test::TempDir dir;
  test::ScriptedPrompts prompts;
  Session session{prompts, SessionOptions{dir / "inventory.json", false}};
  test::MemoryDisk disk{16384};
};

TEST_F(SourceTreeTest, VirtualDiskIsNumberedAfterThePhysicalDisksFound) {
  // Plain files stand in for disks 0 and 2; slot 1 names nothing.
  test::WriteFileBytes(dir / "sda", std::vector<std::uint8_t>(255 * 63 * 512 * 2));
  test::WriteFileBytes(dir / "sdc", std::vector<std::uint8_t>(512));
  session.source.devices.paths[0] = (dir / "sda").string();
  session.source.devices.paths[1] = (dir / "absent").string();
  session.source.devices.paths[2] = (dir / "sdc").string();
  EXPECT_EQ(tree().Fill(disk.facts()), "");

  const InventoryStore reread(dir / "inventory.json");
  EXPECT_EQ(ReadInventoryValue(reread, "", "Disk0"), "HDD");
  EXPECT_EQ(ReadInventoryValue(reread, kInventoryCylinder, "Disk0"), "2");
  EXPECT_EQ(ReadInventoryValue(reread, kInventorySize, "Disk0"), std::to_string(255 * 63 * 512 * 2));
  EXPECT_EQ(ReadInventoryValue(reread, kInventoryMediaType, "Disk2"), "Fixed hard disk media");
  EXPECT_EQ(ReadInventoryValue(reread, "", "Disk1"), "");
  EXPECT_EQ(ReadInventoryValue(reread, "", "Disk3"), "VMM");
  EXPECT_EQ(ReadInventoryValue(reread, kInventoryMediaType, "Disk3"), "Virtual File VHD");
  EXPECT_EQ(ReadInventoryValue(reread, kInventoryModel, "Disk3"), "Fixed");

  // Only the virtual disk is listed, with its partitions.
  EXPECT_EQ(Node(SourceNodeKind::Root).text, "This PC");
  EXPECT_EQ(Node(SourceNodeKind::Group).text, "Virtual Disks");
  EXPECT_EQ(Node(SourceNodeKind::Disk).text, "Disk3");
  EXPECT_THROW(Node(SourceNodeKind::Disk, 1), std::runtime_error);
  EXPECT_EQ(Node(SourceNodeKind::Partition, 0).text, "Partition - 1 ( NTFS )");
  EXPECT_EQ(Node(SourceNodeKind::Partition, 1).text, "Partition - 2 ( FAT32 )");
}

TEST_F(SourceTreeTest, SelectingNodesSetsTheRange) {
  ASSERT_EQ(tree().Fill(disk.facts()), "");
  tree().Select(Node(SourceNodeKind::Partition, 1).id);
  const SelectedRange& range = session.range;
  EXPECT_EQ(range.firstSector, 10240u);
  EXPECT_EQ(range.endSector, 14336u);
  EXPECT_EQ(range.fileSystem, FileSystemKind::Fat32);
  EXPECT_EQ(range.partitionIndex, 1);
  EXPECT_EQ(range.selectedText, "Disk0");
  EXPECT_EQ(range.partitionText, "Partition - 2 ( FAT32 )");
  EXPECT_EQ(tree().PartitionInformationText(),
            (std::vector<std::string>{"Partition Type   : FAT32", "Start Sector     : 10240",
                                      "End Sector       : 14336", "Partition Size   : 2.0 MB"}));
  const auto chart = tree().ChartShares();
  ASSERT_EQ(chart.size(), 2u);
  EXPECT_EQ(chart[1].label, "Selected Partition 2");
  EXPECT_DOUBLE_EQ(chart[1].percent, 25.0);

  tree().Select(Node(SourceNodeKind::Disk).id);
  EXPECT_EQ(range.firstSector, 63u);
  EXPECT_EQ(range.endSector, 16384u);
  EXPECT_EQ(range.fileSystem, FileSystemKind::Unknown);
  EXPECT_EQ(range.partitionIndex, -1);
  EXPECT_TRUE(tree().PartitionInformationText().empty());
}

TEST_F(SourceTreeTest, NextChecksInTheirOrder) {
  ASSERT_EQ(tree().Fill(disk.facts()), "");
  const auto next = [&](RecoveryMode mode, RangeFields fields = {}) { return tree().ValidateAndStart(mode, fields); };
  EXPECT_EQ(next(RecoveryMode::DeletedData).message, kMsgSelectLogicalDrive);
  tree().Select(Node(SourceNodeKind::Group).id);
  EXPECT_EQ(next(RecoveryMode::DeletedData).message, kMsgSelectVirtualDisk);
  tree().Select(Node(SourceNodeKind::Disk).id);
  EXPECT_EQ(next(RecoveryMode::DeletedData).message, kMsgSelectPartitionType);
  tree().Select(Node(SourceNodeKind::Partition).id);
  EXPECT_EQ(next(RecoveryMode::FormattedData).action, StartAction::StartAnalysis);
  session.range.endSector = session.range.firstSector;
  EXPECT_EQ(next(RecoveryMode::DeletedData).message, kMsgEndBiggerThanStart);

  EXPECT_EQ(next(RecoveryMode::RawData, {"x", "100", 3}).message, kMsgStartNotValid);
  EXPECT_EQ(next(RecoveryMode::RawData, {"-5", "100", 3}).message, kMsgStartNotValid);
  EXPECT_EQ(next(RecoveryMode::RawData, {"1", "5000000000", 3}).message, kMsgEndNotValid);
  EXPECT_EQ(next(RecoveryMode::RawData, {"100", "100", 3}).message, kMsgRangeEndBiggerThanStart);
  EXPECT_EQ(session.range.firstSector, 100u);  // taken before the comparison
  EXPECT_EQ(next(RecoveryMode::PartitionData, {"0", "4294967295", 3}).message, kMsgSelectPartitionTypeDot);
  EXPECT_EQ(next(RecoveryMode::PartitionData, {"0", "4294967295", 1}).action, StartAction::RunPartitionScan);
  EXPECT_EQ(session.range.endSector, 4294967295u);
  EXPECT_EQ(session.range.fileSystem, FileSystemKind::Fat32);
  EXPECT_EQ(next(RecoveryMode::RawData, {"0", "10", 3}).action, StartAction::OpenExtensionPage);
  EXPECT_EQ(session.range.fileSystem, FileSystemKind::Fat32);  // "UNKNOWN" keeps the previous choice
  EXPECT_EQ(next(RecoveryMode::CreateDiskImage, {"0", "10", -1}).action, StartAction::OpenImagingPage);
}

TEST_F(SourceTreeTest, UnwritableInventoryIsSaidNotSwallowed) {
  test::WriteFileBytes(dir / "blocker", {1});
  Session blocked{prompts, SessionOptions{dir / "blocker" / "inventory.json", false}};
  blocked.source.kind = SourceKind::VirtualDisk;
  blocked.source.virtualDisk = &disk;
  const std::string message = blocked.sourceTree.Fill(disk.facts());
  EXPECT_EQ(message, std::string(kMsgInventoryNotWritten) + (dir / "blocker" / "inventory.json").string());
  // The tree is still filled from what the inventory holds in memory.
  EXPECT_EQ(blocked.sourceTree.nodes().size(), 5u);
}

TEST(SizeTextTest, ThresholdsAndUnits) {
  EXPECT_EQ(FormatSizeText(0), "0");
  EXPECT_EQ(FormatSizeText(1), "0.0 KB");
  EXPECT_EQ(FormatSizeText(1536), "1.5 KB");
  EXPECT_EQ(FormatSizeText(1048575), "1024.0 KB");
  EXPECT_EQ(FormatSizeText(1048576), "1.0 MB");
  EXPECT_EQ(FormatSizeText(3ULL << 30), "3.0 GB");
  EXPECT_EQ(FormatSizeText(5ULL << 40), "5.0 TB");
}

}  // namespace
}  // namespace korv

namespace korv {
namespace {

TEST(VolumeInfoTest, DescribesTheVolumeHoldingAFolder) {
  test::TempDir dir;
  CurrentSource source;
  const auto info = QueryVolumeInfo(source, dir.path(), "Scratch (C:)");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->volumeName, "Scratch ");
  EXPECT_FALSE(info->fileSystem.empty());
  EXPECT_GE(info->capacity, info->freeBytes);
  EXPECT_EQ(info->Lines()[0], "Volume Name : Scratch ");
  EXPECT_EQ(info->Lines()[1].rfind("File System : ", 0), 0u);
  EXPECT_FALSE(QueryVolumeInfo(source, dir / "missing", "X (D:)"));
}

}  // namespace
}  // namespace korv
