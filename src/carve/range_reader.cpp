#include "carve/range_reader.h"

#include <algorithm>
#include <cstring>
#include <functional>
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
  }
}

bool RangeReader::stopRequested() const { return worker_ != nullptr && worker_->stopRequested(); }

void RangeReader::Load(std::uint64_t pos) {
  const std::uint64_t sector = pos / sectorBytes_;
  const std::uint64_t start = sector * sectorBytes_;
  const std::uint64_t remaining = size_ - start;
  const std::size_t bytes = static_cast<std::size_t>(std::min<std::uint64_t>(windowBytes_, remaining));
  const auto count = static_cast<std::uint32_t>((bytes + sectorBytes_ - 1) / sectorBytes_);
  // Stretches the container does not hold read as zeros: they are filled
  // here without asking the reader.
  for (std::uint32_t done = 0; done < count;) {
    const std::uint64_t at = firstSector_ + sector + done;
    const AllocationRun run = StretchAt(sector + done);
    const auto part = static_cast<std::uint32_t>(std::min<std::uint64_t>(run.sectors, count - done));
    const std::span out(buffer_.data() + std::size_t{done} * sectorBytes_, std::size_t{part} * sectorBytes_);
    if (run.allocated) {
      // ReadCurrent fills what it cannot read with zeros; its result only
      // says whether the last sector was read, which carving does not need.
      sectors_.ReadCurrent(at, part, out);
    } else {
      std::fill(out.begin(), out.end(), std::uint8_t{0});
    }
    done += part;
  }
  loadedAt_ = start;
  loadedBytes_ = bytes;
  loaded_ = true;
}

AllocationRun RangeReader::StretchAt(std::uint64_t sector) const { return stretches_.At(firstSector_ + sector); }

ByteView RangeReader::At(std::uint64_t pos, std::size_t length) {
  if (buffer_.empty() || pos >= size_) return {};
  length = static_cast<std::size_t>(std::min<std::uint64_t>({length, size_ - pos, windowBytes()}));
  if (!loaded_ || pos < loadedAt_ || pos + length > loadedAt_ + loadedBytes_) Load(pos);
  return ByteView(buffer_.data() + (pos - loadedAt_), length);
}

ByteView RangeReader::Ahead(std::uint64_t pos, std::size_t atLeast) {
  if (buffer_.empty() || pos >= size_) return {};
  atLeast = static_cast<std::size_t>(std::min<std::uint64_t>({atLeast, size_ - pos, windowBytes()}));
  if (!loaded_ || pos < loadedAt_ || pos + atLeast > loadedAt_ + loadedBytes_) Load(pos);
  return ByteView(buffer_.data() + (pos - loadedAt_), static_cast<std::size_t>(loadedAt_ + loadedBytes_ - pos));
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
