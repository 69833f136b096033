#include "common/worker_control.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace korv {
namespace {

// Waits (briefly) for the worker thread to reach its checkpoint's wait.
bool WaitParked(const WorkerControl &control) {
  for (int i = 0; i < 2000 && !control.parked(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return control.parked();
}

TEST(WorkerControlTest, PauseBlocksAtTheCheckpointUntilResumeOrStop) {
  WorkerControl control;
  EXPECT_TRUE(control.checkpoint());
  EXPECT_FALSE(control.parked());

  control.RequestPause();
  EXPECT_FALSE(control.parked());  // asked for, not yet taken
  std::atomic<int> passed{0};
  std::thread worker([&] { passed = control.checkpoint() ? 1 : 2; });
  ASSERT_TRUE(WaitParked(control));
  EXPECT_EQ(passed.load(), 0);  // still held
  control.Resume();
  worker.join();
  EXPECT_EQ(passed.load(), 1);
  EXPECT_FALSE(control.parked());

  control.RequestPause();
  std::thread stopped([&] { passed = control.checkpoint() ? 1 : 2; });
  ASSERT_TRUE(WaitParked(control));
  control.RequestStop();
  stopped.join();
  EXPECT_EQ(passed.load(), 2);
  EXPECT_FALSE(control.parked());

  control.Resume();
  control.Reset();
  EXPECT_TRUE(control.checkpoint());
}

TEST(WorkerControlTest, APauseAskedBeforeTheWorkerStartsOutlivesTheReset) {
  WorkerControl control;
  control.RequestAbandon();
  control.RequestPause();
  std::atomic<int> passed{0};
  std::thread worker([&] {
    control.Reset();  // the worker's own start clears the last run's Back
    passed = control.checkpoint() ? 1 : 2;
  });
  ASSERT_TRUE(WaitParked(control));
  EXPECT_FALSE(control.abandoned());
  control.RequestAbandon();
  worker.join();
  EXPECT_EQ(passed.load(), 2);
}

}  // namespace
}  // namespace korv
