#include "storage/read_ahead.h"

#include <algorithm>

namespace korv {

ReadAhead::ReadAhead(ReadFunction read, std::uint32_t sectorBytes, std::uint32_t chunkSectors)
    : read_(std::move(read)), sectorBytes_(sectorBytes), chunkSectors_(std::max<std::uint32_t>(chunkSectors, 1)) {
  for (ReadBuffer& buffer : buffers_) buffer.assign(std::size_t{chunkSectors_} * sectorBytes_, 0);
  helper_ = std::thread([this] { Serve(); });
}

ReadAhead::~ReadAhead() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  helper_.join();
}

void ReadAhead::Issue(std::uint64_t first, std::uint32_t count) {
  count = std::min(count, chunkSectors_);
  const auto bytes = std::span(buffers_[next_]).first(std::size_t{count} * sectorBytes_);
  next_ ^= 1;
  {
    std::lock_guard lock(mutex_);
    wanted_ = Chunk{first, count, 0, bytes};
    done_.reset();
  }
  changed_.notify_all();
}

std::optional<ReadAhead::Chunk> ReadAhead::Take() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !wanted_ && !busy_; });
  std::optional<Chunk> chunk = done_;
  done_.reset();
  return chunk;
}

void ReadAhead::Wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !wanted_ && !busy_; });
}

void ReadAhead::Serve() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return closing_ || wanted_; });
    if (closing_) return;
    Chunk chunk = *wanted_;
    wanted_.reset();
    busy_ = true;
    lock.unlock();
    chunk.result = read_(chunk.first, chunk.count, chunk.bytes);
    lock.lock();
    done_ = chunk;
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace korv
