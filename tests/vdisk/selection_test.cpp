// Recognising a picked file and the acceptance checks, message by message.
#include <gtest/gtest.h>

#include "app/session.h"
#include "fixtures/vhd_builder.h"
#include "support/byte_writers.h"
#include "support/reader_checks.h"
#include "support/test_support.h"
#include "platform/bytes.h"
#include "vdisk/selection.h"

namespace korv {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

constexpr std::uint64_t kMiB = 1024 * 1024;

class SelectionTest : public ::testing::Test {
 protected:
  // A small dynamic VHD with one block of data.
  fs::path MakeVhd(const std::string& name) {
    test::VhdBuilder::Dynamic(4 * kMiB).AddBlock(0, test::PatternBytes(kMiB, 1)).WriteTo(dir / name);
    return dir / name;
  }
  fs::path MakeChild(const std::string& name, const std::u16string& parentName) {
    test::VhdBuilder::Differencing(4 * kMiB, parentName).AddBlock(1).WriteTo(dir / name);
    return dir / name;
  }
  void WriteText(const std::string& name, const std::string& text) {
    test::WriteFileBytes(dir / name, std::vector<std::uint8_t>(text.begin(), text.end()));
  }
  std::string MessageFor(const fs::path& path) { return SelectVirtualFile(path).message; }

  TempDir dir;
};

TEST_F(SelectionTest, EveryRefusalSpeaksTheSystemsWords) {
  EXPECT_EQ(MessageFor(""), kMsgSpecifyVirtualPath);
  EXPECT_EQ(MessageFor(dir / "missing.vhd"), std::string(kMsgFileMissing) + (dir / "missing.vhd").string());

  test::VhdBuilder damaged = test::VhdBuilder::Dynamic(4 * kMiB);
  damaged.damage.diskType = 7;
  damaged.WriteTo(dir / "damaged.vhd");
  const auto damagedSelection = SelectVirtualFile(dir / "damaged.vhd");
  EXPECT_EQ(damagedSelection.virtualFormat, 'H');
  EXPECT_EQ(damagedSelection.probeResult, OpenResult::Damaged);
  EXPECT_EQ(damagedSelection.message, kMsgHighlyCorrupted);
  EXPECT_EQ(damagedSelection.reason, "unknown disk type");
  EXPECT_EQ(damagedSelection.reader, nullptr);

  // A file no reader knows goes to the VMDK reader, which refuses it.
  test::WriteFileBytes(dir / "noise.bin", test::PatternBytes(64 * 1024, 3));
  const auto noise = SelectVirtualFile(dir / "noise.bin");
  EXPECT_EQ(noise.message, kMsgSelectValidFile);
  EXPECT_EQ(noise.virtualFormat, VirtualFormat::Vmdk);
  EXPECT_EQ(noise.reason, "not a VMDK file");
  // A sparse extent header without its descriptor is not a disk it can read.
  std::vector<std::uint8_t> sparse(4096, 0);
  StoreAscii(sparse, 0, "KDMV");
  test::WriteFileBytes(dir / "headless.vmdk", sparse);
  EXPECT_EQ(MessageFor(dir / "headless.vmdk"), kMsgHighlyCorrupted);

  // A VMDK descriptor of a disk type that cannot be worked on.
  test::WriteFileBytes(dir / "data-flat.vmdk", std::vector<std::uint8_t>(kMiB));
  WriteText("custom.vmdk",
            "# Disk DescriptorFile\nversion=1\nCID=fffffffe\nparentCID=ffffffff\ncreateType=\"custom\"\n\n"
            "RW 2048 FLAT \"data-flat.vmdk\" 0\n\nddb.virtualHWVersion = \"4\"\n");
  EXPECT_EQ(MessageFor(dir / "custom.vmdk"), kMsgChooseCorrectFile);
}

TEST_F(SelectionTest, DifferencingDiskNeedsItsParent) {
  MakeChild("orphan.vhd", u"C:\\vms\\gone.vhd");
  EXPECT_EQ(MessageFor(dir / "orphan.vhd"), kMsgParentNotFound);

  MakeChild("nameless.vhd", u"");
  EXPECT_EQ(MessageFor(dir / "nameless.vhd"), kMsgParentNotFound);

  test::WriteFileBytes(dir / "junk.vhd", test::PatternBytes(8192, 5));
  MakeChild("junkchild.vhd", u"junk.vhd");
  EXPECT_EQ(MessageFor(dir / "junkchild.vhd"), kMsgParentCorrupted);

  fs::create_directory(dir / "folder.vhd");
  MakeChild("folderchild.vhd", u"folder.vhd");
  EXPECT_EQ(MessageFor(dir / "folderchild.vhd"), kMsgParentShared);

  // The parent's recorded full path is gone, but it sits beside the child.
  MakeVhd("Base.vhd");
  MakeChild("child.vhd", u"D:\\old place\\base.VHD");
  const auto selection = SelectVirtualFile(dir / "child.vhd");
  EXPECT_TRUE(selection.accepted) << selection.message;
}

TEST_F(SelectionTest, VboxFileLeadsToTheDiskItNames) {
  MakeVhd("disk.vhd");
  WriteText("machine.vbox",
            "<?xml version=\"1.0\"?>\n<VirtualBox>\n<MediaRegistry><HardDisks>\n"
            "<HardDisk uuid=\"{1}\" location=\"disk.vhd\" format=\"VHD\"/>\n"
            "<HardDisk uuid=\"{2}\" location=\"other.vdi\" format=\"VDI\"/>\n"
            "</HardDisks></MediaRegistry></VirtualBox>\n");
  EXPECT_EQ(ResolveVboxFile(dir / "machine.vbox"), dir / "disk.vhd");
  fs::copy_file(dir / "machine.vbox", dir / "MACHINE.VBOX");
  const VirtualFileProbe probe = ProbeVirtualFile(dir / "MACHINE.VBOX");
  EXPECT_EQ(probe.chosenVboxPath, dir / "MACHINE.VBOX");
  EXPECT_EQ(probe.selectedPath, dir / "disk.vhd");
  EXPECT_EQ(probe.virtualFormat, 'H');

  // Written on Windows: folders split on "\", the disk found beside the file.
  WriteText("win.vbox", "<HardDisk location=\"C:\\Users\\me\\VMs\\Disk.VHD\"/>");
  EXPECT_EQ(ResolveVboxFile(dir / "win.vbox"), dir / "disk.vhd");

  fs::create_directory(dir / "Disks");
  MakeVhd("Disks/inner.vhd");
  WriteText("nested.vbox", "<HardDisk location=\"Disks\\inner.vhd\"/>");
  EXPECT_EQ(ResolveVboxFile(dir / "nested.vbox"), dir / "Disks/inner.vhd");

  WriteText("absolute.vbox", "<HardDisk location=\"" + (dir / "disk.vhd").string() + "\"/>");
  EXPECT_EQ(ResolveVboxFile(dir / "absolute.vbox"), dir / "disk.vhd");

  WriteText("escaped.vbox", "<HardDisk location=\"a&amp;b.vhd\"/>");
  EXPECT_EQ(ResolveVboxFile(dir / "escaped.vbox"), dir / "a&b.vhd");

  WriteText("unquoted.vbox", "location=disk.vhd");
  EXPECT_TRUE(ResolveVboxFile(dir / "unquoted.vbox").empty());
  WriteText("unclosed.vbox", "location=\"disk.vhd");
  EXPECT_TRUE(ResolveVboxFile(dir / "unclosed.vbox").empty());
}

TEST_F(SelectionTest, VboxLocationIsFoundWhereverItLies) {
  MakeVhd("far.vhd");
  // The key straddles the reader's chunk boundary, after a megabyte of text
  // full of near misses.
  std::string text;
  while (text.size() < 64 * 1024 - 4) text += "locatio location ";
  text.resize(64 * 1024 - 4);
  text += "location=\"far.vhd\"";
  text += std::string(kMiB, 'x');
  WriteText("big.vbox", text);
  EXPECT_EQ(ResolveVboxFile(dir / "big.vbox"), dir / "far.vhd");

  WriteText("long.vbox", "location=\"" + std::string(5 * kMiB, 'a') + "\"");
  EXPECT_TRUE(ResolveVboxFile(dir / "long.vbox").empty());
}

TEST_F(SelectionTest, RefusedFileLeavesTheAcceptedDiskAlone) {
  test::ScriptedPrompts prompts;
  Session session(prompts);
  const fs::path good = MakeVhd("good.vhd");
  ASSERT_TRUE(session.OpenVirtualFile(good).accepted);
  VirtualDisk* before = session.source.virtualDisk;

  test::WriteFileBytes(dir / "noise.bin", test::PatternBytes(4096, 9));
  EXPECT_FALSE(session.OpenVirtualFile(dir / "noise.bin").accepted);
  EXPECT_FALSE(session.OpenVirtualFile(dir / "missing.qcow2").accepted);
  EXPECT_EQ(session.source.virtualDisk, before);
  EXPECT_EQ(session.source.virtualFormat, 'H');

  std::vector<std::uint8_t> sector(512);
  EXPECT_NE(session.sectors.ReadSectors("", 0, 1, sector), 0);
  const auto written = test::PatternBytes(kMiB, 1);
  EXPECT_EQ(sector, std::vector<std::uint8_t>(written.begin(), written.begin() + 512));
}

}  // namespace
}  // namespace korv
