// Reading a stretch of sectors one chunk ahead of the code that uses them.
//
// A worker that reads a range in order and works on every chunk (the
// formatted scan's signature search, carving) spends much of its read time in
// the kernel copying from the page cache. ReadAhead issues the next chunk's
// read on a helper thread while the worker processes the current one, so that
// the copy runs on the other core. Each of those reads, like any large file
// read, is split further between two threads (ReadAtOnTwoThreads) when the
// program's one split-read helper is free.
// A loop that only passes the bytes on (the read command) gains nothing from
// it: the hand-over costs more than the little work it would overlap.
// Reads stay strictly one at a time: the helper has at most one read in
// flight, and a worker that must read something else meanwhile calls Wait()
// first.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "platform/job_thread.h"
#include "platform/read_buffer.h"

namespace korv {

class ReadAhead {
 public:
  // Reads `count` sectors from `first` into `out`, as SectorSource::ReadCurrent.
  using ReadFunction = std::function<int(std::uint64_t first, std::uint32_t count, std::span<std::uint8_t> out)>;

  struct Chunk {
    std::uint64_t first = 0;
    std::uint32_t count = 0;
    int result = 0;
    std::span<std::uint8_t> bytes;  // count × the sector size
  };

  // Chunks of at most `chunkSectors` sectors of `sectorBytes` bytes.
  ReadAhead(ReadFunction read, std::uint32_t sectorBytes, std::uint32_t chunkSectors);
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // Starts reading `count` sectors (at most chunkSectors) from `first`. The
  // read issued before must have been taken.
  void Issue(std::uint64_t first, std::uint32_t count);
  // The read issued last, once it is done; nullopt when none was issued. Its
  // bytes stay untouched until the second Issue after this call.
  std::optional<Chunk> Take();
  // Waits until no read is in flight, so that the caller may read the source
  // itself; the finished read is kept for Take.
  void Wait();

 private:
  ReadFunction read_;
  std::uint32_t sectorBytes_;
  std::uint32_t chunkSectors_;
  ReadBuffer buffers_[2];
  int next_ = 0;  // the buffer the next Issue reads into
  // The chunk issued last, until it is taken; its result is written by the
  // helper's job.
  std::optional<Chunk> issued_;
  JobThread helper_;
};

}  // namespace korv
