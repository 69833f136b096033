#include "vdisk/selection.h"

#include "vdisk/vhd.h"

namespace korv {

namespace {

std::string ParentMessage(ParentOutcome outcome) {
  switch (outcome) {
    case ParentOutcome::NotFound: return std::string(kMsgParentNotFound);
    case ParentOutcome::Locked: return std::string(kMsgParentShared);
    case ParentOutcome::Damaged: return std::string(kMsgParentCorrupted);
    case ParentOutcome::Ready: return {};
  }
  return std::string(kMsgParentCorrupted);
}

VirtualFileSelection Refuse(VirtualFileSelection selection, std::string_view message) {
  selection.accepted = false;
  selection.reader.reset();
  selection.message = std::string(message);
  return selection;
}

// The checks of a file the VHD reader recognised.
VirtualFileSelection AcceptVhd(VirtualFileSelection selection, std::unique_ptr<VhdReader> reader,
                               const std::filesystem::path& path) {
  if (selection.probeResult == OpenResult::Damaged) return Refuse(std::move(selection), kMsgHighlyCorrupted);
  if (reader->isDifferencing()) {
    const ParentOutcome parent = ResolveVhdParent(*reader, path);
    if (parent != ParentOutcome::Ready) return Refuse(std::move(selection), ParentMessage(parent));
  }
  selection.accepted = true;
  selection.reader = std::move(reader);
  return selection;
}

}  // namespace

VirtualFileSelection SelectVirtualFile(const std::filesystem::path& path) {
  VirtualFileSelection selection;
  if (path.empty()) return Refuse(std::move(selection), kMsgSpecifyVirtualPath);

  auto vhd = std::make_unique<VhdReader>();
  selection.probeResult = vhd->Open(path);
  if (selection.probeResult == OpenResult::CannotOpen) return Refuse(std::move(selection), kMsgFileShared);
  if (selection.probeResult == OpenResult::Opened || selection.probeResult == OpenResult::Damaged) {
    selection.virtualFormat = VirtualFormat::Vhd;
    return AcceptVhd(std::move(selection), std::move(vhd), path);
  }
  // No reader recognised the file.
  selection.virtualFormat = VirtualFormat::Vmdk;
  return Refuse(std::move(selection), kMsgChooseCorrectFile);
}

std::string_view FormatName(char virtualFormat) {
  switch (virtualFormat) {
    case VirtualFormat::Qcow: return "QCOW";
    case VirtualFormat::Qed: return "QED";
    case VirtualFormat::Parallels: return "HDD";
    case VirtualFormat::Vdi: return "VDI";
    case VirtualFormat::Vhd: return "VHD";
    case VirtualFormat::Vhdx: return "VHDX";
    default: return "VMDK";
  }
}

}  // namespace korv
