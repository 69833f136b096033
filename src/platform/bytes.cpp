#include "platform/bytes.h"

#include <cstring>

#include <limits>

namespace korv {

bool IsPowerOfTwo(std::uint64_t value) { return value != 0 && (value & (value - 1)) == 0; }

bool IsAllZero(std::span<const std::uint8_t> bytes) {
  if (bytes.empty()) return true;
  // Each byte equals the one after it and the first is zero: the library's
  // vectorised compare does the work.
  return bytes[0] == 0 && std::memcmp(bytes.data(), bytes.data() + 1, bytes.size() - 1) == 0;
}

void StoreU32le(std::span<std::uint8_t, 4> out, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

bool ByteView::matches(std::uint64_t offset, std::string_view ascii) const {
  if (!fits(offset, ascii.size())) return false;
  for (std::size_t i = 0; i < ascii.size(); ++i) {
    if (bytes_[static_cast<std::size_t>(offset) + i] != static_cast<std::uint8_t>(ascii[i])) return false;
  }
  return true;
}

std::u16string ReadUtf16(ByteView bytes, std::uint64_t offset, std::size_t maxUnits, bool bigEndian) {
  std::u16string text;
  for (std::size_t i = 0; i < maxUnits; ++i) {
    const std::uint64_t at = offset + 2 * static_cast<std::uint64_t>(i);
    const auto unit = bigEndian ? bytes.u16be(at) : bytes.u16le(at);
    if (!unit || *unit == 0) break;
    text.push_back(static_cast<char16_t>(*unit));
  }
  return text;
}

static void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out.push_back(static_cast<char>(code));
  } else if (code < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code >> 6)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else if (code < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
  }
}

std::string Utf16ToUtf8(std::u16string_view text) {
  constexpr char32_t kReplacement = 0xFFFD;
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low = unit >= 0xDC00 && unit <= 0xDFFF;
    if (high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      const char32_t code = 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      AppendUtf8(out, code);
      ++i;
    } else if (high || low) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

namespace {

// The length of the well-formed UTF-8 character at `at` and its code point,
// or 0 when none starts there.
std::size_t DecodeUtf8(std::string_view text, std::size_t at, char32_t& code) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  std::size_t length = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    code = lead;
    return 1;
  }
  if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F, minimum = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F, minimum = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07, minimum = 0x10000;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
    code = code << 6 | (byte(at + i) & 0x3F);
  }
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  return code < minimum || code > 0x10FFFF || surrogate ? 0 : length;
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    char32_t code = 0;
    const std::size_t length = DecodeUtf8(text, at, code);
    if (length == 0) {
      out.push_back(u'\uFFFD');
      ++at;
      continue;
    }
    at += length;
    if (code < 0x10000) {
      out.push_back(static_cast<char16_t>(code));
      continue;
    }
    code -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (code >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (code & 0x3FF)));
  }
  return out;
}

}  // namespace korv
