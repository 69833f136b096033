#include "support/byte_writers.h"

#include "platform/bytes.h"

namespace korv {

namespace {

bool Store(std::span<std::uint8_t> out, std::uint64_t offset, std::uint64_t value, unsigned width,
           bool bigEndian) {
  if (!RangeFits(out.size(), offset, width)) return false;
  for (unsigned i = 0; i < width; ++i) {
    const unsigned shift = bigEndian ? 8 * (width - 1 - i) : 8 * i;
    out[static_cast<std::size_t>(offset) + i] = static_cast<std::uint8_t>(value >> shift);
  }
  return true;
}

}  // namespace

bool StoreU16LE(std::span<std::uint8_t> out, std::uint64_t o, std::uint16_t v) { return Store(out, o, v, 2, false); }
bool StoreU32LE(std::span<std::uint8_t> out, std::uint64_t o, std::uint32_t v) { return Store(out, o, v, 4, false); }
bool StoreU64LE(std::span<std::uint8_t> out, std::uint64_t o, std::uint64_t v) { return Store(out, o, v, 8, false); }
bool StoreU16BE(std::span<std::uint8_t> out, std::uint64_t o, std::uint16_t v) { return Store(out, o, v, 2, true); }
bool StoreU32BE(std::span<std::uint8_t> out, std::uint64_t o, std::uint32_t v) { return Store(out, o, v, 4, true); }
bool StoreU64BE(std::span<std::uint8_t> out, std::uint64_t o, std::uint64_t v) { return Store(out, o, v, 8, true); }

bool StoreAscii(std::span<std::uint8_t> out, std::uint64_t offset, std::string_view ascii) {
  if (!RangeFits(out.size(), offset, ascii.size())) return false;
  for (std::size_t i = 0; i < ascii.size(); ++i) {
    out[static_cast<std::size_t>(offset) + i] = static_cast<std::uint8_t>(ascii[i]);
  }
  return true;
}

}  // namespace korv
