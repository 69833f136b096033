#include "common/size_text.h"

#include <cstdio>

namespace korv {

std::string FormatSizeText(std::uint64_t bytes, std::string_view zeroText) {
  struct Unit {
    std::uint64_t threshold;
    const char* suffix;
  };
  static constexpr Unit kUnits[] = {{1ULL << 40, " TB"}, {1ULL << 30, " GB"}, {1ULL << 20, " MB"}, {1, " KB"}};
  for (const Unit& unit : kUnits) {
    if (bytes < unit.threshold) continue;
    const double divisor = unit.threshold == 1 ? 1024.0 : static_cast<double>(unit.threshold);
    char text[64];
    std::snprintf(text, sizeof text, "%.1f%s", static_cast<double>(bytes) / divisor, unit.suffix);
    return text;
  }
  return std::string(zeroText);
}

}  // namespace korv
