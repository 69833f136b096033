// The bytes of a sector range as one stream, read a buffer-full at a time.
//
// Positions are byte offsets from the first sector of the range. A file
// being carved is followed through this stream, so a footer or a structure
// that crosses a sector or a buffer boundary reads the same as one that
// does not.
//
// The scan walks the stream forward, so the buffer-full after the one
// loaded is read on a helper thread while this one is searched (ReadAhead):
// the kernel's copy from the page cache, most of a carve's time, then runs
// on the other core. A position outside both is read directly, once the
// read in flight has ended; the source and the container's allocation
// answers are only ever used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/bytes.h"
#include "platform/read_buffer.h"
#include "storage/allocation_stretches.h"
#include "storage/read_ahead.h"
#include "storage/sector_source.h"
#include "storage/virtual_disk.h"

namespace korv {

class WorkerControl;

// Sectors per read: 1,000 sectors of 512 bytes, the same byte count for
// larger sectors.
inline constexpr std::uint32_t kCarveBufferBytes = 1000 * 512;

// The one place carving allocates its read buffer; an empty buffer when the
// memory cannot be had.
ReadBuffer AllocateCarveBuffer(std::size_t bytes);

class RangeReader {
 public:
  // Reads sectors [firstSector, endSector) of the current source. Without a
  // buffer (no memory even for a few sectors) the reader is not usable.
  RangeReader(SectorSource& sectors, std::uint64_t firstSector, std::uint64_t endSector, WorkerControl* worker);
  // A read still in flight ends first.
  ~RangeReader();
  RangeReader(const RangeReader&) = delete;
  RangeReader& operator=(const RangeReader&) = delete;

  bool usable() const { return !buffer_.empty(); }
  std::uint32_t sectorBytes() const { return sectorBytes_; }
  std::uint64_t firstSector() const { return firstSector_; }
  std::uint64_t size() const { return size_; }
  // The largest view At gives.
  std::size_t windowBytes() const { return windowBytes_ - sectorBytes_; }

  // The bytes [pos, pos + length), cut at the end of the range and at
  // windowBytes(); valid until the next call.
  ByteView At(std::uint64_t pos, std::size_t length);

  // Whatever the buffer holds from `pos` on (at least `atLeast` bytes when
  // the range has them), read only when it does not hold that much: the way
  // to walk the stream forward without reading any byte twice.
  ByteView Ahead(std::uint64_t pos, std::size_t atLeast);

  // The first position p in [from, limit) at which `pattern` stands whole
  // with p + pattern.size() <= limit; nothing when there is none or the
  // worker was asked to stop. The stream is searched a buffer at a time,
  // the last pattern.size() - 1 bytes carried over to the next buffer.
  std::optional<std::uint64_t> Find(std::span<const std::uint8_t> pattern, std::uint64_t from, std::uint64_t limit);

  // The first position in [from, limit) holding `value`.
  std::optional<std::uint64_t> FindByte(std::uint8_t value, std::uint64_t from, std::uint64_t limit);

  bool stopRequested() const;

  // The stretch of sectors from `sector` (counted from the range's first)
  // that share one allocation state in the container; at least one sector.
  AllocationRun StretchAt(std::uint64_t sector) const;

 private:
  // Loads the window that starts at the sector holding `pos`, then starts
  // reading the window after it.
  void Load(std::uint64_t pos);
  // The held and unheld stretches of `count` sectors from `sector`.
  std::vector<AllocationRun> Plan(std::uint64_t sector, std::uint32_t count) const;
  // Reads the planned sectors from `sector` into `out`; unheld stretches
  // are zeros, filled without asking the reader.
  void Fill(std::uint64_t sector, const std::vector<AllocationRun>& plan, std::span<std::uint8_t> out);
  void ReadNextWindow();
  // Ends the read in flight, so that this thread may use the source.
  void Settle() const;

  SectorSource& sectors_;
  WorkerControl* worker_;
  std::uint64_t firstSector_;
  std::uint32_t sectorBytes_;
  std::uint64_t size_;
  ReadBuffer buffer_;
  std::size_t windowBytes_ = 0;
  const std::uint8_t* loadedData_ = nullptr;  // buffer_ or a read-ahead buffer
  std::uint64_t loadedAt_ = 0;
  std::size_t loadedBytes_ = 0;
  bool loaded_ = false;
  mutable AllocationStretches stretches_;

  std::unique_ptr<ReadAhead> ahead_;      // none without memory for its buffers
  std::vector<AllocationRun> aheadPlan_;  // the read in flight's layout; the helper reads it
  std::optional<std::uint64_t> aheadAt_;  // where the window read ahead starts
  std::size_t aheadBytes_ = 0;
};

}  // namespace korv
