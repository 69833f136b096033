#include "ui/logic/source_page_texts.h"

#include <gtest/gtest.h>

#include "storage/inventory.h"
#include "support/test_support.h"

namespace korv {
namespace {

TEST(SourcePageTextsTest, DiskLinesCarryTheirValuesBehindTheirOwnLabels) {
  const DiskFacts disk{3, "Virtual Disk", "Virtual File VHD", 1073741824ULL};
  const InformationLines lines = DiskInformationLines(disk);
  EXPECT_EQ(lines[0], "Physical Disk Number : 3");
  EXPECT_EQ(lines[1], "Model   : Virtual Disk");
  EXPECT_EQ(lines[2], "Media Type   : Virtual File VHD");
  EXPECT_EQ(lines[3], "Disk Size  : 1.0 GB");

  const InformationLines bare = BareInformationLines();
  EXPECT_EQ(bare[0], "Physical Disk Number : ");
  EXPECT_EQ(bare[1], "Model : ");
  EXPECT_EQ(bare[2], "Media Type : ");
  EXPECT_EQ(bare[3], "Disk Size : ");
}

TEST(SourcePageTextsTest, DiskSizesFollowTheThresholds) {
  const auto sizeLine = [](std::uint64_t bytes) { return DiskInformationLines({0, "", "", bytes})[3]; };
  EXPECT_EQ(sizeLine(1048575), "Disk Size  : 1024.0 KB");
  EXPECT_EQ(sizeLine(1048576), "Disk Size  : 1.0 MB");
  EXPECT_EQ(sizeLine(1ULL << 40), "Disk Size  : 1.0 TB");
  EXPECT_EQ(sizeLine(0), "Disk Size  : 0");
}

TEST(SourcePageTextsTest, DiskFactsComeFromTheInventoryAndMissingOnesStayEmpty) {
  test::TempDir dir;
  InventoryStore store(dir / "inventory.json");
  for (const std::string_view subkey : {kInventoryModel, kInventoryMediaType, kInventorySize}) {
    store.CreateKey(InventoryKeyPath(subkey));
  }
  store.SetValue(InventoryKeyPath(kInventoryModel), DiskValueName(1), "Virtual Disk");
  store.SetValue(InventoryKeyPath(kInventoryMediaType), DiskValueName(1), "Virtual File");
  store.SetValue(InventoryKeyPath(kInventorySize), DiskValueName(1), "67108864");
  store.SetValue(InventoryKeyPath(kInventorySize), DiskValueName(2), "12 bytes");

  const DiskFacts known = ReadDiskFacts(store, 1);
  EXPECT_EQ(known.diskNumber, 1);
  EXPECT_EQ(known.model, "Virtual Disk");
  EXPECT_EQ(known.mediaType, "Virtual File");
  EXPECT_EQ(known.sizeBytes, 67108864U);

  // A disk without values shows its labels, and the size "0".
  const InformationLines unknown = DiskInformationLines(ReadDiskFacts(store, 2));
  EXPECT_EQ(unknown[1], "Model   : ");
  EXPECT_EQ(unknown[2], "Media Type   : ");
  EXPECT_EQ(unknown[3], "Disk Size  : 0");
}

TEST(SourcePageTextsTest, FileSystemChoiceShowsUnknownForAnythingElse) {
  EXPECT_EQ(FileSystemItem(FileSystemKind::Fat16), 0);
  EXPECT_EQ(FileSystemItem(FileSystemKind::Fat32), 1);
  EXPECT_EQ(FileSystemItem(FileSystemKind::Ntfs), 2);
  EXPECT_EQ(FileSystemItem(FileSystemKind::Unknown), 3);
  EXPECT_EQ(FileSystemItem(FileSystemKind::Fat12), 3);
}

}  // namespace
}  // namespace korv
