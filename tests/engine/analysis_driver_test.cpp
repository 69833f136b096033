// The analysis driver and what a run shows: the refresh rules, the size and
// sector displays, the clock, the choice of worker and its texts, and pause,
// stop and Back through the worker control.
#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "app/session.h"
#include "support/store_paths.h"
#include "support/test_support.h"

namespace korv {
namespace {

using namespace std::chrono_literals;

TEST(AnalysisProgressTest, SizeTextSwitchesUnitsAfterOneGigabyte) {
  EXPECT_EQ(FoundSizeText(0), "0.000 MB");
  EXPECT_EQ(FoundSizeText(1ULL << 30), "1024.000 MB");
  EXPECT_EQ(FoundSizeText((1ULL << 30) + 1), "1.000 GB");
  EXPECT_EQ(FoundSizeText(3ULL << 40), "3.000 TB");
}

TEST(AnalysisProgressTest, OnlyEveryThousandthReportReachesTheSinkAndNoneWhileHidden) {
  test::RecordingProgress sink;
  AnalysisProgress progress(sink);
  for (int i = 1; i <= 1999; ++i) progress.Refresh(i, 2, i, u"name", RefreshKind::Size);
  EXPECT_EQ(sink.last(ProgressField::Files), "1000");
  EXPECT_EQ(sink.last(ProgressField::Folders), "2");
  EXPECT_EQ(sink.last(ProgressField::LastName), "name");

  progress.HideDetails();
  const std::size_t shown = sink.texts.size();
  for (int i = 0; i < 3000; ++i) progress.Refresh(i, 2, i, u"hidden", RefreshKind::Size);
  EXPECT_EQ(sink.texts.size(), shown);
  progress.ShowDetails();
  for (int i = 0; i < 1000; ++i) progress.Refresh(5, 2, 7, u"again", RefreshKind::Size);
  EXPECT_EQ(sink.last(ProgressField::LastName), "again");
}

TEST(AnalysisProgressTest, SectorReportsGoToTheStatusLineOnNtfsScans) {
  test::RecordingProgress sink;
  AnalysisProgress progress(sink);
  progress.SetRefreshInterval(1);
  progress.SetRangeEnd(5000);
  progress.Refresh((1ULL << 32) + 77, 1, 2, u"x", RefreshKind::Sector);
  EXPECT_EQ(sink.last(ProgressField::Sector), "77 / 5000");
  progress.SetSectorsInStatusLine(true);
  progress.Refresh(80, 1, 2, u"x", RefreshKind::Sector, 3);
  EXPECT_EQ(sink.last(ProgressField::Status), std::string(kSectorStatusPrefix) + "80 / 5000");
  EXPECT_EQ(sink.last(ProgressField::IndexCount), "3");
  // Unchanged values are not written again.
  const std::size_t shown = sink.texts.size();
  progress.Refresh(80, 1, 2, u"x", RefreshKind::Sector, 3);
  EXPECT_EQ(sink.texts.size(), shown);
}

// A run of sectors counted at once shows exactly what one call per sector
// would, whatever the interval and the count already reached.
TEST(AnalysisProgressTest, SectorRunsShowWhatOneCallPerSectorWould) {
  for (const int interval : {1, 3, 1000}) {
    test::RecordingProgress each;
    test::RecordingProgress runs;
    AnalysisProgress one(each);
    AnalysisProgress many(runs);
    for (AnalysisProgress* progress : {&one, &many}) {
      progress->SetRefreshInterval(interval);
      progress->SetRangeEnd(90000);
    }
    std::uint64_t sector = 0;
    for (const std::uint64_t count : {0, 1, 2, 999, 1000, 1001, 2500, 7}) {
      for (std::uint64_t i = 0; i < count; ++i) one.Refresh(sector + i, 4, 5, u"n", RefreshKind::Sector, 6);
      many.RefreshSectors(sector, count, 4, 5, u"n", 6);
      sector += count;
      one.Refresh(sector, 4, 5, u"m", RefreshKind::Sector, 6);
      many.Refresh(sector, 4, 5, u"m", RefreshKind::Sector, 6);
      ++sector;
    }
    EXPECT_EQ(runs.texts, each.texts) << interval;
  }
}

TEST(AnalysisClockTest, TimePausedIsNotCounted) {
  AnalysisClock clock;
  const auto start = AnalysisClock::Clock::time_point{} + 1000s;
  EXPECT_EQ(clock.Text(start), "0 : 0 : 0");
  clock.Start(start);
  EXPECT_EQ(clock.Text(start + 70s), "0 : 1 : 10");
  clock.Pause(start + 70s);
  EXPECT_EQ(clock.Text(start + 100s), "0 : 1 : 10");
  clock.Resume(start + 100s);
  EXPECT_EQ(clock.Text(start + 101s), "0 : 1 : 11");
  EXPECT_EQ(clock.Text(start + 3s + 2h + 100s), "2 : 1 : 13");
}

// A sink that acts on the worker control when the walk shows its first
// percentage, as a user pressing a button mid-run would.
class ActingSink final : public ProgressSink {
 public:
  explicit ActingSink(std::function<void()> act) : act_(std::move(act)) {}
  void SetText(ProgressField field, std::string_view text) override {
    std::lock_guard lock(mutex_);
    texts[field] = std::string(text);
  }
  void SetPercent(int) override {
    if (!acted_.exchange(true)) act_();
  }
  void Pulse() override {}
  std::string text(ProgressField field) {
    std::lock_guard lock(mutex_);
    return texts[field];
  }

 private:
  std::function<void()> act_;
  std::atomic<bool> acted_{false};
  std::mutex mutex_;
  std::map<ProgressField, std::string> texts;
};

class DriverTest : public ::testing::Test {
 protected:
  void Open() {
    ASSERT_TRUE(session.OpenVirtualFile(test::TestDisksDir() / "basic-dynamic.vhd").accepted);
    ASSERT_TRUE(session.SelectPartition(1));
  }
  test::TempDir dir;
  test::ScriptedPrompts prompts;
  Session session{prompts, SessionOptions{dir / "inventory.json", false}};
};

TEST_F(DriverTest, ShowsTheRunsTextsAndStartsTheClock) {
  Open();
  ActingSink sink([] {});
  AnalysisProgress progress(sink);
  EXPECT_EQ(session.Analyse(RecoveryMode::DeletedData, progress), AnalysisOutcome::DeletedRunEnded);
  EXPECT_EQ(sink.text(ProgressField::Banner), kBannerDeleted);
  EXPECT_EQ(sink.text(ProgressField::Mode), kModeDeleted);
  EXPECT_EQ(sink.text(ProgressField::Device), kDeviceVirtualDisk);
  EXPECT_EQ(sink.text(ProgressField::Capacity), "24.0 MB");
  EXPECT_EQ(sink.text(ProgressField::SizeLabel), kLabelTotalSize);
  EXPECT_TRUE(progress.clockRunning());
  EXPECT_EQ(session.analysisParameters.fileSystem, FileSystemKind::Ntfs);
  EXPECT_EQ(session.analysisParameters.boot, session.bootParameters);
}

TEST_F(DriverTest, AnUnknownFileSystemStartsNoWorkerAndNoClock) {
  Open();
  session.range.fileSystem = FileSystemKind::Unknown;
  test::RecordingProgress sink;
  AnalysisProgress progress(sink);
  AnalysisJob job = session.MakeAnalysisJob(progress);
  EXPECT_EQ(RunAnalysis(job), AnalysisOutcome::NoWorker);
  EXPECT_FALSE(progress.clockRunning());
  EXPECT_EQ(session.store.folderCount(), 0);
}

TEST_F(DriverTest, ABootSectorThatDescribesNoVolumeIsRefusedWithAMessage) {
  Open();
  session.range.fileSystem = FileSystemKind::Fat32;  // the partition holds NTFS
  test::RecordingProgress sink;
  AnalysisProgress progress(sink);
  EXPECT_EQ(session.AnalyseSelectedRange(RecoveryMode::DeletedData, progress), AnalysisOutcome::NoWorker);
  EXPECT_EQ(prompts.messages, std::vector<std::string>{std::string(kMsgBootSectorUnreadable)});
}

TEST_F(DriverTest, StopEndsTheWalkAndShowsWhatWasFoundUnderItsParents) {
  Open();
  std::size_t fullCount = 0;
  {
    NullProgress sink;
    AnalysisProgress progress(sink);
    ASSERT_EQ(session.Analyse(RecoveryMode::DeletedData, progress), AnalysisOutcome::DeletedRunEnded);
    fullCount = static_cast<std::size_t>(session.store.fileCount());
  }
  ActingSink sink([this] { session.worker.RequestStop(); });
  AnalysisProgress progress(sink);
  EXPECT_EQ(session.Analyse(RecoveryMode::DeletedData, progress), AnalysisOutcome::DeletedRunEnded);
  EXPECT_GT(session.store.fileCount(), 0);
  EXPECT_LT(static_cast<std::size_t>(session.store.fileCount()), fullCount);
  // Counts start again from zero for each run, and every item can be reached.
  const test::FoundTree tree = test::StorePaths(session.store, NtfsRootNumber);
  std::size_t files = 0;
  for (const auto& [path, item] : tree.items) files += item.folder ? 0 : 1;
  EXPECT_EQ(files, static_cast<std::size_t>(session.store.fileCount()));
}

TEST_F(DriverTest, BackEndsTheRunAndClearsTheStore) {
  Open();
  ActingSink sink([this] { session.worker.RequestAbandon(); });
  AnalysisProgress progress(sink);
  AnalysisJob job = session.MakeAnalysisJob(progress);
  ASSERT_TRUE(ReadSelectedBootParameters(session.sectors, session.bootParameters));
  session.analysisParameters = {session.bootParameters, FileSystemKind::Ntfs};
  EXPECT_EQ(RunAnalysis(job), AnalysisOutcome::Abandoned);
  EXPECT_EQ(session.store.folderCount(), 0);
  EXPECT_EQ(session.store.fileCount(), 0);
  EXPECT_FALSE(session.runFlags.logLoaded);
}

// Back while a recovery log's lists load: the store is cleared as after an
// analysis, and the log is no longer the one being read.
TEST_F(DriverTest, BackEndsALogReplayAndClearsTheStore) {
  Open();
  {
    NullProgress quiet;
    AnalysisProgress analysed(quiet);
    ASSERT_EQ(session.Analyse(RecoveryMode::DeletedData, analysed), AnalysisOutcome::DeletedRunEnded);
  }
  const std::filesystem::path log = dir / "run.kvfr";
  ASSERT_FALSE(session.SaveLog(log, false));
  ASSERT_FALSE(session.LoadLogHeader(log));
  ActingSink sink([this] { session.worker.RequestAbandon(); });
  AnalysisProgress progress(sink);
  EXPECT_EQ(session.ReplayLog(progress), AnalysisOutcome::Abandoned);
  EXPECT_EQ(session.store.folderCount(), 0);
  EXPECT_EQ(session.store.fileCount(), 0);
  EXPECT_FALSE(session.runFlags.logLoaded);
}

TEST_F(DriverTest, PauseHoldsTheWorkerUntilResumed) {
  Open();
  ActingSink sink([this] { session.worker.RequestPause(); });
  AnalysisProgress progress(sink);
  auto run = std::async(std::launch::async, [&] { return session.Analyse(RecoveryMode::DeletedData, progress); });
  while (!session.worker.paused()) std::this_thread::yield();
  EXPECT_EQ(run.wait_for(100ms), std::future_status::timeout);
  const auto heldCount = session.store.fileCount();
  EXPECT_EQ(session.store.fileCount(), heldCount);
  session.worker.Resume();
  EXPECT_EQ(run.get(), AnalysisOutcome::DeletedRunEnded);
  EXPECT_GT(session.store.fileCount(), heldCount);
}

}  // namespace
}  // namespace korv
