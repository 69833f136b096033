// The analysis page over a real Deleted Data Recovery run of the sample disk:
// its texts, the run's end, and Pause, Stop, Back and Hide Details as a user
// meets them. The sample runs in a blink, so the runs that must be caught
// under way are held at their first checkpoint by a pause asked for before
// they start.
#include "ui/qt/pages/analysis_page.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QRegularExpression>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "app/session.h"
#include "qt_test_support.h"
#include "scripted_host.h"
#include "support/test_support.h"
#include "ui/logic/wizard_flow.h"
#include "ui/qt/controls/gradient_progress.h"
#include "ui/qt/pictures.h"
#include "ui/qt/qt_prompts.h"
#include "ui/qt/wizard_host.h"

namespace korv {
namespace {

using test::ClickNamed;
using test::WaitUntil;

const std::filesystem::path kSampleDisk = KORV_SOURCE_DIR "/samples/sample.vhd";

using FakeHost = test::ScriptedHost;

// The sample's NTFS partition, chosen for Deleted Data Recovery.
void ChooseSamplePartition(Session& session, int partition) {
  ASSERT_TRUE(session.OpenVirtualFile(kSampleDisk).accepted);
  ASSERT_TRUE(session.SelectPartition(partition));
  ChooseMode(session.wizard, RecoveryMode::DeletedData);
}

struct Counts {
  std::int32_t folders = 0;
  std::int32_t files = 0;
};

// What the engine finds on the partition without any window.
Counts HeadlessCounts(int partition) {
  test::TempDir dir;
  test::ScriptedPrompts prompts;
  Session session(prompts, SessionOptions{dir.path() / "inventory.json", false});
  EXPECT_TRUE(session.OpenVirtualFile(kSampleDisk).accepted);
  EXPECT_TRUE(session.SelectPartition(partition));
  NullProgress sink;
  AnalysisProgress progress(sink);
  EXPECT_EQ(session.AnalyseSelectedRange(RecoveryMode::DeletedData, progress), AnalysisOutcome::DeletedRunEnded);
  return {session.store.folderCount(), session.store.fileCount()};
}

class AnalysisPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ChooseSamplePartition(host.session(), 1);
    page = std::make_unique<RecoveryAnalysis>(host);
    page->resize(1000, 620);
    page->show();
  }

  QString Text(const char* name) const { return page->findChild<QLabel*>(QString::fromLatin1(name))->text(); }
  QWidget* Control(const char* name) const { return page->findChild<QWidget*>(QString::fromLatin1(name)); }
  QString Caption(const char* name) const {
    return page->findChild<QAbstractButton*>(QString::fromLatin1(name))->text();
  }
  bool WaitForEnd() {
    return WaitUntil([&] { return !host.outcomes.empty(); });
  }

  // Starts a run that is held at its first checkpoint.
  void StartHeld() {
    host.session().worker.RequestPause();
    page->Start();
    ASSERT_TRUE(WaitUntil([&] { return host.session().worker.parked(); }));
  }

  FakeHost host;
  std::unique_ptr<RecoveryAnalysis> page;
};

TEST_F(AnalysisPageTest, ARunShowsItsTextsAndEndsWithTheStoreFilled) {
  page->Start();
  EXPECT_EQ(host.session().wizard.activePage, ActivePage::Analysis);
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(host.outcomes, std::vector{AnalysisOutcome::DeletedRunEnded});
  EXPECT_FALSE(page->running());

  const Counts expected = HeadlessCounts(1);
  EXPECT_EQ(host.session().store.folderCount(), expected.folders);
  EXPECT_EQ(host.session().store.fileCount(), expected.files);
  EXPECT_GT(expected.files, 5);

  const Session& session = host.session();
  EXPECT_EQ(Text("modeValue"), ToQString(kModeDeleted));
  EXPECT_EQ(Text("deviceValue"), ToQString(kDeviceVirtualDisk));
  EXPECT_EQ(Text("capacityValue"), ToQString(CapacityText(session.range, 512)));
  EXPECT_EQ(Text("bannerText"), ToQString(kBannerDeleted));
  EXPECT_EQ(Text("headingText"), ToQString(kAnalysisHeading));
  EXPECT_EQ(Text("sizeLabel"), ToQString(kLabelTotalSize));
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+ : \\d+ : \\d+$")).match(Text("elapsedValue")).hasMatch());
  EXPECT_FALSE(page->findChild<QLabel*>(QStringLiteral("stepPicture"))->pixmap().isNull());
  EXPECT_TRUE(host.questions.empty());
  // The finished run leaves nothing to press.
  EXPECT_FALSE(Control("stopButton")->isEnabled());
  EXPECT_FALSE(Control("pauseButton")->isEnabled());
}

TEST_F(AnalysisPageTest, TheFatWalkHidesTheSectorLineForGood) {
  page.reset();
  FakeHost fatHost;
  ChooseSamplePartition(fatHost.session(), 2);
  RecoveryAnalysis fatPage(fatHost);
  fatPage.show();
  fatPage.Start();
  ASSERT_TRUE(WaitUntil([&] { return !fatHost.outcomes.empty(); }));
  EXPECT_EQ(fatHost.outcomes, std::vector{AnalysisOutcome::DeletedRunEnded});
  EXPECT_GT(fatHost.session().store.fileCount(), 0);
  EXPECT_FALSE(fatPage.findChild<QWidget*>(QStringLiteral("sectorValue"))->isVisible());
  EXPECT_FALSE(fatPage.findChild<QWidget*>(QStringLiteral("sectorLabel"))->isVisible());
  EXPECT_TRUE(fatPage.findChild<QWidget*>(QStringLiteral("foldersValue"))->isVisible());
}

TEST_F(AnalysisPageTest, TheFatWalkPulsesTheBarUntilPaused) {
  page.reset();
  FakeHost fatHost;
  ChooseSamplePartition(fatHost.session(), 2);
  RecoveryAnalysis fatPage(fatHost);
  fatPage.show();
  fatHost.session().worker.RequestPause();
  fatPage.Start();
  auto* bar = fatPage.findChild<CGradientProgressCtrl*>(QStringLiteral("pulseBar"));
  // The walk has begun (and asked for the pulse) before its first checkpoint.
  ASSERT_TRUE(WaitUntil([&] { return bar->position() == 1; }, 5000));
  ASSERT_TRUE(ClickNamed(&fatPage, "pauseButton"));
  ASSERT_TRUE(WaitUntil([&] { return fatPage.showsPaused(); }));
  QTest::qWait(2100);
  EXPECT_EQ(bar->position(), 1);
  ASSERT_TRUE(ClickNamed(&fatPage, "pauseButton"));
  ASSERT_TRUE(WaitUntil([&] { return !fatHost.outcomes.empty(); }));
  EXPECT_EQ(fatHost.outcomes, std::vector{AnalysisOutcome::DeletedRunEnded});
}

TEST_F(AnalysisPageTest, PauseShowsOnlyOnceTheWorkerHasParkedAndResumeRunsOnToTheEnd) {
  StartHeld();
  EXPECT_FALSE(page->showsPaused());  // the page did not ask for this hold
  ASSERT_TRUE(ClickNamed(page.get(), "pauseButton"));
  // Asked for, but the page has not yet seen the worker take it.
  EXPECT_EQ(Caption("pauseButton"), ToQString(kCaptionPause));
  ASSERT_TRUE(WaitUntil([&] { return page->showsPaused(); }));
  EXPECT_TRUE(host.session().worker.parked());
  EXPECT_EQ(Caption("pauseButton"), ToQString(kCaptionResume));

  // Held, the run neither ends nor moves its clock.
  const QString clock = Text("elapsedValue");
  QTest::qWait(1300);
  EXPECT_TRUE(host.outcomes.empty());
  EXPECT_EQ(Text("elapsedValue"), clock);

  ASSERT_TRUE(ClickNamed(page.get(), "pauseButton"));
  EXPECT_EQ(Caption("pauseButton"), ToQString(kCaptionPause));
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(host.outcomes, std::vector{AnalysisOutcome::DeletedRunEnded});
  EXPECT_EQ(host.session().store.fileCount(), HeadlessCounts(1).files);
  EXPECT_FALSE(host.session().worker.paused());
}

TEST_F(AnalysisPageTest, StopAnsweredYesEndsTheWalkWithWhatItFound) {
  StartHeld();
  host.answers = {true};
  ASSERT_TRUE(ClickNamed(page.get(), "stopButton"));
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(host.questions, std::vector{std::string(kQuestionStopAnalysis)});
  EXPECT_EQ(host.outcomes, std::vector{AnalysisOutcome::DeletedRunEnded});
  // The walk ended at its first record: far less than the whole partition.
  EXPECT_LT(host.session().store.fileCount(), HeadlessCounts(1).files);
  EXPECT_FALSE(host.session().worker.paused());
}

TEST_F(AnalysisPageTest, StopAnsweredNoLetsTheRunGoOnToItsEnd) {
  StartHeld();
  host.answers = {false};
  ASSERT_TRUE(ClickNamed(page.get(), "stopButton"));
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(host.questions, std::vector{std::string(kQuestionStopAnalysis)});
  EXPECT_EQ(host.outcomes, std::vector{AnalysisOutcome::DeletedRunEnded});
  EXPECT_EQ(host.session().store.fileCount(), HeadlessCounts(1).files);
}

TEST_F(AnalysisPageTest, BackAnsweredYesAbandonsTheRunAndEmptiesTheStore) {
  StartHeld();
  host.answers = {true};
  ASSERT_TRUE(ClickNamed(page.get(), "backButton"));
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(host.questions, std::vector{std::string(kQuestionGoBack)});
  EXPECT_EQ(host.outcomes, std::vector{AnalysisOutcome::Abandoned});
  EXPECT_EQ(host.session().store.folderCount(), 0);
  EXPECT_EQ(host.session().store.fileCount(), 0);
}

TEST_F(AnalysisPageTest, BackAnsweredNoResumesEvenAPausedRun) {
  StartHeld();
  ASSERT_TRUE(ClickNamed(page.get(), "pauseButton"));
  ASSERT_TRUE(WaitUntil([&] { return page->showsPaused(); }));
  host.answers = {false};
  ASSERT_TRUE(ClickNamed(page.get(), "backButton"));
  // No resumes the run, as it does for Stop.
  ASSERT_TRUE(WaitForEnd());
  EXPECT_EQ(host.outcomes, std::vector{AnalysisOutcome::DeletedRunEnded});
}

TEST_F(AnalysisPageTest, HideAndShowDetailsRelabelAndHideTheDetailLines) {
  StartHeld();
  const std::vector<const char*> details = {"sizeLabel",   "sizeValue",  "foldersLabel",  "foldersValue",
                                            "filesLabel",  "filesValue", "lastNameLabel", "lastNameValue",
                                            "sectorLabel", "sectorValue"};
  EXPECT_EQ(Caption("detailsButton"), ToQString(kCaptionHideDetails));
  ASSERT_TRUE(ClickNamed(page.get(), "detailsButton"));
  EXPECT_EQ(Caption("detailsButton"), ToQString(kCaptionShowDetails));
  for (const char* name : details) EXPECT_FALSE(Control(name)->isVisible()) << name;
  EXPECT_TRUE(Control("modeValue")->isVisible());
  EXPECT_TRUE(Control("elapsedValue")->isVisible());

  ASSERT_TRUE(ClickNamed(page.get(), "detailsButton"));
  EXPECT_EQ(Caption("detailsButton"), ToQString(kCaptionHideDetails));
  for (const char* name : details) EXPECT_TRUE(Control(name)->isVisible()) << name;

  host.session().worker.Resume();
  ASSERT_TRUE(WaitForEnd());
}

TEST_F(AnalysisPageTest, ClosingThePageDuringARunAbandonsIt) {
  StartHeld();
  page.reset();
  EXPECT_TRUE(host.outcomes.empty());
  EXPECT_EQ(host.session().store.fileCount(), 0);
  EXPECT_FALSE(host.session().worker.parked());
}

TEST_F(AnalysisPageTest, ThePageRunsAgainAfterARunEnded) {
  page->Start();
  ASSERT_TRUE(WaitForEnd());
  page->Start();
  ASSERT_TRUE(WaitUntil([&] { return host.outcomes.size() == 2; }));
  EXPECT_EQ(host.outcomes[1], AnalysisOutcome::DeletedRunEnded);
  EXPECT_EQ(host.session().store.fileCount(), HeadlessCounts(1).files);
}

}  // namespace
}  // namespace korv
