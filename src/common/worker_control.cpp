#include "common/worker_control.h"

namespace korv {

void WorkerControl::RequestPause() { paused_.store(true); }

void WorkerControl::Resume() {
  {
    std::lock_guard lock(mutex_);
    paused_.store(false);
  }
  wake_.notify_all();
}

void WorkerControl::RequestStop() {
  {
    std::lock_guard lock(mutex_);
    stop_.store(true);
  }
  wake_.notify_all();
}

void WorkerControl::RequestAbandon() {
  {
    std::lock_guard lock(mutex_);
    abandon_.store(true);
  }
  wake_.notify_all();
}

void WorkerControl::Reset() {
  {
    std::lock_guard lock(mutex_);
    stop_.store(false);
    abandon_.store(false);
  }
  wake_.notify_all();
}

bool WorkerControl::checkpoint() {
  if (paused_.load()) {
    std::unique_lock lock(mutex_);
    parked_.store(true);
    wake_.wait(lock, [this] { return !paused_.load() || stop_.load() || abandon_.load(); });
    parked_.store(false);
  }
  return !stop_.load() && !abandon_.load();
}

}  // namespace korv
