// Where "Create Disk Image" writes: an image folder (one piece, or 2 GB
// pieces with "Multifile") or another disk, and the checks the page makes
// before the copy starts.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/prompts.h"

namespace korv {

inline constexpr std::string_view kLabelImageType = "Disk Image Type :";
inline constexpr std::string_view kImageTypeDisk = "Disk";
inline constexpr std::string_view kImageTypeImage = "Image";
inline constexpr std::string_view kLabelTargetPath = "Target Path :";
inline constexpr std::string_view kLabelTargetDisk = "Target Disk : ";
inline constexpr std::string_view kLabelTargetImage = "Target Image :";
inline constexpr std::string_view kLabelMultifile = "Multifile (Split file in 2gb chunks)";
inline constexpr std::string_view kLabelModelNumber = "Model Number :";
inline constexpr std::string_view kLabelTargetDiskSize = "Disk Size :";
inline constexpr std::string_view kHelpImageType =
    "Select Disk Image Type : Selected device to disk or Selected device to Image.";
inline constexpr std::string_view kHelpMultifile =
    "Multifile : This option will take the image size in 2gb chunks. This is only when disk image type is Image.";
inline constexpr std::string_view kImageFileShown = "DiskImage.dmg";

inline constexpr std::string_view kMsgChooseTargetDisk = "Please choose target disk.";
inline constexpr std::string_view kMsgTargetPathMissing = "Target path does not exist. Please choose correct path.";
inline constexpr std::string_view kQuestionNotEnoughSpace =
    "Destination does not contain adequate space. Do you want to continue.";
inline constexpr std::string_view kQuestionTargetDiskLost = "All data will be lost in Target Disk -\n";
inline constexpr std::string_view kQuestionTargetDiskTail = "\n\nAre you sure you want to continue ?\n";
inline constexpr std::string_view kMsgTargetIsSource = "The target is the disk being imaged. Please choose another target.";
inline constexpr std::string_view kMsgTargetMounted =
    "The target disk holds a mounted file system. Unmount it or choose another target.";

struct ImagingTarget {
  bool toDisk = false;
  // Image mode: the folder the pieces go into (never a file name).
  std::filesystem::path imageFolder;
  // Disk mode: the slot of the target in the device table, and its path.
  int targetDisk = -1;
  std::string targetDevicePath;
  std::string targetText;  // "Disk1 - model", shown while copying
  bool split = false;      // "Multifile"
};

// The page's path field holds the folder, or the folder + "/DiskImage.dmg"
// as Browse writes it: the folder is the field less a trailing name ending
// in ".dmg". Pieces always go into that folder.
std::filesystem::path ImageFolderFromField(std::string_view field);
// What Browse puts in the path field for a chosen folder.
std::string PathFieldForFolder(const std::filesystem::path& folder);

// Start in image mode: the folder must exist; an image that may not fit the
// free space of the folder's own file system asks the space question. An
// image folder that is the source itself is refused. The message to show
// when the run must not start (nullopt: start). A No to the question gives
// an empty message: stay on the page, say nothing.
using FreeSpaceFunction = std::function<std::optional<std::uint64_t>(const std::filesystem::path&)>;
std::optional<std::string> CheckImageTarget(const std::filesystem::path& folder, std::uint64_t imageBytes,
                                            const std::filesystem::path& sourceImageFolder, Prompts& prompts,
                                            const FreeSpaceFunction& freeSpace);

// Start in disk mode: a target must be chosen and must not be the source;
// one too small asks the space question; then the data-loss question.
struct TargetDiskChoice {
  int slot = -1;  // -1: none chosen
  std::string devicePath;
  std::string valueName;  // "Disk1"
  std::string model;
  std::uint64_t sizeBytes = 0;
};
std::optional<std::string> CheckTargetDisk(const TargetDiskChoice& choice, std::uint64_t imageBytes,
                                           const std::string& sourceDevicePath, Prompts& prompts);

}  // namespace korv
