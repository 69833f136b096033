// Recognising the virtual disk file the user picked and deciding whether it
// can be worked on. Toolkit-free: the file dialog and the command line show
// what it returns.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "storage/virtual_disk.h"
#include "storage/current_source.h"
#include "vdisk/open_result.h"

namespace korv {

inline constexpr std::string_view kMsgSpecifyVirtualPath = "Please specify Virtual Path to continue further.";
inline constexpr std::string_view kMsgFileShared =
    "This virtual file is being shared by some other Application. Please close.";
inline constexpr std::string_view kMsgHighlyCorrupted = "This virtual file is highly corrupted. Cannot recover data.";
inline constexpr std::string_view kMsgParentNotFound =
    "Parent virtual file not found. Plz. keep that file in the same child path.";
inline constexpr std::string_view kMsgParentShared =
    "Parent virtual file is being shared by some other Application. Please close.";
inline constexpr std::string_view kMsgParentCorrupted = "Parent virtual file is highly corrupted. Cannot recover data.";
inline constexpr std::string_view kMsgChooseCorrectFile = "Please choose correct virtual file.";

struct VirtualFileSelection {
  bool accepted = false;
  std::string message;            // the refusal, empty when accepted
  OpenResult probeResult = OpenResult::NotThisFormat;
  char virtualFormat = 'N';
  std::unique_ptr<VirtualDisk> reader;  // the open reader when accepted
};

// Probes the readers in their fixed order, then runs the acceptance checks.
VirtualFileSelection SelectVirtualFile(const std::filesystem::path& path);

// The format's name for a letter ("VHD", "VHDX", ...).
std::string_view FormatName(char virtualFormat);

}  // namespace korv
