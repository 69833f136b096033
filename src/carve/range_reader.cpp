#include "carve/range_reader.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <exception>
#include <new>

#include "common/worker_control.h"

namespace korv {

namespace {

// The fallback read when the full buffer cannot be had.
constexpr std::uint32_t kFallbackSectors = 8;

}  // namespace

ReadBuffer AllocateCarveBuffer(std::size_t bytes) {
  try {
    return ReadBuffer(bytes);
  } catch (const std::bad_alloc&) {
    return {};
  }
}

RangeReader::RangeReader(SectorSource& sectors, std::uint64_t firstSector, std::uint64_t endSector,
                         WorkerControl* worker)
    : sectors_(sectors),
      worker_(worker),
      firstSector_(firstSector),
      sectorBytes_(std::max<std::uint32_t>(sectors.sectorBytes(), 512)),
      size_(endSector > firstSector ? CheckedMul(endSector - firstSector, sectorBytes_).value_or(UINT64_MAX) : 0),
      stretches_(sectors.source()) {
  // A range shorter than the buffer is held whole with one sector to spare;
  // a bigger buffer would never be filled.
  const std::uint64_t rangeSectors = size_ / sectorBytes_ + 1;
  const std::size_t full =
      std::max<std::size_t>(std::min<std::uint64_t>(kCarveBufferBytes / sectorBytes_, rangeSectors), 2) * sectorBytes_;
  buffer_ = AllocateCarveBuffer(full);
  windowBytes_ = full;
  if (buffer_.empty()) {
    windowBytes_ = std::size_t{kFallbackSectors} * sectorBytes_;
    buffer_ = AllocateCarveBuffer(windowBytes_);
    return;
  }
  // A range that one window holds has nothing to read ahead.
  if (size_ <= windowBytes_) return;
  try {
    ahead_ = std::make_unique<ReadAhead>(
        [this](std::uint64_t first, std::uint32_t, std::span<std::uint8_t> out) {
          Fill(first - firstSector_, aheadPlan_, out);
          return 1;
        },
        sectorBytes_, static_cast<std::uint32_t>(windowBytes_ / sectorBytes_));
  } catch (const std::exception&) {
    ahead_.reset();  // no memory or no thread: the stream is read without looking ahead
  }
}

// The helper may still be reading into the plan and the buffers: it is
// joined before any of them goes.
RangeReader::~RangeReader() { ahead_.reset(); }

bool RangeReader::stopRequested() const { return worker_ != nullptr && worker_->stopRequested(); }

void RangeReader::Load(std::uint64_t pos) {
  const std::uint64_t sector = pos / sectorBytes_;
  const std::uint64_t start = sector * sectorBytes_;
  const std::size_t bytes = static_cast<std::size_t>(std::min<std::uint64_t>(windowBytes_, size_ - start));
  if (aheadAt_ && *aheadAt_ == start && aheadBytes_ >= bytes) {
    const std::optional<ReadAhead::Chunk> chunk = ahead_->Take();
    aheadAt_.reset();
    loadedData_ = chunk->bytes.data();
  } else {
    Settle();
    const auto count = static_cast<std::uint32_t>((bytes + sectorBytes_ - 1) / sectorBytes_);
    Fill(sector, Plan(sector, count), std::span(buffer_).first(std::size_t{count} * sectorBytes_));
    loadedData_ = buffer_.data();
  }
  loadedAt_ = start;
  loadedBytes_ = bytes;
  loaded_ = true;
  ReadNextWindow();
}

void RangeReader::ReadNextWindow() {
  const std::uint64_t next = loadedAt_ + loadedBytes_;
  if (!ahead_ || next >= size_) return;
  const std::size_t bytes = static_cast<std::size_t>(std::min<std::uint64_t>(windowBytes_, size_ - next));
  const auto count = static_cast<std::uint32_t>((bytes + sectorBytes_ - 1) / sectorBytes_);
  const std::uint64_t sector = next / sectorBytes_;
  aheadPlan_ = Plan(sector, count);
  ahead_->Issue(firstSector_ + sector, count);
  aheadAt_ = next;
  aheadBytes_ = bytes;
}

void RangeReader::Settle() const {
  if (!aheadAt_) return;
  ahead_->Wait();
}

std::vector<AllocationRun> RangeReader::Plan(std::uint64_t sector, std::uint32_t count) const {
  std::vector<AllocationRun> plan;
  for (std::uint32_t done = 0; done < count;) {
    const AllocationRun run = stretches_.At(firstSector_ + sector + done);
    const auto part =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(std::max<std::uint64_t>(run.sectors, 1), count - done));
    plan.push_back({run.allocated, part});
    done += part;
  }
  return plan;
}

void RangeReader::Fill(std::uint64_t sector, const std::vector<AllocationRun>& plan, std::span<std::uint8_t> out) {
  std::uint64_t done = 0;
  for (const AllocationRun& run : plan) {
    const auto part = static_cast<std::uint32_t>(run.sectors);
    const auto bytes = out.subspan(static_cast<std::size_t>(done) * sectorBytes_, std::size_t{part} * sectorBytes_);
    if (run.allocated) {
      // ReadCurrent fills what it cannot read with zeros; its result only
      // says whether the last sector was read, which carving does not need.
      sectors_.ReadCurrent(firstSector_ + sector + done, part, bytes);
    } else {
      std::fill(bytes.begin(), bytes.end(), std::uint8_t{0});
    }
    done += part;
  }
}

AllocationRun RangeReader::StretchAt(std::uint64_t sector) const {
  Settle();
  return stretches_.At(firstSector_ + sector);
}

ByteView RangeReader::At(std::uint64_t pos, std::size_t length) {
  if (buffer_.empty() || pos >= size_) return {};
  length = static_cast<std::size_t>(std::min<std::uint64_t>({length, size_ - pos, windowBytes()}));
  if (!loaded_ || pos < loadedAt_ || pos + length > loadedAt_ + loadedBytes_) Load(pos);
  return ByteView(loadedData_ + (pos - loadedAt_), length);
}

ByteView RangeReader::Ahead(std::uint64_t pos, std::size_t atLeast) {
  if (buffer_.empty() || pos >= size_) return {};
  atLeast = static_cast<std::size_t>(std::min<std::uint64_t>({atLeast, size_ - pos, windowBytes()}));
  if (!loaded_ || pos < loadedAt_ || pos + atLeast > loadedAt_ + loadedBytes_) Load(pos);
  return ByteView(loadedData_ + (pos - loadedAt_), static_cast<std::size_t>(loadedAt_ + loadedBytes_ - pos));
}

std::optional<std::uint64_t> RangeReader::Find(std::span<const std::uint8_t> pattern, std::uint64_t from,
                                               std::uint64_t limit) {
  if (pattern.empty() || buffer_.empty()) return std::nullopt;
  limit = std::min(limit, size_);
  const std::boyer_moore_horspool_searcher searcher(pattern.begin(), pattern.end());
  std::uint64_t cursor = from;
  while (cursor < limit && limit - cursor >= pattern.size()) {
    if (stopRequested()) return std::nullopt;
    const ByteView ahead = Ahead(cursor, pattern.size());
    const ByteView view = ahead.sub(0, std::min<std::uint64_t>(ahead.size(), limit - cursor));
    if (view.size() < pattern.size()) return std::nullopt;
    const auto bytes = view.span();
    const auto hit = std::search(bytes.begin(), bytes.end(), searcher);
    if (hit != bytes.end()) return cursor + static_cast<std::uint64_t>(hit - bytes.begin());
    // The last pattern.size() - 1 bytes may begin a match that ends in the
    // next buffer: search again from there.
    cursor += view.size() - (pattern.size() - 1);
  }
  return std::nullopt;
}

std::optional<std::uint64_t> RangeReader::FindByte(std::uint8_t value, std::uint64_t from, std::uint64_t limit) {
  limit = std::min(limit, size_);
  std::uint64_t cursor = from;
  while (cursor < limit) {
    if (stopRequested()) return std::nullopt;
    const ByteView ahead = Ahead(cursor, 1);
    const ByteView view = ahead.sub(0, std::min<std::uint64_t>(ahead.size(), limit - cursor));
    if (view.empty()) return std::nullopt;
    if (const void* hit = std::memchr(view.data(), value, view.size())) {
      return cursor + static_cast<std::uint64_t>(static_cast<const std::uint8_t*>(hit) - view.data());
    }
    cursor += view.size();
  }
  return std::nullopt;
}

}  // namespace korv
