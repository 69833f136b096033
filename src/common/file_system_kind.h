// The file systems a range can hold, and the names the program shows for
// them: on the source page, in the partition list, on the command line and
// in its JSON.
#pragma once

#include <optional>
#include <string_view>

namespace korv {

enum class FileSystemKind { Ntfs, Fat12, Fat16, Fat32, Unknown };

// "NTFS", "FAT12", "FAT16", "FAT32" or "UNKNOWN".
std::string_view FileSystemName(FileSystemKind kind);

// The kind whose name is exactly `name`; nullopt for any other text.
std::optional<FileSystemKind> ParseFileSystemKind(std::string_view name);

bool IsFat(FileSystemKind kind);

}  // namespace korv
