#include "common/file_system_kind.h"

#include <array>

namespace korv {

namespace {

constexpr std::array kKinds = {FileSystemKind::Ntfs, FileSystemKind::Fat12, FileSystemKind::Fat16,
                               FileSystemKind::Fat32, FileSystemKind::Unknown};

}  // namespace

std::string_view FileSystemName(FileSystemKind kind) {
  switch (kind) {
    case FileSystemKind::Ntfs: return "NTFS";
    case FileSystemKind::Fat12: return "FAT12";
    case FileSystemKind::Fat16: return "FAT16";
    case FileSystemKind::Fat32: return "FAT32";
    case FileSystemKind::Unknown: return "UNKNOWN";
  }
  return "UNKNOWN";
}

std::optional<FileSystemKind> ParseFileSystemKind(std::string_view name) {
  for (const FileSystemKind kind : kKinds) {
    if (FileSystemName(kind) == name) return kind;
  }
  return std::nullopt;
}

bool IsFat(FileSystemKind kind) {
  return kind == FileSystemKind::Fat12 || kind == FileSystemKind::Fat16 || kind == FileSystemKind::Fat32;
}

}  // namespace korv
