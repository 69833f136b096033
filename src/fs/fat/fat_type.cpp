#include "fs/fat/fat_type.h"

namespace korv {

FileSystemKind FatKind(FatType type) {
  switch (type) {
    case FatType::Fat12: return FileSystemKind::Fat12;
    case FatType::Fat16: return FileSystemKind::Fat16;
    case FatType::Fat32: return FileSystemKind::Fat32;
  }
  return FileSystemKind::Fat16;
}

std::optional<FatType> FatTypeOf(FileSystemKind kind) {
  switch (kind) {
    case FileSystemKind::Fat12: return FatType::Fat12;
    case FileSystemKind::Fat16: return FatType::Fat16;
    case FileSystemKind::Fat32: return FatType::Fat32;
    case FileSystemKind::Ntfs:
    case FileSystemKind::Unknown: return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace korv
