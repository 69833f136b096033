#include "platform/split_read.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform/bytes.h"
#include "platform/read_buffer.h"

namespace korv {
namespace {

enum : std::uint32_t { kIdle, kPosted, kDone };

// Sequential readers post their next half within microseconds of the last,
// so each side first checks a few times before it sleeps in the kernel: a
// wake-up on an idle core costs as much as copying the half.
constexpr int kChecksBeforeSleep = 64;

class ReadHelper {
 public:
  ReadHelper() {
    try {
      std::thread([this] { Serve(); }).detach();
      started_ = true;
    } catch (const std::system_error&) {
      // No thread to be had: every read stays on its caller's thread.
    }
  }

  // The helper for one read of the caller's, or nothing when another
  // caller has it or it has no thread: the read then stays on one thread.
  std::unique_lock<std::mutex> TryAcquire() {
    if (!started_) return {};
    return std::unique_lock(owner_, std::try_to_lock);
  }

  void Post(const std::function<void()>& job) {
    job_ = &job;
    state_.store(kPosted, std::memory_order_release);
    state_.notify_all();
  }

  void AwaitDone() {
    AwaitState(kDone);
    state_.store(kIdle, std::memory_order_release);
  }

 private:
  void AwaitState(std::uint32_t wanted) {
    for (int i = 0; i < kChecksBeforeSleep; ++i) {
      if (state_.load(std::memory_order_acquire) == wanted) return;
      std::this_thread::yield();
    }
    for (std::uint32_t seen = state_.load(std::memory_order_acquire); seen != wanted;
         seen = state_.load(std::memory_order_acquire)) {
      state_.wait(seen, std::memory_order_acquire);
    }
  }

  [[noreturn]] void Serve() {
    for (;;) {
      AwaitState(kPosted);
      (*job_)();
      state_.store(kDone, std::memory_order_release);
      state_.notify_all();
    }
  }

  bool started_ = false;
  // Held by the one caller whose half the helper runs.
  std::mutex owner_;
  std::atomic<std::uint32_t> state_{kIdle};
  // Written by the owner before kPosted, run by the helper after it; what
  // the job writes is the owner's again after kDone.
  const std::function<void()>* job_ = nullptr;
};

ReadHelper& Helper() {
  // Never destroyed: a read may still be in flight on some thread while the
  // program exits, and the helper thread is detached.
  static ReadHelper& helper = *new ReadHelper;
  return helper;
}

}  // namespace

void RunOnTwoThreads(const std::function<void()>& here, const std::function<void()>& there) {
  ReadHelper& helper = Helper();
  const std::unique_lock owner = helper.TryAcquire();
  if (!owner) {
    here();
    there();
    return;
  }
  helper.Post(there);
  here();
  helper.AwaitDone();
}

std::size_t HalfOnPageBoundary(std::size_t bytes) { return (bytes / 2) & ~(kReadBufferAlignment - 1); }

std::size_t ReadAtOnTwoThreads(ReadHandle& file, std::uint64_t offset, std::span<std::uint8_t> out) {
  if (out.size() < kSplitReadMinBytes || !file.ReadsFromAnyThread()) return file.ReadAt(offset, out);
  const std::size_t half = HalfOnPageBoundary(out.size());
  if (!CheckedAdd(offset, std::uint64_t{half})) return file.ReadAt(offset, out);

  std::size_t first = 0;
  std::size_t second = 0;
  RunOnTwoThreads([&] { first = file.ReadAt(offset, out.first(half)); },
                  [&] { second = file.ReadAt(offset + half, out.subspan(half)); });
  return first < half ? first : half + second;
}

}  // namespace korv
