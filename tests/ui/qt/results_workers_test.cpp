// The results page's short workers without the page: each end runs once on
// the UI thread, an end whose worker was waited for is dropped, ends wait
// while a question is asked, and nothing runs once the owner tears down.
#include "ui/qt/results/results_workers.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QThread>
#include <atomic>
#include <vector>

#include "engine/store.h"
#include "qt_test_support.h"

namespace korv {
namespace {

using test::WaitUntil;
using Lane = ResultsWorkers::Lane;

class ResultsWorkersTest : public ::testing::Test {
 protected:
  QObject context;
  ResultsWorkers workers{context};
  std::vector<int> ends;

  ~ResultsWorkersTest() override { workers.WaitAll(); }

  // Starts `lane` with work that runs off the UI thread and an end that
  // records `id` and where it ran.
  void StartRecording(Lane lane, int id, std::atomic<bool>* release = nullptr) {
    workers.Start(
        lane,
        [this, release] {
          offUiThread = QThread::currentThread() != context.thread();
          while (release != nullptr && !release->load()) QThread::msleep(1);
        },
        [this, id] {
          endOnUiThread = QThread::currentThread() == context.thread();
          ends.push_back(id);
        });
  }

  std::atomic<bool> offUiThread{false};
  bool endOnUiThread = false;
};

TEST_F(ResultsWorkersTest, WorkRunsOffTheUiThreadAndItsEndOnIt) {
  StartRecording(Lane::Tree, 1);
  ASSERT_TRUE(WaitUntil([&] { return !ends.empty(); }));
  EXPECT_TRUE(offUiThread);
  EXPECT_TRUE(endOnUiThread);
  EXPECT_FALSE(workers.running(Lane::Tree));
  EXPECT_EQ(ends, std::vector{1});
}

TEST_F(ResultsWorkersTest, AStartOnABusyLaneDropsTheEndOfTheWorkerItWaitedFor) {
  std::atomic<bool> release{false};
  StartRecording(Lane::Preview, 1, &release);
  release = true;
  StartRecording(Lane::Preview, 2);
  ASSERT_TRUE(WaitUntil([&] { return !ends.empty() && !workers.running(Lane::Preview); }));
  EXPECT_EQ(ends, std::vector{2});
}

TEST_F(ResultsWorkersTest, EndsWaitForAQuestionsAnswerThenRunOnce) {
  StartRecording(Lane::Tree, 1);
  StartRecording(Lane::Preview, 2);
  const bool answer = workers.AskHolding([&] {
    EXPECT_TRUE(workers.holding());
    // The ends arrive while the question is open, as a dialog's loop lets them.
    EXPECT_TRUE(WaitUntil([&] { return !workers.running(Lane::Tree) && !workers.running(Lane::Preview); }));
    return true;
  });
  EXPECT_TRUE(answer);
  EXPECT_FALSE(workers.holding());
  EXPECT_TRUE(ends.empty());
  workers.ReplayHeld();
  EXPECT_EQ(ends.size(), 2u);
  workers.ReplayHeld();
  EXPECT_EQ(ends.size(), 2u);  // each held end runs once
}

TEST_F(ResultsWorkersTest, WaitAllAndTearDownDropEveryEnd) {
  StartRecording(Lane::Tree, 1);
  workers.AskHolding([&] { return WaitUntil([&] { return !workers.running(Lane::Tree); }); });
  workers.WaitAll();
  workers.ReplayHeld();
  EXPECT_TRUE(ends.empty());

  workers.TearDown();
  StartRecording(Lane::Preview, 2);
  ASSERT_TRUE(WaitUntil([&] { return !workers.running(Lane::Preview); }));
  EXPECT_TRUE(ends.empty());
}

TEST_F(ResultsWorkersTest, BackgroundFromTheGivenItemCount) {
  Store store;
  workers.SetBackgroundItemCount(0);
  EXPECT_TRUE(workers.RunsInBackground(store));
  workers.SetBackgroundItemCount(1);
  EXPECT_FALSE(workers.RunsInBackground(store));
}

}  // namespace
}  // namespace korv
