#include "fs/fat/fat_type.h"

namespace korv {

std::string_view FatTypeName(FatType type) {
  switch (type) {
    case FatType::Fat12: return kFileSystemFat12;
    case FatType::Fat16: return kFileSystemFat16;
    case FatType::Fat32: return kFileSystemFat32;
  }
  return kFileSystemFat16;
}

std::optional<FatType> FatTypeFromName(std::string_view name) {
  if (name == kFileSystemFat12) return FatType::Fat12;
  if (name == kFileSystemFat16) return FatType::Fat16;
  if (name == kFileSystemFat32) return FatType::Fat32;
  return std::nullopt;
}

}  // namespace korv
