// The three FAT variants and the names the rest of the program knows them by.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "storage/current_source.h"

namespace korv {

enum class FatType { Fat12, Fat16, Fat32 };


// Below this many clusters a volume's FAT holds 12-bit entries, whatever its
// boot sector or partition type says.
constexpr std::uint32_t kMinFat16Clusters = 4085;

std::string_view FatTypeName(FatType type);

// The type a file-system name stands for; nullopt for anything not FAT.
std::optional<FatType> FatTypeFromName(std::string_view name);

}  // namespace korv
