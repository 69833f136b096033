// Bounds-checked access to bytes read from disk files.
//
// Every parser reads integers through ByteView: a read that does not fit the
// buffer yields std::nullopt instead of touching memory past its end. Offsets
// and lengths are 64-bit and checked without overflow, so values taken from a
// damaged or hostile file can be passed in as they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace korv {

// The helpers below are defined here so that they inline: parsers call them
// for every field of every record, and a call each costs more than the check.

// a + b and a * b, or nullopt when the result does not fit 64 bits.
inline std::optional<std::uint64_t> CheckedAdd(std::uint64_t a, std::uint64_t b) {
  std::uint64_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum)) return std::nullopt;
  return sum;
}

inline std::optional<std::uint64_t> CheckedMul(std::uint64_t a, std::uint64_t b) {
  std::uint64_t product = 0;
  if (__builtin_mul_overflow(a, b, &product)) return std::nullopt;
  return product;
}

// True when [offset, offset + length) lies inside a buffer of `size` bytes.
inline bool RangeFits(std::uint64_t size, std::uint64_t offset, std::uint64_t length) {
  return offset <= size && length <= size - offset;
}

bool IsPowerOfTwo(std::uint64_t value);

// True when every byte is zero (an empty span included).
bool IsAllZero(std::span<const std::uint8_t> bytes);

// Writes `value` little-endian into the first four bytes.
void StoreU32le(std::span<std::uint8_t, 4> out, std::uint32_t value);

class ByteView {
 public:
  ByteView() = default;
  ByteView(const std::uint8_t* data, std::size_t size) : bytes_(data, size) {}
  ByteView(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}  // NOLINT: implicit on purpose

  std::size_t size() const { return bytes_.size(); }
  bool empty() const { return bytes_.empty(); }
  const std::uint8_t* data() const { return bytes_.data(); }
  std::span<const std::uint8_t> span() const { return bytes_; }

  bool fits(std::uint64_t offset, std::uint64_t length) const {
    return RangeFits(bytes_.size(), offset, length);
  }

  // The sub-range, or an empty view when it does not fit.
  ByteView sub(std::uint64_t offset, std::uint64_t length) const {
    if (!fits(offset, length)) return {};
    return ByteView(bytes_.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length)));
  }

  std::optional<std::uint8_t> u8(std::uint64_t offset) const { return load<std::uint8_t>(offset, false); }
  std::optional<std::uint16_t> u16le(std::uint64_t offset) const { return load<std::uint16_t>(offset, false); }
  std::optional<std::uint32_t> u32le(std::uint64_t offset) const { return load<std::uint32_t>(offset, false); }
  std::optional<std::uint64_t> u64le(std::uint64_t offset) const { return load<std::uint64_t>(offset, false); }
  std::optional<std::uint16_t> u16be(std::uint64_t offset) const { return load<std::uint16_t>(offset, true); }
  std::optional<std::uint32_t> u32be(std::uint64_t offset) const { return load<std::uint32_t>(offset, true); }
  std::optional<std::uint64_t> u64be(std::uint64_t offset) const { return load<std::uint64_t>(offset, true); }

  // True when the bytes at offset equal `ascii` exactly (and fit).
  bool matches(std::uint64_t offset, std::string_view ascii) const;

 private:
  // Byte by byte, which the compiler turns into one load (and a byte swap).
  template <typename T>
  std::optional<T> load(std::uint64_t offset, bool bigEndian) const {
    if (!fits(offset, sizeof(T))) return std::nullopt;
    const std::uint8_t* at = bytes_.data() + static_cast<std::size_t>(offset);
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) value = (value << 8) | at[bigEndian ? i : sizeof(T) - 1 - i];
    return static_cast<T>(value);
  }

  std::span<const std::uint8_t> bytes_;
};

// UTF-16 text taken from disk, up to the first NUL or `maxUnits` units,
// whichever comes first; never reads past the view.
std::u16string ReadUtf16(ByteView bytes, std::uint64_t offset, std::size_t maxUnits, bool bigEndian);

// UTF-16 to UTF-8, with surrogate pairs; a lone surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// UTF-8 to UTF-16, with surrogate pairs; a byte that does not begin or
// continue a well-formed character becomes U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace korv
