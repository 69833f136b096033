// Byte counts as the information panels show them: "%.1f" with " TB",
// " GB", " MB" or " KB", by thresholds at 2^40, 2^30 and 2^20 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace korv {

// `zeroText` is what a count of 0 shows.
std::string FormatSizeText(std::uint64_t bytes, std::string_view zeroText = "0");

}  // namespace korv
