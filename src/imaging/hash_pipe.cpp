#include "imaging/hash_pipe.h"

namespace korv {

namespace {

// Enough for the copy to run one buffer ahead of the hash and back.
constexpr std::size_t kBuffers = 3;

}  // namespace

HashPipe::HashPipe(std::size_t bufferBytes) : buffers_(kBuffers) {
  for (std::size_t i = 0; i < kBuffers; ++i) {
    buffers_[i].resize(bufferBytes);
    free_.push_back(i);
  }
  helper_ = std::thread([this] { Serve(); });
}

HashPipe::~HashPipe() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  if (helper_.joinable()) helper_.join();
}

std::span<std::uint8_t> HashPipe::Acquire() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !free_.empty(); });
  acquired_ = free_.front();
  free_.pop_front();
  return buffers_[acquired_];
}

void HashPipe::Hand(std::size_t bytes) {
  {
    std::lock_guard lock(mutex_);
    handed_.push_back({acquired_, std::min(bytes, buffers_[acquired_].size())});
  }
  changed_.notify_all();
}

void HashPipe::Serve() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return closing_ || !handed_.empty(); });
    if (handed_.empty()) return;  // closing with nothing left to hash
    const Handed next = handed_.front();
    handed_.pop_front();
    lock.unlock();
    hash_.Add(std::span(buffers_[next.buffer]).first(next.bytes));
    lock.lock();
    free_.push_back(next.buffer);
    changed_.notify_all();
  }
}

std::string HashPipe::Finish() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  if (helper_.joinable()) helper_.join();
  return hash_.FinishHex();
}

}  // namespace korv
