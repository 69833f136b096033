// Decompression of deflate data found inside disk files (compressed QCOW
// clusters, stream-optimised VMDK grains).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

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

}  // namespace korv
