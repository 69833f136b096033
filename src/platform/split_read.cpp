#include "platform/split_read.h"

#include <atomic>
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

  void Post(ReadHandle& file, std::uint64_t offset, std::span<std::uint8_t> out) {
    file_ = &file;
    offset_ = offset;
    out_ = out;
    state_.store(kPosted, std::memory_order_release);
    state_.notify_all();
  }

  std::size_t AwaitResult() {
    AwaitState(kDone);
    const std::size_t got = got_;
    state_.store(kIdle, std::memory_order_release);
    return got;
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
      got_ = file_->ReadAt(offset_, out_);
      state_.store(kDone, std::memory_order_release);
      state_.notify_all();
    }
  }

  bool started_ = false;
  // Held by the one caller whose half the helper reads.
  std::mutex owner_;
  std::atomic<std::uint32_t> state_{kIdle};
  // Written by the owner before kPosted, read by the helper after it; got_
  // the other way round around kDone.
  ReadHandle* file_ = nullptr;
  std::uint64_t offset_ = 0;
  std::span<std::uint8_t> out_;
  std::size_t got_ = 0;
};

ReadHelper& Helper() {
  // Never destroyed: a read may still be in flight on some thread while the
  // program exits, and the helper thread is detached.
  static ReadHelper& helper = *new ReadHelper;
  return helper;
}

}  // namespace

std::size_t ReadAtOnTwoThreads(ReadHandle& file, std::uint64_t offset, std::span<std::uint8_t> out) {
  if (out.size() < kSplitReadMinBytes || !file.ReadsFromAnyThread()) return file.ReadAt(offset, out);
  const std::size_t half = (out.size() / 2) & ~(kReadBufferAlignment - 1);
  if (!CheckedAdd(offset, std::uint64_t{half})) return file.ReadAt(offset, out);

  ReadHelper& helper = Helper();
  const std::unique_lock owner = helper.TryAcquire();
  if (!owner) return file.ReadAt(offset, out);
  helper.Post(file, offset + half, out.subspan(half));
  const std::size_t first = file.ReadAt(offset, out.first(half));
  const std::size_t second = helper.AwaitResult();
  return first < half ? first : half + second;
}

}  // namespace korv
