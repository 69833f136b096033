#include "ui/qt/results/results_workers.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QObject>
#include <algorithm>
#include <chrono>
#include <utility>

#include "engine/store.h"

namespace korv {

namespace {

// How often a wait for a worker lets the UI thread's queue through.
constexpr int kWaitSliceMs = 10;

}  // namespace

bool ResultsWorkers::RunsInBackground(const Store& store) const {
  const auto items = static_cast<std::size_t>(std::max(0, store.folderCount())) +
                     static_cast<std::size_t>(std::max(0, store.fileCount()));
  return items >= backgroundItems_;
}

void ResultsWorkers::Start(Lane lane, std::function<void()> work, std::function<void()> then) {
  Worker& worker = this->worker(lane);
  Wait(worker);
  const unsigned generation = ++worker.generation;
  worker.done = false;
  worker.thread = std::thread([this, &worker, generation, work = std::move(work), then = std::move(then)] {
    work();
    worker.done = true;
    QMetaObject::invokeMethod(
        &context_, [this, &worker, generation, then] { Finish(worker, generation, then); }, Qt::QueuedConnection);
  });
}

void ResultsWorkers::Finish(Worker& worker, unsigned generation, const std::function<void()>& then) {
  if (generation != worker.generation || !worker.thread.joinable()) return;
  worker.thread.join();
  if (tearingDown_) return;
  if (holding_) {
    held_.push_back(then);
    return;
  }
  then();
}

// Waits for a worker and drops what it would have done at its end. A worker
// may be carrying a question (a bad sector) to this thread meanwhile, so the
// queue is let through rather than blocked on.
void ResultsWorkers::Wait(Worker& worker) {
  if (!worker.thread.joinable()) return;
  ++worker.generation;
  while (!worker.done.load()) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, kWaitSliceMs);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  worker.thread.join();
}

void ResultsWorkers::WaitAll() {
  Wait(tree_);
  Wait(preview_);
  held_.clear();
}

bool ResultsWorkers::AskHolding(const std::function<bool()>& ask) {
  holding_ = true;
  const bool yes = ask();
  holding_ = false;
  return yes;
}

void ResultsWorkers::ReplayHeld() {
  std::vector<std::function<void()>> ends = std::move(held_);
  held_.clear();
  for (const auto& end : ends) end();
}

}  // namespace korv
