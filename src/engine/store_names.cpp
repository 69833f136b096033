#include "engine/store_names.h"

#include <array>
#include <cstdint>

namespace korv {
namespace {

// Code points of the bytes 0x80 to 0x9F; the others map to themselves.
constexpr std::array<char16_t, 32> kHighControlRow = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

constexpr std::uint8_t kRowFirst = 0x80;
constexpr std::uint8_t kRowLast = 0x9F;

char16_t ByteToUnit(std::uint8_t byte) {
  if (byte < kRowFirst || byte > kRowLast) return byte;
  return kHighControlRow[byte - kRowFirst];
}

std::optional<char> UnitToByte(char16_t unit) {
  for (std::size_t i = 0; i < kHighControlRow.size(); ++i) {
    if (kHighControlRow[i] == unit) return static_cast<char>(kRowFirst + i);
  }
  if (unit > 0xFF || (unit >= kRowFirst && unit <= kRowLast)) return std::nullopt;
  return static_cast<char>(unit);
}

template <typename Char>
std::basic_string_view<Char> UpToNul(std::basic_string_view<Char> text) {
  return text.substr(0, text.find(Char{0}));
}

}  // namespace

StoredName ChooseName(const ItemName& name) {
  const std::string_view eightBit = UpToNul(name.eightBit);
  if (!eightBit.empty()) return {EightBitToUtf16(eightBit), true};
  return {std::u16string(UpToNul(name.wide)), false};
}

std::u16string EightBitToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (const char c : text) out.push_back(ByteToUnit(static_cast<std::uint8_t>(c)));
  return out;
}

std::optional<std::string> Utf16ToEightBit(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char16_t unit : text) {
    const std::optional<char> byte = UnitToByte(unit);
    if (!byte) return std::nullopt;
    out.push_back(*byte);
  }
  return out;
}

}  // namespace korv
