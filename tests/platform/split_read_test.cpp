#include "platform/split_read.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <thread>

#include "platform/read_buffer.h"
#include "support/test_support.h"

namespace korv {
namespace {

constexpr std::size_t kKiB = 1024;
constexpr std::size_t kFileBytes = 3 * kSplitReadMinBytes + 1000;

struct SplitCase {
  std::uint64_t offset;
  std::size_t length;
};

class SplitReadTest : public ::testing::TestWithParam<SplitCase> {
 protected:
  void SetUp() override {
    content_ = test::PatternBytes(kFileBytes, 7);
    test::WriteFileBytes(dir_ / "f", content_);
    file_ = File::OpenReadOnly(dir_ / "f");
    ASSERT_TRUE(file_);
  }

  // What one read on one thread gives.
  std::size_t ExpectedLength(std::uint64_t offset, std::size_t length) const {
    if (offset >= content_.size()) return 0;
    return static_cast<std::size_t>(std::min<std::uint64_t>(length, content_.size() - offset));
  }

  test::TempDir dir_;
  std::vector<std::uint8_t> content_;
  std::unique_ptr<File> file_;
};

// Reads whose halves both land in the file, or whose end, or first half,
// falls past its end, or that start past it: the bytes and the length are
// those of one plain read.
TEST_P(SplitReadTest, ReadsAsOnePlainRead) {
  const SplitCase c = GetParam();
  ReadBuffer out(c.length, 0xEE);
  const std::size_t got = ReadAtOnTwoThreads(*file_, c.offset, out);
  const std::size_t expected = ExpectedLength(c.offset, c.length);
  ASSERT_EQ(got, expected);
  EXPECT_TRUE(
      std::equal(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(got),
                 content_.begin() + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(c.offset, kFileBytes))));
}

INSTANTIATE_TEST_SUITE_P(Lengths, SplitReadTest,
                         ::testing::Values(SplitCase{0, 4 * kKiB}, SplitCase{0, kSplitReadMinBytes},
                                           SplitCase{512, kSplitReadMinBytes + 512}, SplitCase{0, kFileBytes},
                                           SplitCase{kFileBytes - kSplitReadMinBytes, kSplitReadMinBytes + 8 * kKiB},
                                           SplitCase{kFileBytes - 10, 2 * kSplitReadMinBytes},
                                           SplitCase{kFileBytes + 1, kSplitReadMinBytes},
                                           SplitCase{UINT64_MAX - kKiB, kSplitReadMinBytes}));

TEST_F(SplitReadTest, CallersOnSeveralThreadsEachGetTheirOwnBytes) {
  std::vector<std::thread> readers;
  std::vector<int> failures(4, 0);
  for (std::size_t t = 0; t < failures.size(); ++t) {
    readers.emplace_back([&, t] {
      ReadBuffer out(kSplitReadMinBytes + 4 * kKiB);
      for (int round = 0; round < 50; ++round) {
        const std::uint64_t offset = (t * 3 + static_cast<std::uint64_t>(round)) * 4 * kKiB;
        const std::size_t got = ReadAtOnTwoThreads(*file_, offset, out);
        const bool same = got == out.size() &&
                          std::equal(out.begin(), out.end(), content_.begin() + static_cast<std::ptrdiff_t>(offset));
        if (!same) ++failures[t];
      }
    });
  }
  for (auto& reader : readers) reader.join();
  EXPECT_EQ(failures, std::vector<int>(failures.size(), 0));
}

// Handles that are not ReadsFromAnyThread may keep state between reads: only
// their caller reads them.
class ThreadRecordingHandle final : public ReadHandle {
 public:
  std::size_t ReadAt(std::uint64_t, std::span<std::uint8_t> out) override {
    const std::lock_guard lock(mutex_);
    threads_.insert(std::this_thread::get_id());
    std::fill(out.begin(), out.end(), std::uint8_t{1});
    return out.size();
  }
  std::uint64_t Size() override { return UINT64_MAX; }
  std::set<std::thread::id> threads() {
    const std::lock_guard lock(mutex_);
    return threads_;
  }

 private:
  std::mutex mutex_;
  std::set<std::thread::id> threads_;
};

TEST(SplitReadHandles, OtherHandlesAreReadOnTheCallersThread) {
  ThreadRecordingHandle handle;
  ReadBuffer out(4 * kSplitReadMinBytes);
  EXPECT_EQ(ReadAtOnTwoThreads(handle, 0, out), out.size());
  EXPECT_EQ(handle.threads(), std::set<std::thread::id>{std::this_thread::get_id()});
}

}  // namespace
}  // namespace korv
