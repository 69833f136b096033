// Decompression of deflate data found inside disk files (compressed QCOW
// clusters, stream-optimised VMDK grains), and the one block kept inflated.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "platform/read_buffer.h"

namespace korv {

enum class DeflateWrapping {
  Raw,   // bare deflate stream, no header (QCOW)
  Zlib,  // zlib header and checksum (VMDK grains)
};

// Inflates `in` into `out`. Returns the bytes produced, or nullopt when the
// data is damaged. Stops when `out` is full or the stream ends; never writes
// past `out`, and what it did not produce is left to the caller.
std::optional<std::size_t> Inflate(std::span<const std::uint8_t> in, std::span<std::uint8_t> out,
                                   DeflateWrapping wrapping);

// The last block of deflate data inflated, kept so that reading a block
// sector by sector inflates it once. A block is known by a key of two numbers
// the caller chooses (a file offset; a file and a sector).
class InflatedBlock {
 public:
  struct Key {
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    bool operator==(const Key&) const = default;
  };

  // The inflated bytes of the block `key`: the kept ones, or else
  // `readDeflated(buffer)` fills the buffer with the deflated bytes and gives
  // the block's inflated size (nullopt when it cannot), and they are inflated
  // into that many bytes, zeros where the data stops short. nullptr when the
  // bytes cannot be read or do not inflate, or, with `whole`, do not fill
  // the block.
  template <typename ReadDeflated>
  const std::vector<std::uint8_t>* Get(Key key, DeflateWrapping wrapping, bool whole, ReadDeflated&& readDeflated) {
    if (valid_ && key_ == key) return &inflated_;
    valid_ = false;
    const std::optional<std::size_t> blockBytes = readDeflated(deflated_);
    if (!blockBytes) return nullptr;
    inflated_.assign(*blockBytes, 0);
    const auto produced = Inflate(deflated_, inflated_, wrapping);
    if (!produced || (whole && *produced != inflated_.size())) return nullptr;
    key_ = key;
    valid_ = true;
    return &inflated_;
  }

 private:
  std::vector<std::uint8_t> inflated_;
  ReadBuffer deflated_;
  Key key_;
  bool valid_ = false;
};

}  // namespace korv
