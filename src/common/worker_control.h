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
  // Clears a stop or pause so the control can serve the next worker.
  void Reset();

  bool paused() const { return paused_.load(); }
  bool stopRequested() const { return stop_.load(); }

  // Blocks while paused (a stop ends the wait); false once a stop has been
  // requested, true when the worker may go on.
  bool checkpoint();

 private:
  std::atomic<bool> paused_{false};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::condition_variable wake_;
};

}  // namespace korv
