// The three FAT variants and the file-system kinds they go by.
#pragma once

#include <cstdint>
#include <optional>

#include "common/file_system_kind.h"

namespace korv {

enum class FatType { Fat12, Fat16, Fat32 };


// Below this many clusters a volume's FAT holds 12-bit entries, whatever its
// boot sector or partition type says.
constexpr std::uint32_t kMinFat16Clusters = 4085;

FileSystemKind FatKind(FatType type);

// The FAT variant a file-system kind stands for; nullopt for anything not FAT.
std::optional<FatType> FatTypeOf(FileSystemKind kind);

}  // namespace korv
