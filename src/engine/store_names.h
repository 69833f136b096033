// Names of found items. The store keeps every name as UTF-16; a name that
// arrived as 8-bit text (FAT short names, the numbered folders of the
// formatted FAT scan) remembers that, so the recovery log can write it back
// in the same form and a rename keeps it.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korv {

// The two names an analysis offers for one item. The 8-bit name wins when its
// first character is not NUL; otherwise the wide name is taken (an empty
// wide name when both are empty). Each is read up to its first NUL.
struct ItemName {
  std::string_view eightBit{};
  std::u16string_view wide{};
};

struct StoredName {
  std::u16string text;
  bool eightBit = false;
};

StoredName ChooseName(const ItemName& name);

// 8-bit text as Windows-1252 (ASCII unchanged); the five unassigned bytes
// keep their value as code points, as the system's converter does.
std::u16string EightBitToUtf16(std::string_view text);

// The reverse; nullopt when a character has no Windows-1252 byte.
std::optional<std::string> Utf16ToEightBit(std::u16string_view text);

// One UTF-16 unit of a name with its case folded, for comparing names
// without regard to case: the ASCII and Latin-1 capitals become small.
constexpr char16_t FoldCase(char16_t unit) {
  if (unit >= u'A' && unit <= u'Z') return static_cast<char16_t>(unit + 0x20);
  if (unit >= 0xC0 && unit <= 0xDE && unit != 0xD7) return static_cast<char16_t>(unit + 0x20);
  return unit;
}

}  // namespace korv
