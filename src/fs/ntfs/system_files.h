// Record numbers given to the NTFS metafiles a signature scan finds by name.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <utility>

namespace korv {

// "$MFT" gets 1, not 0: in the scan lists 0 means that no number is known.
inline constexpr std::array<std::pair<std::u16string_view, std::uint32_t>, 10> SystemFileNumbers = {{
    {u"$MFT", 1},
    {u"$MFTMirr", 1},
    {u"$LogFile", 2},
    {u"$Volume", 3},
    {u"$AttrDef", 4},
    {u"$Bitmap", 6},
    {u"$Boot", 7},
    {u"$BadClus", 8},
    {u"$Secure", 9},
    {u"$UpCase", 10},
}};

// The number of the metafile named exactly `name` (case matters), else 0.
constexpr std::uint32_t SystemFileNumber(std::u16string_view name) {
  for (const auto& [fileName, number] : SystemFileNumbers) {
    if (fileName == name) return number;
  }
  return 0;
}

}  // namespace korv
