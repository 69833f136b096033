// Cooperative control of the one engine worker. The front end asks for a
// pause or a stop; the worker calls checkpoint() between records, chunks or
// files, which blocks while paused and tells the worker whether to go on.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace korv {

class WorkerControl {
 public:
  void RequestPause();
  void Resume();
  void RequestStop();
  // Back: the worker ends as soon as it can and its results are thrown away.
  void RequestAbandon();
  // A stop is consumed by the step it ended; the next step runs again.
  void ClearStop() { stop_.store(false); }
  // Clears a stop or Back so the control can serve the next worker. A pause
  // stays: one asked for while the worker was still starting holds it at its
  // first checkpoint instead of being lost.
  void Reset();

  bool paused() const { return paused_.load(); }
  bool stopRequested() const { return stop_.load(); }
  bool abandoned() const { return abandon_.load(); }
  // The worker is held at a checkpoint by a pause. A pause only takes
  // effect there, so a front end shows itself paused once this is true.
  bool parked() const { return parked_.load(); }

  // Blocks while paused (a stop or Back ends the wait); false once a stop or
  // Back has been requested, true when the worker may go on.
  bool checkpoint();

 private:
  std::atomic<bool> paused_{false};
  std::atomic<bool> stop_{false};
  std::atomic<bool> abandon_{false};
  std::atomic<bool> parked_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
};

}  // namespace korv
