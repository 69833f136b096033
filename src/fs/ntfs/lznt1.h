// LZNT1, the compression of NTFS compressed attributes: a compression unit
// is stored as a series of chunks, each standing for 4,096 bytes of data.
#pragma once

#include <cstdint>
#include <span>

#include "platform/bytes.h"

namespace korv {

inline constexpr std::size_t kLznt1ChunkBytes = 4096;

// Decompresses `in` into `out`, chunk k filling out[k * 4096, (k + 1) * 4096).
// `out` is zeroed first: a chunk that decompresses short, and chunks after
// the last one (input used up, or a chunk header of 0), leave zeros. False
// when the input is damaged: a chunk running past the input, a wrong
// signature, a back reference before its chunk or running past its chunk's
// end, or an uncompressed chunk longer than 4,096 bytes. What was decoded
// before the damage is left in `out`.
bool DecompressLznt1(ByteView in, std::span<std::uint8_t> out);

}  // namespace korv
