#include "storage/read_ahead.h"

#include <algorithm>
#include <utility>

namespace korv {

ReadAhead::ReadAhead(ReadFunction read, std::uint32_t sectorBytes, std::uint32_t chunkSectors)
    : read_(std::move(read)), sectorBytes_(sectorBytes), chunkSectors_(std::max<std::uint32_t>(chunkSectors, 1)) {
  for (ReadBuffer& buffer : buffers_) buffer.assign(std::size_t{chunkSectors_} * sectorBytes_, 0);
}

// The helper (declared last) is joined first, so no read outlives the
// buffers.
ReadAhead::~ReadAhead() = default;

void ReadAhead::Issue(std::uint64_t first, std::uint32_t count) {
  helper_.Wait();
  count = std::min(count, chunkSectors_);
  const auto bytes = std::span(buffers_[next_]).first(std::size_t{count} * sectorBytes_);
  next_ ^= 1;
  issued_ = Chunk{first, count, 0, bytes};
  helper_.Start([this] { issued_->result = read_(issued_->first, issued_->count, issued_->bytes); });
}

std::optional<ReadAhead::Chunk> ReadAhead::Take() {
  helper_.Wait();
  return std::exchange(issued_, std::nullopt);
}

void ReadAhead::Wait() { helper_.Wait(); }

}  // namespace korv
