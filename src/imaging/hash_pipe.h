// The image's SHA-256, computed on a helper thread while the copy goes on.
//
// Hashing runs at about the speed the page cache copies, so done inline it
// would double the time of a copy; on the second core it costs little. The
// copy fills buffers the pipe owns and hands each one over; the helper
// hashes them in the order handed and gives them back.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "platform/read_buffer.h"
#include "platform/sha256.h"

namespace korv {

class HashPipe {
 public:
  explicit HashPipe(std::size_t bufferBytes);
  ~HashPipe();
  HashPipe(const HashPipe&) = delete;
  HashPipe& operator=(const HashPipe&) = delete;

  // A buffer of bufferBytes to fill; waits for one the helper is done with.
  std::span<std::uint8_t> Acquire();
  // Hashes the first `bytes` of the buffer acquired last, after everything
  // handed before it.
  void Hand(std::size_t bytes);
  // Waits for everything handed, then gives the digest.
  std::string Finish();

 private:
  struct Handed {
    std::size_t buffer = 0;
    std::size_t bytes = 0;
  };
  void Serve();

  std::vector<ReadBuffer> buffers_;
  std::size_t acquired_ = 0;
  Sha256 hash_;

  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::size_t> free_;
  std::deque<Handed> handed_;
  bool closing_ = false;
  std::thread helper_;
};

}  // namespace korv
