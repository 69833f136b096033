// The results page's two short workers: one builds the tree or ticks a
// subtree, one extracts a file. Work runs on a thread of its own; what is
// to be done at its end runs on the UI thread, carried there by a queued
// call. An end whose worker was waited for is dropped, and while a question
// is asked the ends wait for its answer, as a worker paused for the
// question would.
//
// The owner waits for both workers (WaitAll) before it goes.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <thread>
#include <vector>

class QObject;

namespace korv {

class Store;

// Stores with at least this many folders and files are built and ticked on
// a worker; smaller ones are done before the next paint anyway.
inline constexpr std::size_t kBackgroundItemCount = 50'000;

class ResultsWorkers {
 public:
  enum class Lane { Tree, Preview };

  // Ends are queued to `context`, which lives on the UI thread.
  explicit ResultsWorkers(QObject& context) : context_(context) {}
  ResultsWorkers(const ResultsWorkers&) = delete;
  ResultsWorkers& operator=(const ResultsWorkers&) = delete;

  // Whether work that grows with `store` goes to a worker.
  bool RunsInBackground(const Store& store) const;
  void SetBackgroundItemCount(std::size_t items) { backgroundItems_ = items; }

  // Runs `work` on the lane's thread, then `then` on the UI thread. A
  // worker still running on the lane is waited for first.
  void Start(Lane lane, std::function<void()> work, std::function<void()> then);
  bool running(Lane lane) const { return worker(lane).thread.joinable(); }
  // Waits for both workers and drops every end still to come or held.
  void WaitAll();
  // From now on no end runs: the owner is going.
  void TearDown() { tearingDown_ = true; }

  // Asks a question (`ask` returns the answer) while ends wait for it.
  bool AskHolding(const std::function<bool()>& ask);
  bool holding() const { return holding_; }
  // Runs the ends that waited for an answer.
  void ReplayHeld();

 private:
  // A worker's thread, whether its work is done, and which start a queued
  // end belongs to.
  struct Worker {
    std::thread thread;
    std::atomic<bool> done{true};
    unsigned generation = 0;
  };

  Worker& worker(Lane lane) { return lane == Lane::Tree ? tree_ : preview_; }
  const Worker& worker(Lane lane) const { return lane == Lane::Tree ? tree_ : preview_; }
  void Finish(Worker& worker, unsigned generation, const std::function<void()>& then);
  void Wait(Worker& worker);

  QObject& context_;
  Worker tree_;
  Worker preview_;
  bool holding_ = false;
  bool tearingDown_ = false;
  std::vector<std::function<void()>> held_;
  std::size_t backgroundItems_ = kBackgroundItemCount;
};

}  // namespace korv
