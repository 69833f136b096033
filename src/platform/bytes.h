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

// a + b and a * b, or nullopt when the result does not fit 64 bits.
std::optional<std::uint64_t> CheckedAdd(std::uint64_t a, std::uint64_t b);
std::optional<std::uint64_t> CheckedMul(std::uint64_t a, std::uint64_t b);

// True when [offset, offset + length) lies inside a buffer of `size` bytes.
bool RangeFits(std::uint64_t size, std::uint64_t offset, std::uint64_t length);

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
  ByteView sub(std::uint64_t offset, std::uint64_t length) const;

  std::optional<std::uint8_t> u8(std::uint64_t offset) const;
  std::optional<std::uint16_t> u16le(std::uint64_t offset) const;
  std::optional<std::uint32_t> u32le(std::uint64_t offset) const;
  std::optional<std::uint64_t> u64le(std::uint64_t offset) const;
  std::optional<std::uint16_t> u16be(std::uint64_t offset) const;
  std::optional<std::uint32_t> u32be(std::uint64_t offset) const;
  std::optional<std::uint64_t> u64be(std::uint64_t offset) const;

  // True when the bytes at offset equal `ascii` exactly (and fit).
  bool matches(std::uint64_t offset, std::string_view ascii) const;

 private:
  std::optional<std::uint64_t> load(std::uint64_t offset, unsigned width, bool bigEndian) const;

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
