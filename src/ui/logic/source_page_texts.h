// The texts of the source page that need no window: its labels, the lines
// of the information panel for a disk, and the file-system item the range
// fields show.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/file_system_kind.h"
#include "platform/inventory_store.h"

namespace korv {

inline constexpr std::string_view kSourceHint = "Select Disk/Image from which you want to recover your data";
inline constexpr std::string_view kDriveInformationTitle = "Drive Information";

// The information lines before any node is selected.
inline constexpr std::string_view kLabelDiskNumber = "Physical Disk Number : ";
inline constexpr std::string_view kLabelModel = "Model : ";
inline constexpr std::string_view kLabelMediaType = "Media Type : ";
inline constexpr std::string_view kLabelDiskSize = "Disk Size : ";
// The same lines in front of a disk's values (spaced differently).
inline constexpr std::string_view kValueLabelDiskNumber = "Physical Disk Number : ";
inline constexpr std::string_view kValueLabelModel = "Model   : ";
inline constexpr std::string_view kValueLabelMediaType = "Media Type   : ";
inline constexpr std::string_view kValueLabelDiskSize = "Disk Size  : ";

// The range group of the range modes.
inline constexpr std::string_view kSelectRange = "Select Range";
inline constexpr std::string_view kLabelStartingRange = "Starting Range  :";
inline constexpr std::string_view kLabelEndingRange = "Ending Range    :";
inline constexpr std::string_view kLabelFileSystem = "File System        :";
// The file-system choice, in item order.
inline constexpr std::array<FileSystemKind, 4> kFileSystemItems = {FileSystemKind::Fat16, FileSystemKind::Fat32,
                                                                   FileSystemKind::Ntfs, FileSystemKind::Unknown};
inline constexpr int kUnknownFileSystemItem = 3;

using InformationLines = std::array<std::string, 4>;

// What the disk inventory says about disk N.
struct DiskFacts {
  int diskNumber = 0;
  std::string model;
  std::string mediaType;
  std::uint64_t sizeBytes = 0;  // 0 when missing or not a decimal number
};

DiskFacts ReadDiskFacts(const InventoryStore& inventory, int diskNumber);

// The four lines with their bare labels.
InformationLines BareInformationLines();
// The four lines for a disk: number, model, media type, size.
InformationLines DiskInformationLines(const DiskFacts& disk);

// The item of the file-system choice that shows `fileSystem`; "UNKNOWN"
// for anything else.
int FileSystemItem(FileSystemKind fileSystem);

}  // namespace korv
