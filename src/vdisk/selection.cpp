#include "vdisk/selection.h"

#include <algorithm>
#include <array>
#include <functional>

#include "platform/file.h"
#include "vdisk/parallels.h"
#include "vdisk/qcow.h"
#include "vdisk/qed.h"
#include "vdisk/vdi.h"
#include "vdisk/vhd.h"
#include "vdisk/vhdx.h"
#include "vdisk/vmdk.h"

namespace korv {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kVboxExtension = ".vbox";
constexpr std::string_view kVboxLocationKey = "location=";
// A location longer than this is not a path.
constexpr std::size_t kMaxVboxLocation = 4096;

constexpr std::string_view kVmdkDamagedType = "Damaged";

struct ProbeStep {
  char letter;
  std::function<std::unique_ptr<VirtualDisk>(const fs::path&, OpenResult&)> open;
};

template <typename Reader>
std::unique_ptr<VirtualDisk> OpenWith(const fs::path& path, OpenResult& result) {
  auto reader = std::make_unique<Reader>();
  result = reader->Open(path);
  return reader;
}

bool EndsWithIgnoringCase(const std::string& text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  return std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                    [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) ==
                                                std::tolower(static_cast<unsigned char>(b)); });
}

VirtualFileSelection Refuse(VirtualFileSelection selection, std::string_view message) {
  selection.accepted = false;
  selection.reader.reset();
  selection.message = std::string(message);
  return selection;
}

VirtualFileSelection Accept(VirtualFileSelection selection, std::unique_ptr<VirtualDisk> reader) {
  selection.accepted = true;
  selection.message.clear();
  selection.reader = std::move(reader);
  return selection;
}

std::string ParentMessage(ParentOutcome outcome) {
  switch (outcome) {
    case ParentOutcome::NotFound: return std::string(kMsgParentNotFound);
    case ParentOutcome::Locked: return std::string(kMsgParentShared);
    case ParentOutcome::Damaged: return std::string(kMsgParentCorrupted);
    case ParentOutcome::Ready: return {};
  }
  return std::string(kMsgParentCorrupted);
}

VirtualFileSelection ValidateVhd(VirtualFileSelection selection, VirtualFileProbe& probe) {
  if (probe.probeResult == OpenResult::Damaged) return Refuse(std::move(selection), kMsgHighlyCorrupted);
  auto& vhd = static_cast<VhdReader&>(*probe.reader);
  if (vhd.isDifferencing()) {
    const ParentOutcome parent = ResolveVhdParent(vhd, probe.selectedPath);
    if (parent != ParentOutcome::Ready) return Refuse(std::move(selection), ParentMessage(parent));
  }
  return Accept(std::move(selection), std::move(probe.reader));
}

VirtualFileSelection ValidateVmdk(VirtualFileSelection selection, const fs::path& path) {
  auto vmdk = std::make_unique<VmdkReader>();
  const OpenResult result = vmdk->Open(path);
  // The VMDK reader's answer is the one that counts for a file no other
  // reader recognised.
  selection.probeResult = result;
  switch (result) {
    case OpenResult::CannotOpen: return Refuse(std::move(selection), kMsgFileShared);
    case OpenResult::Damaged: return Refuse(std::move(selection), kMsgSelectValidFile);
    case OpenResult::NotThisFormat: return Refuse(std::move(selection), kMsgHighlyCorrupted);
    case OpenResult::Opened: break;
  }
  const std::string& type = vmdk->diskTypeText();
  if (type == kVmdkDamagedType) return Refuse(std::move(selection), kMsgHighlyCorrupted);
  if (!IsAcceptedVmdkType(type)) return Refuse(std::move(selection), kMsgChooseCorrectFile);
  return Accept(std::move(selection), std::move(vmdk));
}

// Feeds a file to `consume` in bounded chunks; false when it cannot be read.
bool ForEachChunk(const fs::path& path, const std::function<bool(std::string_view)>& consume) {
  auto file = File::OpenReadOnly(path);
  if (!file) return false;
  std::vector<std::uint8_t> chunk(64 * 1024);
  for (std::uint64_t offset = 0;;) {
    const std::size_t got = file->ReadAt(offset, chunk);
    if (got == 0) return true;
    if (!consume(std::string_view(reinterpret_cast<const char*>(chunk.data()), got))) return true;
    offset += got;
  }
}

// The value of the first location="..." in the file, searched across chunk
// boundaries; empty when there is none or it is not closed.
std::string FirstVboxLocation(const fs::path& vboxPath) {
  enum class State { Key, Quote, Value, Done };
  State state = State::Key;
  std::size_t matched = 0;
  std::string value;
  ForEachChunk(vboxPath, [&](std::string_view chunk) {
    for (const char c : chunk) {
      switch (state) {
        case State::Key:
          // The key has no repeated prefix, so a mismatch restarts cleanly.
          matched = (c == kVboxLocationKey[matched]) ? matched + 1 : (c == kVboxLocationKey[0] ? 1 : 0);
          if (matched == kVboxLocationKey.size()) state = State::Quote;
          break;
        case State::Quote:
          if (c != '"') {
            value.clear();
            state = State::Done;
            return false;
          }
          state = State::Value;
          break;
        case State::Value:
          if (c == '"') {
            state = State::Done;
            return false;
          }
          if (value.size() >= kMaxVboxLocation) {
            value.clear();
            state = State::Done;
            return false;
          }
          value.push_back(c);
          break;
        case State::Done: return false;
      }
    }
    return true;
  });
  return state == State::Done ? value : std::string();
}

// The XML entities a path in a machine file may contain.
std::string DecodeXmlEntities(const std::string& text) {
  static const std::array<std::pair<std::string_view, char>, 5> kEntities = {
      {{"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}, {"&lt;", '<'}, {"&gt;", '>'}}};
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    bool replaced = false;
    for (const auto& [entity, character] : kEntities) {
      if (text.compare(i, entity.size(), entity) == 0) {
        out.push_back(character);
        i += entity.size();
        replaced = true;
        break;
      }
    }
    if (!replaced) out.push_back(text[i++]);
  }
  return out;
}

}  // namespace

fs::path ResolveVboxFile(const fs::path& vboxPath) {
  const std::string location = DecodeXmlEntities(FirstVboxLocation(vboxPath));
  if (location.empty()) return {};
  if (location.front() == '/') return location;
  // Normally the disk lies beside its machine file; a Windows name
  // ("C:\VMs\disk.vdi") is found there by its last component.
  if (auto found = FindStoredFile(location, vboxPath)) return *found;
  std::string relative = location;
  std::replace(relative.begin(), relative.end(), '\\', '/');
  const fs::path folder = vboxPath.parent_path().empty() ? fs::path(".") : vboxPath.parent_path();
  return folder / relative;
}

VirtualFileProbe ProbeVirtualFile(const fs::path& chosenPath) {
  VirtualFileProbe probe;
  probe.selectedPath = chosenPath;
  if (EndsWithIgnoringCase(chosenPath.string(), kVboxExtension)) {
    probe.chosenVboxPath = chosenPath;
    const fs::path disk = ResolveVboxFile(chosenPath);
    if (!disk.empty()) probe.selectedPath = disk;
  }
  if (probe.selectedPath.empty()) return probe;
  if (HeldByAnotherWriter(probe.selectedPath)) {
    probe.probeResult = OpenResult::CannotOpen;
    return probe;
  }

  const std::array<ProbeStep, 6> steps = {{
      {VirtualFormat::Qcow, OpenWith<QcowReader>},
      {VirtualFormat::Qed, OpenWith<QedReader>},
      {VirtualFormat::Parallels, OpenWith<ParallelsReader>},
      {VirtualFormat::Vdi, OpenWith<VdiReader>},
      {VirtualFormat::Vhd, OpenWith<VhdReader>},
      {VirtualFormat::Vhdx, OpenWith<VhdxReader>},
  }};
  for (std::size_t i = 0; i < steps.size(); ++i) {
    auto reader = steps[i].open(probe.selectedPath, probe.probeResult);
    if (probe.probeResult == OpenResult::Opened || probe.probeResult == OpenResult::Damaged) {
      probe.virtualFormat = steps[i].letter;
      probe.reader = std::move(reader);
      return probe;
    }
    // A file the first reader cannot open is locked: the others cannot either.
    if (i == 0 && probe.probeResult == OpenResult::CannotOpen) return probe;
  }
  probe.virtualFormat = VirtualFormat::Vmdk;
  return probe;
}

VirtualFileSelection ValidateVirtualFile(VirtualFileProbe probe) {
  VirtualFileSelection selection;
  selection.probeResult = probe.probeResult;
  selection.virtualFormat = probe.virtualFormat;
  if (probe.selectedPath.empty()) return Refuse(std::move(selection), kMsgSpecifyVirtualPath);
  if (probe.probeResult == OpenResult::CannotOpen) return Refuse(std::move(selection), kMsgFileShared);
  switch (probe.virtualFormat) {
    case VirtualFormat::Vhd: return ValidateVhd(std::move(selection), probe);
    case VirtualFormat::Qcow:
    case VirtualFormat::Qed:
    case VirtualFormat::Parallels:
    case VirtualFormat::Vdi:
    case VirtualFormat::Vhdx:
      if (probe.probeResult == OpenResult::Damaged) return Refuse(std::move(selection), kMsgHighlyCorrupted);
      return Accept(std::move(selection), std::move(probe.reader));
    default: return ValidateVmdk(std::move(selection), probe.selectedPath);
  }
}

VirtualFileSelection SelectVirtualFile(const fs::path& path) { return ValidateVirtualFile(ProbeVirtualFile(path)); }

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
