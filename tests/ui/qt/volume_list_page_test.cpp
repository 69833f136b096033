// The volume list of Partition Data Recovery: on its own over a list of
// volumes (the tree, the fields, which nodes pick a volume, Next, Back, the
// empty list), and in the whole wizard over the lost-partition disks, from
// the typed range through the scan and the copy to the results page and
// back.
#include "ui/qt/pages/volume_list_page.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTreeWidget>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>

#include "qt_test_support.h"
#include "scripted_host.h"
#include "ui/logic/volume_list.h"
#include "ui/qt/controls/hover_button.h"
#include "ui/qt/controls/page_toolbar.h"
#include "ui/qt/log/log_commands.h"
#include "ui/qt/pages/mode_page.h"
#include "ui/qt/pages/results_page.h"
#include "ui/qt/pages/source_page.h"
#include "ui/qt/pages/wizard_window.h"

namespace korv {
namespace {

using test::ClickNamed;
using test::WaitUntil;
using test::WhenDialogOpens;

VolumeCandidate Volume(FileSystemKind fileSystem, std::uint64_t first, std::uint64_t end) {
  VolumeCandidate volume;
  volume.fileSystem = fileSystem;
  volume.firstSector = first;
  volume.endSector = end;
  volume.sectorsPerCluster = 8;
  volume.cluster0Sector = static_cast<std::uint32_t>(first + 100);
  volume.fat1FirstSector = static_cast<std::uint32_t>(first + 32);
  return volume;
}

struct VolumePageHarness {
  test::ScriptedHost host;
  std::unique_ptr<ExhaustiveDisplayPartitionInformation> page;
  QTreeWidget* tree = nullptr;

  explicit VolumePageHarness(VolumeCandidateList volumes) {
    Session& session = host.session();
    session.volumeCandidates = std::move(volumes);
    session.wizard.mode = RecoveryMode::PartitionData;
    session.wizard.rangeRun = true;
    session.range.endSector = 9000;
    page = std::make_unique<ExhaustiveDisplayPartitionInformation>(host);
    page->resize(900, 700);
    page->show();
    page->Open();
    tree = page->findChild<QTreeWidget*>(QStringLiteral("volumeTree"));
  }

  QString Value(const char* name) const { return page->findChild<QLabel*>(QString::fromLatin1(name))->text(); }
  CHoverButton* Button(const char* name) const { return page->findChild<CHoverButton*>(QString::fromLatin1(name)); }
  QTreeWidgetItem* Root() const { return tree->topLevelItem(0); }
};

VolumeCandidateList ThreeVolumes() {
  return {Volume(FileSystemKind::Ntfs, 2048, 2048 + 2097153), Volume(FileSystemKind::Fat32, 4096, 6144),
          Volume(FileSystemKind::Fat16, 0, 0)};
}

TEST(VolumeListPageTest, ListsTheVolumesUnderTheRootWithTheFirstSelected) {
  VolumePageHarness harness(ThreeVolumes());
  ASSERT_EQ(harness.tree->topLevelItemCount(), 1);
  QTreeWidgetItem* root = harness.Root();
  EXPECT_EQ(root->text(0).toStdString(), kVolumeTreeRoot);
  ASSERT_EQ(root->childCount(), 3);
  EXPECT_EQ(root->child(0)->text(0), QStringLiteral("File System 1 - NTFS"));
  EXPECT_EQ(root->child(1)->text(0), QStringLiteral("File System 2 - FAT32"));
  EXPECT_EQ(root->child(2)->text(0), QStringLiteral("File System 3 - FAT16"));
  EXPECT_EQ(harness.tree->currentItem(), root->child(0));
  EXPECT_EQ(harness.page->selectedVolume(), 1);
  EXPECT_TRUE(harness.Button("nextButton")->isEnabled());
  EXPECT_EQ(harness.host.session().wizard.activePage, ActivePage::PartitionResults);
  EXPECT_TRUE(harness.host.messages.empty());

  // Save Log and Help.
  auto* toolbar = harness.page->findChild<PageToolbar*>(QStringLiteral("pageToolbar"));
  EXPECT_TRUE(toolbar->button(ToolbarButton::Help)->isEnabled());
  EXPECT_TRUE(toolbar->button(ToolbarButton::SaveLog)->isEnabled());
}

struct ShownCase {
  int node;  // from 0
  const char* type;
  const char* size;
  const char* start;
  const char* end;
};

class VolumeFields : public ::testing::TestWithParam<ShownCase> {};

// The fields of each node: 1 GB and 512 bytes shows in gigabytes, a volume
// with no known extent takes the range's end and its cluster-0 sector.
TEST_P(VolumeFields, ShowTheSelectedVolume) {
  VolumePageHarness harness(ThreeVolumes());
  const ShownCase& shown = GetParam();
  harness.tree->setCurrentItem(harness.Root()->child(shown.node));
  EXPECT_EQ(harness.page->selectedVolume(), shown.node + 1);
  EXPECT_EQ(harness.Value("typeValue"), QString::fromLatin1(shown.type));
  EXPECT_EQ(harness.Value("sizeValue"), QString::fromLatin1(shown.size));
  EXPECT_EQ(harness.Value("startValue"), QString::fromLatin1(shown.start));
  EXPECT_EQ(harness.Value("endValue"), QString::fromLatin1(shown.end));
}

INSTANTIATE_TEST_SUITE_P(Nodes, VolumeFields,
                         ::testing::Values(ShownCase{0, "NTFS", "1 GB", "2048", "2099201"},
                                           ShownCase{1, "FAT32", "1 MB", "4096", "6144"},
                                           ShownCase{2, "FAT16", "4 MB", "100", "9000"}));

// The number comes from the node, not its text: a node whose text names
// another volume still picks its own, and the root picks nothing.
TEST(VolumeListPageTest, TheRootPicksNothingAndTheNodeNotItsTextNamesTheVolume) {
  VolumePageHarness harness(ThreeVolumes());
  harness.tree->setCurrentItem(harness.Root());
  EXPECT_EQ(harness.page->selectedVolume(), 0);
  EXPECT_FALSE(harness.Button("nextButton")->isEnabled());
  EXPECT_TRUE(harness.Value("typeValue").isEmpty());
  QTest::mouseClick(harness.Button("nextButton"), Qt::LeftButton);
  EXPECT_TRUE(harness.host.volumeCopies.empty());

  QTreeWidgetItem* second = harness.Root()->child(1);
  second->setText(0, QStringLiteral("File System 3 - FAT16"));
  harness.tree->setCurrentItem(second);
  ASSERT_TRUE(harness.Button("nextButton")->isEnabled());
  QTest::mouseClick(harness.Button("nextButton"), Qt::LeftButton);
  EXPECT_EQ(harness.host.volumeCopies, std::vector<std::int64_t>{2});

  // Coming back selects the volume picked before.
  harness.page->Returned();
  EXPECT_EQ(harness.page->selectedVolume(), 2);
}

TEST(VolumeListPageTest, AnEmptyListSaysSoOnceAndPicksNothing) {
  VolumePageHarness harness({});
  ASSERT_TRUE(WaitUntil([&] { return !harness.host.messages.empty(); }));
  harness.page->hide();
  harness.page->show();
  QTest::qWait(50);
  EXPECT_EQ(harness.host.messages, std::vector<std::string>{std::string(kMsgNoPartitionRecognised)});
  EXPECT_EQ(harness.Root()->childCount(), 0);
  EXPECT_EQ(harness.page->selectedVolume(), 0);
  EXPECT_FALSE(harness.Button("nextButton")->isEnabled());
}

TEST(VolumeListPageTest, BackFreesTheListAndTheStore) {
  VolumePageHarness harness(ThreeVolumes());
  QTest::mouseClick(harness.Button("backButton"), Qt::LeftButton);
  EXPECT_EQ(harness.host.volumeListsClosed, 1);
  EXPECT_TRUE(harness.host.session().volumeCandidates.empty());
  EXPECT_EQ(harness.host.session().store.fileCount(), 0);
  EXPECT_EQ(harness.host.session().runFlags.rangePhase, 0);
}

// The whole wizard over a disk whose partitions were lost.
struct LostDisk {
  const char* container;
  const char* raw;  // its entry in the manifest
  int pick;         // from 1
};

void PrintTo(const LostDisk& disk, std::ostream* out) { *out << disk.container << " volume " << disk.pick; }

std::filesystem::path VolumesDir() { return test::TestDisksDir() / "partition-volumes"; }

nlohmann::json ManifestEntry(const std::string& raw) {
  std::ifstream in(VolumesDir() / "manifest.json");
  const nlohmann::json manifest = nlohmann::json::parse(in);
  for (const nlohmann::json& disk : manifest["disks"]) {
    if (disk["file"] == raw) return disk;
  }
  ADD_FAILURE() << "no disk " << raw;
  return {};
}

struct WizardOverDisk {
  test::TempDir dir;
  std::unique_ptr<WizardWindow> window;

  explicit WizardOverDisk(const std::filesystem::path& disk) {
    WizardWindow::Options options;
    options.session = SessionOptions{dir.path() / "inventory.json", false};
    options.preselectedPath = QString::fromStdString(disk.string());
    options.showSplash = false;
    options.exitProcess = [] {};
    options.openUrl = [](const QUrl&) { return true; };
    window = std::make_unique<WizardWindow>(std::move(options));
    bool answered = false;
    WhenDialogOpens([](QWidget* dialog) { ClickNamed(dialog, "okButton"); }, &answered);
    window->Launch();
    EXPECT_TRUE(WaitUntil([&] { return answered && QApplication::activeModalWidget() == nullptr; }));
  }

  template <typename T>
  T* Find(QWidget* page, const char* name) const {
    return page->findChild<T*>(QString::fromLatin1(name));
  }
};

class PartitionWizard : public ::testing::TestWithParam<LostDisk> {};

TEST_P(PartitionWizard, ScansTheRangeListsTheVolumesCopiesThePickedOneAndComesBack) {
  const LostDisk& disk = GetParam();
  const nlohmann::json written = ManifestEntry(disk.raw);
  WizardOverDisk wizard(VolumesDir() / disk.container);
  WizardWindow& window = *wizard.window;
  ASSERT_TRUE(window.modePage()->modeButton(RecoveryMode::PartitionData)->isEnabled());
  QTest::mouseClick(window.modePage()->modeButton(RecoveryMode::PartitionData), Qt::LeftButton);
  ASSERT_EQ(window.currentPage(), WizardPage::Source);

  // The disk's node stands for the device the range is on.
  QWidget* source = window.sourcePage();
  auto* sources = wizard.Find<QTreeWidget>(source, "sourceTree");
  const auto diskNode = [&] {
    const auto found = sources->findItems(QStringLiteral("Disk0"), Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
  };
  ASSERT_TRUE(WaitUntil([&] { return diskNode() != nullptr; }));
  sources->setCurrentItem(diskNode());

  // The range group: shown, its fields greyed until Select Range.
  auto* selectRange = wizard.Find<QCheckBox>(source, "selectRange");
  auto* starting = wizard.Find<QLineEdit>(source, "startingRange");
  auto* ending = wizard.Find<QLineEdit>(source, "endingRange");
  auto* fileSystem = wizard.Find<QComboBox>(source, "fileSystemChoice");
  ASSERT_TRUE(WaitUntil([&] { return selectRange->isVisible(); }));
  EXPECT_FALSE(starting->isEnabled() || ending->isEnabled() || fileSystem->isEnabled());
  selectRange->setChecked(true);
  ASSERT_TRUE(starting->isEnabled() && ending->isEnabled() && fileSystem->isEnabled());
  starting->setText(QString::number(written["first"].get<std::uint64_t>()));
  ending->setText(QString::number(written["end"].get<std::uint64_t>()));
  fileSystem->setCurrentText(QString::fromStdString(written["fileSystem"].get<std::string>()));

  // A refusal of Next would wait for an answer: record it and close it. The
  // watch leaves alone what opens once the scan has started.
  // The watch may outlive this test: it holds nothing of the test's own.
  auto refusal = std::make_shared<std::string>();
  QPointer<WizardWindow> watched(&window);
  WhenDialogOpens(
      [refusal, watched](QWidget* dialog) {
        if (watched == nullptr || watched->currentPage() != WizardPage::Source) return;
        *refusal = test::DialogText(dialog);
        ClickNamed(dialog, "okButton");
      },
      nullptr, 3000);
  QTest::mouseClick(wizard.Find<CHoverButton>(source, "nextButton"), Qt::LeftButton);
  EXPECT_EQ(*refusal, "");
  ASSERT_TRUE(WaitUntil([&] { return window.currentPage() == WizardPage::PartitionResults; }, 60000));

  // One node per volume mkfs wrote, in disk order.
  auto* tree = wizard.Find<QTreeWidget>(window.volumePage(), "volumeTree");
  const nlohmann::json& volumes = written["volumes"];
  ASSERT_EQ(tree->topLevelItem(0)->childCount(), static_cast<int>(volumes.size()));
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    const std::string expected =
        "File System " + std::to_string(i + 1) + " - " + volumes[i]["fileSystem"].get<std::string>();
    EXPECT_EQ(tree->topLevelItem(0)->child(static_cast<int>(i))->text(0).toStdString(), expected);
  }
  auto* next = wizard.Find<CHoverButton>(window.volumePage(), "nextButton");
  tree->setCurrentItem(tree->topLevelItem(0));
  EXPECT_FALSE(next->isEnabled());
  tree->setCurrentItem(tree->topLevelItem(0)->child(disk.pick - 1));
  const nlohmann::json& picked = volumes[disk.pick - 1];
  if (picked["bootSurvives"].get<bool>()) {
    EXPECT_EQ(wizard.Find<QLabel>(window.volumePage(), "startValue")->text().toULongLong(),
              picked["firstSector"].get<std::uint64_t>());
  }

  // "Save Log" keeps the list and the scan's finds for later.
  const std::filesystem::path log = wizard.dir / "scan.kvfr";
  window.volumePage()->logSaver().choosePath = [&] { return LogPathChoice(QString::fromStdString(log.string())); };
  QTest::mouseClick(wizard.Find<PageToolbar>(window.volumePage(), "pageToolbar")->button(ToolbarButton::SaveLog),
                    Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return !window.volumePage()->logSaver().saving() && window.volumePage()->isEnabled(); }));
  EXPECT_TRUE(std::filesystem::exists(log));

  // Next: the copy, then the results page with the picked volume's files.
  ASSERT_TRUE(next->isEnabled());
  QTest::mouseClick(next, Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return window.currentPage() == WizardPage::Results; }, 60000));
  EXPECT_EQ(window.session().runFlags.pickedVolume, disk.pick);
  EXPECT_GT(window.session().store.fileCount(), 0);
  const int pickedFiles = window.session().store.fileCount();
  EXPECT_FALSE(window.menuAction(MenuItem::FormattedDataRecovery)->isEnabled());

  // Back from the results page returns to the list with the same volume.
  WhenDialogOpens([](QWidget* ask) { ClickNamed(ask, "yesButton"); });
  QTest::mouseClick(wizard.Find<CHoverButton>(window.resultsPage(), "backButton"), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return window.currentPage() == WizardPage::PartitionResults; }));
  EXPECT_EQ(window.volumePage()->selectedVolume(), disk.pick);
  EXPECT_EQ(window.session().volumeCandidates.size(), volumes.size());

  // Back from the list frees it and returns to the source page.
  QTest::mouseClick(wizard.Find<CHoverButton>(window.volumePage(), "backButton"), Qt::LeftButton);
  EXPECT_EQ(window.currentPage(), WizardPage::Source);
  EXPECT_EQ(window.session().wizard.activePage, ActivePage::Source);
  EXPECT_TRUE(window.session().volumeCandidates.empty());
  EXPECT_EQ(window.session().store.fileCount(), 0);

  // The log brings the list back without a scan, and the same pick gives
  // the same files.
  window.sourcePage()->chooseLogFile = [&] { return LogPathChoice(QString::fromStdString(log.string())); };
  window.menuAction(MenuItem::LoadLog)->trigger();
  ASSERT_TRUE(WaitUntil([&] { return window.currentPage() == WizardPage::PartitionResults; }, 60000));
  EXPECT_EQ(window.windowTitle(), "Korvane Vireon - Partition Data Recovery");
  ASSERT_EQ(tree->topLevelItem(0)->childCount(), static_cast<int>(volumes.size()));
  tree->setCurrentItem(tree->topLevelItem(0)->child(disk.pick - 1));
  QTest::mouseClick(next, Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return window.currentPage() == WizardPage::Results; }, 60000));
  EXPECT_EQ(window.session().store.fileCount(), pickedFiles);
  WhenDialogOpens([](QWidget* ask) { ClickNamed(ask, "yesButton"); });
  QTest::mouseClick(wizard.Find<CHoverButton>(window.resultsPage(), "backButton"), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return window.currentPage() == WizardPage::PartitionResults; }));
  QTest::mouseClick(wizard.Find<CHoverButton>(window.volumePage(), "backButton"), Qt::LeftButton);
  EXPECT_EQ(window.currentPage(), WizardPage::Source);
  EXPECT_FALSE(window.session().runFlags.logLoaded);
}

INSTANTIATE_TEST_SUITE_P(Disks, PartitionWizard,
                         ::testing::Values(LostDisk{"two-fat.vhd", "two-fat.raw", 2},
                                           LostDisk{"lost-fat32.qcow2", "lost-fat32.raw", 1},
                                           LostDisk{"lost-ntfs.vhd", "lost-ntfs.raw", 1}));

}  // namespace
}  // namespace korv
