#include "fs/ntfs/lznt1.h"

#include <algorithm>
#include <cstring>

namespace korv {

namespace {

// The chunk header: bit 15 says compressed, bits 12..14 hold the signature
// 3, bits 0..11 the size of the chunk's data minus one.
constexpr std::uint16_t kCompressedFlag = 0x8000;
constexpr std::uint16_t kSignatureMask = 0x7000;
constexpr std::uint16_t kSignature = 0x3000;
constexpr std::uint16_t kSizeMask = 0x0FFF;
constexpr std::size_t kHeaderBytes = 2;
constexpr unsigned kTokensPerFlagByte = 8;
constexpr std::size_t kMinimumMatch = 3;

// How many of a back reference's 16 bits give its length at `position`
// bytes into the chunk: 12 up to 16 bytes in, one fewer each time the
// position doubles, so the offset can always reach the chunk's start.
unsigned LengthBits(std::size_t position) {
  unsigned bits = 12;
  for (std::size_t p = position - 1; p >= 0x10; p >>= 1) --bits;
  return bits;
}

// Decodes one compressed chunk's data into `out` (at most one chunk long).
bool DecodeChunk(ByteView data, std::span<std::uint8_t> out) {
  std::size_t in = 0;
  std::size_t position = 0;
  while (in < data.size() && position < out.size()) {
    const std::uint8_t flags = *data.u8(in++);
    for (unsigned token = 0; token < kTokensPerFlagByte && in < data.size() && position < out.size(); ++token) {
      if ((flags & (1u << token)) == 0) {
        out[position++] = *data.u8(in++);
        continue;
      }
      const auto phrase = data.u16le(in);
      // A back reference needs something before it to point at.
      if (!phrase || position == 0) return false;
      in += 2;
      const unsigned lengthBits = LengthBits(position);
      const std::size_t offset = (*phrase >> lengthBits) + 1u;
      const std::size_t length = (*phrase & ((1u << lengthBits) - 1u)) + kMinimumMatch;
      if (offset > position || length > out.size() - position) return false;
      // Byte by byte: a reference may overlap what it writes.
      for (std::size_t i = 0; i < length; ++i, ++position) out[position] = out[position - offset];
    }
  }
  return true;
}

}  // namespace

bool DecompressLznt1(ByteView in, std::span<std::uint8_t> out) {
  std::ranges::fill(out, std::uint8_t{0});
  std::size_t at = 0;
  for (std::size_t chunkStart = 0; chunkStart < out.size(); chunkStart += kLznt1ChunkBytes) {
    const auto header = in.u16le(at);
    if (!header || *header == 0) return true;
    if ((*header & kSignatureMask) != kSignature) return false;
    const std::size_t size = (*header & kSizeMask) + 1u;
    const ByteView data = in.sub(at + kHeaderBytes, size);
    if (data.size() != size) return false;
    at += kHeaderBytes + size;
    const std::span<std::uint8_t> chunk = out.subspan(chunkStart, std::min(kLznt1ChunkBytes, out.size() - chunkStart));
    if ((*header & kCompressedFlag) != 0) {
      if (!DecodeChunk(data, chunk)) return false;
      continue;
    }
    if (size > chunk.size()) return false;
    std::memcpy(chunk.data(), data.data(), size);
  }
  return true;
}

}  // namespace korv
