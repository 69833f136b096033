// The source page over the sample disk: the tree, the information panel,
// the range group of the range modes, and Next with its refusals, driven
// through a host that records what the page asks of it.
#include "ui/qt/pages/source_page.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTreeWidget>
#include <memory>

#include "app/session.h"
#include "engine/recovery_log.h"
#include "qt_test_support.h"
#include "support/test_support.h"
#include "ui/logic/wizard_flow.h"
#include "ui/qt/controls/hover_button.h"
#include "ui/qt/controls/page_toolbar.h"
#include "ui/qt/controls/pie_chart.h"
#include "ui/qt/wizard_host.h"
#include "volumes/source_tree.h"

namespace korv {
namespace {

using test::WaitUntil;

const std::filesystem::path kSampleDisk = KORV_SOURCE_DIR "/samples/sample.vhd";

class RecordingHost final : public WizardHost {
 public:
  explicit RecordingHost(const std::filesystem::path& inventory)
      : session_(prompts, SessionOptions{inventory, false}) {}

  Session& session() override { return session_; }
  QWidget* dialogParent() override { return nullptr; }
  void ShowMessage(std::string_view message) override { messages.emplace_back(message); }
  bool AskQuestion(std::string_view) override { return false; }
  void AskExit() override { ++exitQuestions; }
  void ShowHelp() override { ++helpShown; }
  void ShowAbout() override {}
  void CloseSourcePage() override { ++closes; }
  void OpenAnalysisPage() override { ++analysesOpened; }
  void OpenExtensionPage() override { ++extensionPagesOpened; }
  void CloseExtensionPage() override {}
  void OpenImagingPage() override { ++imagingPagesOpened; }
  void CloseImagingPage() override {}
  void OpenImagingRun(std::function<AnalysisOutcome(Session&, AnalysisProgress&)>) override {}
  void OpenVolumeScan() override { ++volumeScans; }
  void OpenLogReplay() override { ++logReplays; }
  void OpenVolumeCopy(std::int64_t) override {}
  void CloseVolumeList() override {}
  void AnalysisEnded(AnalysisOutcome) override {}
  void CloseResultsPage() override {}
  void RestartAsFormatted() override {}

  test::ScriptedPrompts prompts;
  std::vector<std::string> messages;
  int exitQuestions = 0;
  int helpShown = 0;
  int closes = 0;
  int analysesOpened = 0;
  int extensionPagesOpened = 0;
  int imagingPagesOpened = 0;
  int volumeScans = 0;
  int logReplays = 0;

 private:
  Session session_;
};

struct SourcePageHarness {
  test::TempDir dir;
  RecordingHost host{dir / "inventory.json"};
  std::unique_ptr<DeletedFilesRecovery> page;
  QTreeWidget* tree = nullptr;

  // Opens the sample disk, then the page in `mode` as the mode page would.
  explicit SourcePageHarness(RecoveryMode mode) {
    EXPECT_TRUE(session().OpenVirtualFile(kSampleDisk).accepted);
    ChooseMode(session().wizard, mode);
    page = std::make_unique<DeletedFilesRecovery>(host);
    page->resize(900, 700);
    page->Open();
    page->show();
    page->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(page.get()));
    tree = page->findChild<QTreeWidget*>(QStringLiteral("sourceTree"));
    EXPECT_TRUE(WaitUntil([this] { return tree->topLevelItemCount() > 0; }, 5000));
  }

  Session& session() { return host.session(); }

  template <typename T>
  T* Find(const char* name) const {
    return page->findChild<T*>(QString::fromLatin1(name));
  }

  QTreeWidgetItem* Item(const char* text) const {
    const auto found = tree->findItems(QString::fromLatin1(text), Qt::MatchExactly | Qt::MatchRecursive);
    return found.isEmpty() ? nullptr : found.first();
  }

  void Click(const char* text) {
    QTreeWidgetItem* item = Item(text);
    ASSERT_NE(item, nullptr) << text;
    tree->scrollToItem(item);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(item).center());
  }

  // Next from the keyboard: focus it, then space.
  void PressNext() {
    auto* next = Find<CHoverButton>("nextButton");
    next->setFocus(Qt::TabFocusReason);
    ASSERT_TRUE(next->hasFocus());
    QTest::keyClick(next, Qt::Key_Space);
  }

  std::vector<std::string> Lines() const {
    std::vector<std::string> lines;
    for (const QString& line : page->informationLines()) lines.push_back(line.toStdString());
    return lines;
  }
};

TEST(SourcePageTest, TreeListsTheSampleDiskAndPreselectsTheDisk) {
  SourcePageHarness harness(RecoveryMode::DeletedData);
  EXPECT_EQ(harness.session().wizard.activePage, ActivePage::Source);
  EXPECT_EQ(harness.page->windowTitle(), QStringLiteral("Korvane Vireon - Deleted Data Recovery"));

  QTreeWidget* tree = harness.tree;
  ASSERT_EQ(tree->topLevelItemCount(), 1);
  QTreeWidgetItem* root = tree->topLevelItem(0);
  EXPECT_EQ(root->text(0), QStringLiteral("This PC"));
  ASSERT_EQ(root->childCount(), 1);
  QTreeWidgetItem* group = root->child(0);
  EXPECT_EQ(group->text(0), QStringLiteral("Virtual Disks"));
  ASSERT_EQ(group->childCount(), 1);
  QTreeWidgetItem* disk = group->child(0);
  EXPECT_EQ(disk->text(0), QStringLiteral("Disk0"));
  ASSERT_EQ(disk->childCount(), 2);
  EXPECT_EQ(disk->child(0)->text(0), QStringLiteral("Partition - 1 ( NTFS )"));
  EXPECT_EQ(disk->child(1)->text(0), QStringLiteral("Partition - 2 ( FAT32 )"));
  EXPECT_TRUE(root->isExpanded() && group->isExpanded() && disk->isExpanded());
  EXPECT_FALSE(disk->icon(0).isNull());

  // The disk is selected as a click would, and the tree has the focus.
  EXPECT_EQ(tree->currentItem(), disk);
  EXPECT_TRUE(tree->hasFocus());
  const std::vector<std::string> lines = harness.Lines();
  EXPECT_EQ(lines[0], "Physical Disk Number : 0");
  EXPECT_EQ(lines[1].rfind("Model   : ", 0), 0U);
  EXPECT_EQ(lines[2].rfind("Media Type   : Virtual File", 0), 0U);
  EXPECT_EQ(lines[3].rfind("Disk Size  : ", 0), 0U);
  EXPECT_NE(lines[3], "Disk Size  : 0");

  auto* chart = harness.Find<CPieChartWnd>("pieChart");
  EXPECT_EQ(chart->title(), QStringLiteral("Drive Information"));
  ASSERT_EQ(chart->slices().size(), 2U);
  EXPECT_EQ(chart->slices()[0].label, QStringLiteral("Partition 1"));
  EXPECT_TRUE(harness.host.messages.empty());
}

TEST(SourcePageTest, SelectingPartitionsShowsTheirFourLinesAndMarksTheirSlice) {
  SourcePageHarness harness(RecoveryMode::FormattedData);
  harness.Click("Partition - 1 ( NTFS )");
  std::vector<std::string> lines = harness.Lines();
  EXPECT_EQ(lines[0], "Partition Type   : NTFS");
  EXPECT_EQ(lines[1], "Start Sector     : 2048");
  EXPECT_EQ(lines[2].rfind("End Sector       : ", 0), 0U);
  EXPECT_EQ(lines[3].rfind("Partition Size   : ", 0), 0U);
  EXPECT_EQ(harness.session().range.fileSystem, FileSystemKind::Ntfs);
  EXPECT_EQ(harness.Find<CPieChartWnd>("pieChart")->slices()[0].label, QStringLiteral("Selected Partition 1"));

  harness.Click("Partition - 2 ( FAT32 )");
  lines = harness.Lines();
  EXPECT_EQ(lines[0], "Partition Type   : FAT32");
  EXPECT_EQ(lines[1], "Start Sector     : " + std::to_string(harness.session().range.firstSector));
  EXPECT_EQ(harness.Find<CPieChartWnd>("pieChart")->slices()[1].label, QStringLiteral("Selected Partition 2"));
}

TEST(SourcePageTest, RangeGroupIsHiddenInThePartitionModes) {
  for (const RecoveryMode mode : {RecoveryMode::DeletedData, RecoveryMode::FormattedData}) {
    SourcePageHarness harness(mode);
    EXPECT_FALSE(harness.Find<QWidget>("rangeGroup")->isVisible());
    EXPECT_FALSE(harness.Find<QCheckBox>("selectRange")->isVisible());
  }
}

TEST(SourcePageTest, RangeModesShowTheSelectedDiskRangeInDisabledFieldsUntilSelectRange) {
  SourcePageHarness harness(RecoveryMode::RawData);
  auto* selectRange = harness.Find<QCheckBox>("selectRange");
  auto* starting = harness.Find<QLineEdit>("startingRange");
  auto* ending = harness.Find<QLineEdit>("endingRange");
  auto* fileSystem = harness.Find<QComboBox>("fileSystemChoice");
  ASSERT_TRUE(selectRange->isVisible());
  EXPECT_FALSE(selectRange->isChecked());
  EXPECT_FALSE(starting->isEnabled() || ending->isEnabled() || fileSystem->isEnabled());
  ASSERT_EQ(fileSystem->count(), 4);
  EXPECT_EQ(fileSystem->itemText(3), QStringLiteral("UNKNOWN"));

  // The preselected disk node: 63 up to the disk's sector count, UNKNOWN.
  EXPECT_EQ(starting->text(), QStringLiteral("63"));
  EXPECT_EQ(ending->text().toULongLong(), harness.session().range.endSector);
  EXPECT_GT(ending->text().toULongLong(), 63U);
  EXPECT_EQ(fileSystem->currentText(), QStringLiteral("UNKNOWN"));

  QTest::mouseClick(selectRange, Qt::LeftButton, {}, QPoint(8, selectRange->height() / 2));
  ASSERT_TRUE(selectRange->isChecked());
  EXPECT_TRUE(starting->isEnabled() && ending->isEnabled() && fileSystem->isEnabled());

  harness.Click("Partition - 2 ( FAT32 )");
  EXPECT_EQ(starting->text().toULongLong(), harness.session().range.firstSector);
  EXPECT_EQ(fileSystem->currentText(), QStringLiteral("FAT32"));

  // Load log is not offered in carving (and not built yet anyway).
  auto* toolbar = harness.Find<PageToolbar>("pageToolbar");
  EXPECT_TRUE(toolbar->button(ToolbarButton::Help)->isEnabled());
  EXPECT_FALSE(toolbar->button(ToolbarButton::LoadLog)->isEnabled());
}

TEST(SourcePageTest, NextRefusesInTheCheckOrderThroughTheHost) {
  SourcePageHarness harness(RecoveryMode::DeletedData);
  harness.Click("This PC");
  harness.PressNext();
  harness.Click("Virtual Disks");
  harness.PressNext();
  harness.Click("Disk0");
  harness.PressNext();
  const std::vector<std::string> refusals = {"Please select Logical Drive.", "Please select Virtual Disk.",
                                             "Select partition type"};
  EXPECT_EQ(harness.host.messages, refusals);
  EXPECT_EQ(harness.host.analysesOpened, 0);
}

TEST(SourcePageTest, NextOnAPartitionOpensTheAnalysisOnlyWhenNextHasTheFocus) {
  SourcePageHarness harness(RecoveryMode::DeletedData);
  harness.Click("Partition - 1 ( NTFS )");
  harness.session().range.badSectorPolicy = BadSectorPolicy::SkipAll;

  // Enter in the tree, and a click that does not reach the focus, start nothing.
  ASSERT_TRUE(harness.tree->hasFocus());
  QTest::keyClick(harness.tree, Qt::Key_Return);
  harness.Find<CHoverButton>("nextButton")->click();
  EXPECT_EQ(harness.host.analysesOpened, 0);
  EXPECT_TRUE(harness.host.messages.empty());

  harness.PressNext();
  EXPECT_EQ(harness.host.analysesOpened, 1);
  EXPECT_EQ(harness.session().range.badSectorPolicy, BadSectorPolicy::Retry);
  EXPECT_TRUE(harness.host.messages.empty());

  // Enter on the focused Next is the default button's key.
  QTest::keyClick(harness.Find<CHoverButton>("nextButton"), Qt::Key_Return);
  EXPECT_EQ(harness.host.analysesOpened, 2);

  harness.page->Returned();
  EXPECT_EQ(harness.session().wizard.activePage, ActivePage::Source);
}

struct TypedRange {
  const char* start;
  const char* end;
  const char* fileSystem;
  std::string_view refusal;  // empty: the scan starts
};

void PrintTo(const TypedRange& range, std::ostream* out) {
  *out << range.start << ".." << range.end << " " << range.fileSystem;
}

class PartitionRangeNext : public ::testing::TestWithParam<TypedRange> {};

// In Partition Data Recovery Next reads the typed range: a good one starts
// the scan for volumes, a bad one is refused and starts nothing.
TEST_P(PartitionRangeNext, StartsTheVolumeScanOnlyForAGoodRange) {
  SourcePageHarness harness(RecoveryMode::PartitionData);
  harness.Click("Disk0");
  auto* selectRange = harness.Find<QCheckBox>("selectRange");
  ASSERT_TRUE(selectRange->isVisible());
  selectRange->setChecked(true);
  harness.Find<QLineEdit>("startingRange")->setText(QString::fromLatin1(GetParam().start));
  harness.Find<QLineEdit>("endingRange")->setText(QString::fromLatin1(GetParam().end));
  harness.Find<QComboBox>("fileSystemChoice")->setCurrentText(QString::fromLatin1(GetParam().fileSystem));
  harness.PressNext();
  const bool good = GetParam().refusal.empty();
  EXPECT_EQ(harness.host.volumeScans, good ? 1 : 0);
  EXPECT_EQ(harness.host.analysesOpened, 0);
  if (good) {
    EXPECT_TRUE(harness.host.messages.empty());
    EXPECT_EQ(std::to_string(harness.session().range.firstSector), GetParam().start);
    EXPECT_EQ(std::to_string(harness.session().range.endSector), GetParam().end);
  } else {
    EXPECT_EQ(harness.host.messages, std::vector<std::string>{std::string(GetParam().refusal)});
  }
}

INSTANTIATE_TEST_SUITE_P(Ranges, PartitionRangeNext,
                         ::testing::Values(TypedRange{"63", "4000", "NTFS", {}}, TypedRange{"0", "70000", "FAT16", {}},
                                           TypedRange{"", "4000", "FAT32", kMsgStartNotValid},
                                           TypedRange{"4000", "63", "FAT32", kMsgRangeEndBiggerThanStart},
                                           TypedRange{"63", "4000", "UNKNOWN", kMsgSelectPartitionTypeDot}));

TEST(SourcePageTest, MouseClickOnNextStarts) {
  SourcePageHarness harness(RecoveryMode::FormattedData);
  harness.Click("Partition - 2 ( FAT32 )");
  QTest::mouseClick(harness.Find<CHoverButton>("nextButton"), Qt::LeftButton);
  EXPECT_EQ(harness.host.analysesOpened, 1);
}

TEST(SourcePageTest, BackForgetsTheSelectionEscapeAsksToExitHelpShowsHelp) {
  SourcePageHarness harness(RecoveryMode::DeletedData);
  harness.Click("Partition - 1 ( NTFS )");
  EXPECT_FALSE(harness.session().range.partitionText.empty());

  QTest::keyClick(harness.tree, Qt::Key_Escape);
  EXPECT_EQ(harness.host.exitQuestions, 1);
  QTest::mouseClick(harness.Find<PageToolbar>("pageToolbar")->button(ToolbarButton::Help), Qt::LeftButton);
  EXPECT_EQ(harness.host.helpShown, 1);

  QTest::mouseClick(harness.Find<CHoverButton>("backButton"), Qt::LeftButton);
  EXPECT_EQ(harness.host.closes, 1);
  EXPECT_TRUE(harness.session().range.selectedText.empty());
  EXPECT_TRUE(harness.session().range.partitionText.empty());
}

TEST(SourcePageTest, OpenedAgainTheTreeIsFilledAfresh) {
  SourcePageHarness harness(RecoveryMode::DeletedData);
  harness.Click("Partition - 2 ( FAT32 )");
  ChooseMode(harness.session().wizard, RecoveryMode::FormattedData);
  harness.page->Open();
  EXPECT_EQ(harness.Lines()[0], "Physical Disk Number : ");
  ASSERT_TRUE(WaitUntil([&] { return harness.tree->topLevelItemCount() > 0; }, 5000));
  EXPECT_EQ(harness.tree->currentItem()->text(0), QStringLiteral("Disk0"));
  EXPECT_EQ(harness.page->windowTitle(), QStringLiteral("Korvane Vireon - Formatted Data Recovery"));
}

// "Load log": the header is read on the page; every failure is said and
// leaves the page free to load again; a good log opens the replay in the
// log's mode, and the chain's return gives the page its own mode back.
TEST(SourcePageTest, LoadLogRefusesWhatItCannotUseAndOpensTheReplayOfAGoodLog) {
  SourcePageHarness harness(RecoveryMode::FormattedData);
  harness.Click("Partition - 2 ( FAT32 )");
  Session& session = harness.session();
  test::RecordingProgress sink;
  AnalysisProgress progress(sink);
  ASSERT_EQ(session.AnalyseSelectedRange(RecoveryMode::DeletedData, progress), AnalysisOutcome::DeletedRunEnded);
  const int files = session.store.fileCount();
  ASSERT_GT(files, 0);
  const std::filesystem::path good = harness.dir / "good.kvfr";
  ASSERT_FALSE(session.SaveLog(good, false));
  session.store.ClearStore();
  ChooseMode(session.wizard, RecoveryMode::FormattedData);
  std::vector<std::uint8_t> bytes = test::ReadFileBytes(good);
  bytes.resize(100);
  const std::filesystem::path cut = harness.dir / "cut.kvfr";
  test::WriteFileBytes(cut, bytes);

  const auto load = [&](LogPathChoice choice) {
    harness.page->chooseLogFile = [choice] { return choice; };
    QTest::mouseClick(harness.Find<PageToolbar>("pageToolbar")->button(ToolbarButton::LoadLog), Qt::LeftButton);
  };
  const auto path = [](const std::filesystem::path& file) { return LogPathChoice(QString::fromStdString(file.string())); };
  load(std::nullopt);
  EXPECT_TRUE(harness.host.messages.empty());
  load(QString());
  load(path(cut));
  load(path(harness.dir / "none.kvfr"));
  EXPECT_EQ(harness.host.messages,
            (std::vector<std::string>{std::string(kMsgLogNoPath), std::string(kMsgLogInvalid),
                                      std::string(kMsgLogOpenFailed)}));
  EXPECT_EQ(harness.host.logReplays, 0);
  EXPECT_FALSE(harness.page->loadingLog());
  EXPECT_FALSE(session.runFlags.logLoaded);
  EXPECT_EQ(session.wizard.mode, RecoveryMode::FormattedData);

  load(path(good));
  EXPECT_EQ(harness.host.logReplays, 1);
  EXPECT_TRUE(harness.page->loadingLog());
  EXPECT_TRUE(session.runFlags.logLoaded);
  EXPECT_EQ(session.wizard.mode, RecoveryMode::DeletedData);
  load(path(good));
  EXPECT_EQ(harness.host.logReplays, 1) << "a second load while the first one's chain is open";

  ASSERT_EQ(session.ReplayLog(progress), AnalysisOutcome::DeletedRunEnded);
  EXPECT_EQ(session.store.fileCount(), files);
  harness.page->Returned();
  EXPECT_FALSE(harness.page->loadingLog());
  EXPECT_FALSE(session.runFlags.logLoaded);
  EXPECT_EQ(session.wizard.mode, RecoveryMode::FormattedData);
  EXPECT_TRUE(session.wizard.formattedMode);
}

}  // namespace
}  // namespace korv
