// JobThread runs every job it is given, in order, on one thread of its own,
// never two at once; what a job wrote is the caller's to read after Wait().
#include "platform/job_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <numeric>
#include <set>
#include <thread>
#include <vector>

namespace korv {
namespace {

TEST(JobThread, RunsEachJobInTurnOnOneOtherThread) {
  std::vector<int> order;
  std::set<std::thread::id> threads;
  std::atomic<int> running{0};
  int most = 0;
  {
    JobThread jobs;
    for (int i = 0; i < 50; ++i) {
      jobs.Start([&, i] {
        most = std::max(most, ++running);
        if (i % 10 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
        order.push_back(i);
        threads.insert(std::this_thread::get_id());
        --running;
      });
    }
    jobs.Wait();
    EXPECT_EQ(order.size(), 50u);
  }
  std::vector<int> expected(50);
  std::iota(expected.begin(), expected.end(), 0);
  EXPECT_EQ(order, expected);
  EXPECT_EQ(most, 1);
  ASSERT_EQ(threads.size(), 1u);
  EXPECT_NE(*threads.begin(), std::this_thread::get_id());
}

}  // namespace
}  // namespace korv
