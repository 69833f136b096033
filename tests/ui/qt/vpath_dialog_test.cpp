// The file selection dialog: Browse, OK with its refusals, Cancel, and a
// dialog opened again.
#include "ui/qt/dialogs/vpath_dialog.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>

#include "app/session.h"
#include "qt_test_support.h"
#include "support/test_support.h"

namespace korv {
namespace {

using test::ClickNamed;
using test::DialogText;
using test::WaitUntil;
using test::WhenDialogOpens;

const std::filesystem::path kSampleDisk = KORV_SOURCE_DIR "/samples/sample.vhd";

QString ToQ(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

struct VPathHarness {
  test::TempDir dir;
  test::ScriptedPrompts prompts;
  Session session{prompts, SessionOptions{dir / "inventory.json", false}};
  VPath dialog{session, nullptr};

  VPathHarness() {
    dialog.open();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  }

  // Clicks OK and returns the message it shows ("" when none opens). The
  // message box opens and is answered inside the click.
  std::string ClickOk() {
    struct Answer {
      bool wanted = true;
      bool given = false;
      std::string message;
    };
    auto answer = std::make_shared<Answer>();
    WhenDialogOpens(
        [answer](QWidget* box) {
          // A watch left over from an OK that showed nothing stays out.
          if (!answer->wanted) return;
          answer->given = true;
          answer->message = DialogText(box);
          ClickNamed(box, "okButton");
        },
        nullptr, 2000);
    ClickNamed(&dialog, "okButton");
    answer->wanted = false;
    return answer->message;
  }

  // Bytes no reader recognises.
  std::filesystem::path UnknownFile(const std::string& name) {
    const std::filesystem::path path = dir / name;
    test::WriteFileBytes(path, test::PatternBytes(4096, 7));
    return path;
  }

  // The sample disk with its dynamic header's cookie wiped: a VHD, damaged.
  std::filesystem::path DamagedVhd(const std::string& name) {
    const std::filesystem::path path = dir / name;
    std::vector<std::uint8_t> bytes = test::ReadFileBytes(kSampleDisk);
    std::fill_n(bytes.begin() + 512, 8, 0);
    test::WriteFileBytes(path, bytes);
    return path;
  }
};

TEST(VPathTest, BrowsedSampleDiskIsAcceptedAsTheCurrentSource) {
  VPathHarness harness;
  EXPECT_EQ(harness.dialog.windowTitle(), QStringLiteral(" Virtual Path Selection"));
  harness.dialog.chooseFile = [] { return ToQ(kSampleDisk); };
  ASSERT_TRUE(ClickNamed(&harness.dialog, "browseButton"));
  auto* edit = harness.dialog.findChild<QLineEdit*>(QStringLiteral("pathEdit"));
  ASSERT_NE(edit, nullptr);
  EXPECT_TRUE(edit->isReadOnly());
  EXPECT_EQ(edit->text(), ToQ(kSampleDisk));
  EXPECT_EQ(harness.session.source.virtualDisk, nullptr);  // Browse alone accepts nothing

  EXPECT_EQ(harness.ClickOk(), "");
  EXPECT_FALSE(harness.dialog.isVisible());
  EXPECT_EQ(harness.dialog.result(), QDialog::Accepted);
  EXPECT_NE(harness.session.source.virtualDisk, nullptr);
  EXPECT_EQ(harness.session.source.displayName, "sample.vhd");
}

// The program's own image opens from its first piece, after a virtual disk.
TEST(VPathTest, AnImageFolderOpensFromItsFirstPiece) {
  VPathHarness harness;
  harness.dialog.chooseFile = [] { return ToQ(kSampleDisk); };
  ASSERT_TRUE(ClickNamed(&harness.dialog, "browseButton"));
  ASSERT_EQ(harness.ClickOk(), "");
  const std::filesystem::path piece = harness.dir / "DiskImage0.dmg";
  test::WriteFileBytes(piece, test::ReadFileBytes(kSampleDisk));
  harness.dialog.chooseFile = [&] { return ToQ(piece); };
  harness.dialog.show();
  ASSERT_TRUE(ClickNamed(&harness.dialog, "browseButton"));
  EXPECT_EQ(harness.ClickOk(), "");
  EXPECT_TRUE(harness.session.source.isImage());
  EXPECT_EQ(harness.session.source.virtualDisk, nullptr);
  EXPECT_EQ(harness.session.source.imageFolder, harness.dir.path());
}

TEST(VPathTest, EmptyPathIsRefusedAndTheDialogStaysOpen) {
  VPathHarness harness;
  // A cancelled file dialog changes nothing.
  harness.dialog.chooseFile = [] { return QString(); };
  ClickNamed(&harness.dialog, "browseButton");
  EXPECT_EQ(harness.ClickOk(), "Please specify Virtual Path to continue further.");
  EXPECT_TRUE(harness.dialog.isVisible());
  EXPECT_EQ(harness.session.source.virtualDisk, nullptr);
}

TEST(VPathTest, RefusalsAreShownOnEveryOkUntilAGoodFileIsChosen) {
  VPathHarness harness;
  harness.dialog.ChoosePath(ToQ(harness.DamagedVhd("damaged.vhd")));
  EXPECT_EQ(harness.ClickOk(), "This virtual file is highly corrupted. Cannot recover data.");
  EXPECT_TRUE(harness.dialog.isVisible());

  harness.dialog.ChoosePath(ToQ(harness.UnknownFile("unknown.bin")));
  EXPECT_EQ(harness.ClickOk(), "Please select valid file.");
  // The probe went with the first OK; the second probes the file again.
  EXPECT_EQ(harness.ClickOk(), "Please select valid file.");
  EXPECT_TRUE(harness.dialog.isVisible());
  EXPECT_EQ(harness.session.source.virtualDisk, nullptr);

  harness.dialog.ChoosePath(ToQ(kSampleDisk));
  EXPECT_EQ(harness.ClickOk(), "");
  EXPECT_EQ(harness.dialog.result(), QDialog::Accepted);
}

TEST(VPathTest, CancelKeepsTheAcceptedDisk) {
  VPathHarness harness;
  harness.dialog.ChoosePath(ToQ(kSampleDisk));
  ASSERT_EQ(harness.ClickOk(), "");
  const VirtualDisk* accepted = harness.session.source.virtualDisk;

  harness.dialog.open();
  harness.dialog.ChoosePath(ToQ(harness.UnknownFile("other.vdi")));
  ClickNamed(&harness.dialog, "cancelButton");
  EXPECT_FALSE(harness.dialog.isVisible());
  EXPECT_EQ(harness.dialog.result(), QDialog::Rejected);
  EXPECT_EQ(harness.session.source.virtualDisk, accepted);
}

TEST(VPathTest, OpenedAgainAVboxIsResolvedAfresh) {
  VPathHarness harness;
  std::filesystem::copy_file(kSampleDisk, harness.dir / "disk.vhd");
  harness.DamagedVhd("damaged.vhd");
  const std::filesystem::path vbox = harness.dir / "machine.VBOX";
  const auto nameDisk = [&](const std::string& name) {
    std::ofstream(vbox) << "<HardDisk uuid=\"{1}\" location=\"" << name << "\" format=\"VHD\"/>\n";
  };
  nameDisk("disk.vhd");
  harness.dialog.ChoosePath(ToQ(vbox));
  ASSERT_EQ(harness.ClickOk(), "");
  EXPECT_EQ(harness.session.source.displayName, "disk.vhd");

  // The machine now names a damaged disk: the same choice is refused.
  nameDisk("damaged.vhd");
  harness.dialog.open();
  EXPECT_EQ(harness.dialog.chosenPath(), ToQ(vbox));
  EXPECT_EQ(harness.ClickOk(), "This virtual file is highly corrupted. Cannot recover data.");
  EXPECT_EQ(harness.session.source.displayName, "disk.vhd");
}

}  // namespace
}  // namespace korv
