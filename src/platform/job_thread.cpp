#include "platform/job_thread.h"

#include <utility>

namespace korv {

JobThread::JobThread() : thread_([this] { Serve(); }) {}

JobThread::~JobThread() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  thread_.join();
}

void JobThread::Start(std::function<void()> job) {
  {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return !job_ && !busy_; });
    job_ = std::move(job);
  }
  changed_.notify_all();
}

void JobThread::Wait() {
  std::unique_lock lock(mutex_);
  changed_.wait(lock, [this] { return !job_ && !busy_; });
}

void JobThread::Serve() {
  std::unique_lock lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return closing_ || job_; });
    if (closing_) return;
    std::function<void()> job = std::exchange(job_, nullptr);
    busy_ = true;
    lock.unlock();
    job();
    lock.lock();
    busy_ = false;
    changed_.notify_all();
  }
}

}  // namespace korv
