// Recognising the virtual disk file the user picked and deciding whether it
// can be worked on. Toolkit-free: the file dialog and the command line show
// what it returns.
//
// Picking a file (Browse) probes it in readers of its own; only accepting it
// (OK) hands the open reader over. A file that is refused or abandoned never
// disturbs the disk already accepted.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "storage/virtual_disk.h"
#include "vdisk/formats.h"
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
inline constexpr std::string_view kMsgSelectValidFile = "Please select valid file.";
// A file that cannot be opened is "shared" only when another program holds
// it; a missing or unreadable one says so, with the file's name.
inline constexpr std::string_view kMsgFileMissing = "The virtual file does not exist: ";
inline constexpr std::string_view kMsgFileUnreadable = "The virtual file cannot be read: ";
inline constexpr std::string_view kMsgChooseCorrectFile = "Please choose correct virtual file.";

// What picking a file found out, before the user accepts it.
struct VirtualFileProbe {
  std::filesystem::path selectedPath;     // the disk file (after ".vbox" resolution)
  std::filesystem::path chosenVboxPath;   // the ".vbox" picked, if one was
  OpenResult probeResult = OpenResult::NotThisFormat;
  // The letter of the format that recognised the file ('N': none did, VMDK
  // is tried on acceptance).
  char virtualFormat = VirtualFormat::Vmdk;
  std::unique_ptr<VirtualDisk> reader;    // the reader that opened the file
  std::string reason;                     // why the recognising format refused the file
};

struct VirtualFileSelection {
  bool accepted = false;
  std::string message;            // the refusal, empty when accepted
  OpenResult probeResult = OpenResult::NotThisFormat;
  char virtualFormat = VirtualFormat::Vmdk;
  std::unique_ptr<VirtualDisk> reader;  // the open reader when accepted
  std::string reason;                   // the check the file failed, when a reader named one
};

// Browse: resolves a ".vbox" to the disk it names, then tries the formats in
// their probe order (QCOW, QED, Parallels, VDI, VHD, VHDX).
VirtualFileProbe ProbeVirtualFile(const std::filesystem::path& chosenPath);

// OK: the acceptance checks and their messages (the format tried last, VMDK,
// is tried here).
VirtualFileSelection ValidateVirtualFile(VirtualFileProbe probe);

// Browse and OK in one.
VirtualFileSelection SelectVirtualFile(const std::filesystem::path& path);

// The disk a VirtualBox machine file names (its first location="..."), in the
// machine file's folder unless it is an absolute path; empty when none.
std::filesystem::path ResolveVboxFile(const std::filesystem::path& vboxPath);

}  // namespace korv
