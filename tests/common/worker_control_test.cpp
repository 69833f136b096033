#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "common/worker_control.h"

namespace korv {
namespace {

TEST(WorkerControlTest, PauseBlocksAtTheCheckpointUntilResumeOrStop) {
  WorkerControl control;
  EXPECT_TRUE(control.checkpoint());

  control.RequestPause();
  std::atomic<int> passed{0};
  std::thread worker([&] {
    if (control.checkpoint()) passed = 1;
    else passed = 2;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(passed.load(), 0);  // still held
  control.Resume();
  worker.join();
  EXPECT_EQ(passed.load(), 1);

  control.RequestPause();
  std::thread stopped([&] { passed = control.checkpoint() ? 1 : 2; });
  control.RequestStop();
  stopped.join();
  EXPECT_EQ(passed.load(), 2);

  control.Reset();
  EXPECT_TRUE(control.checkpoint());
}

}  // namespace
}  // namespace korv
