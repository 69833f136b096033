// A helper thread that runs its owner's jobs one at a time: the owner starts
// a job, goes on with its own work, and waits for the job before it looks at
// what the job touched or starts the next one. It saves starting a thread for
// each job, which costs as much as a piece of work of a few hundred
// microseconds.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace korv {

class JobThread {
 public:
  JobThread();
  // Lets a running job end and drops one not yet begun (its owner is going
  // away and wants none of it), then ends the thread.
  ~JobThread();
  JobThread(const JobThread&) = delete;
  JobThread& operator=(const JobThread&) = delete;

  // Runs `job` on the helper, after the job before it has ended. Jobs do not
  // throw.
  void Start(std::function<void()> job);
  // Returns once no job is waiting or running; what the last job wrote is
  // then the caller's to read.
  void Wait();

 private:
  void Serve();

  std::mutex mutex_;
  std::condition_variable changed_;
  std::function<void()> job_;  // started, not yet picked up
  bool busy_ = false;          // the helper is running a job
  bool closing_ = false;
  std::thread thread_;  // last: it starts once the members above exist
};

}  // namespace korv
