#include "vdisk/selection.h"

#include <algorithm>
#include <array>
#include <functional>

#include "platform/file.h"
#include "platform/read_buffer.h"
#include "vdisk/vhd.h"
#include "vdisk/vmdk.h"

namespace korv {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kVboxExtension = ".vbox";
constexpr std::string_view kVboxLocationKey = "location=";
// A location longer than this is not a path.
constexpr std::size_t kMaxVboxLocation = 4096;

constexpr std::string_view kVmdkDamagedType = "Damaged";
constexpr std::string_view kReasonHeldByAnotherWriter = "held by another program";


VirtualFileSelection Refuse(VirtualFileSelection selection, std::string_view message) {
  selection.accepted = false;
  selection.reader.reset();
  selection.message = std::string(message);
  return selection;
}

// Why a file could not be opened: missing, unreadable (with the system's
// reason), or held by another program.
std::string CannotOpenMessage(const fs::path& path) {
  if (!PathExists(path)) return std::string(kMsgFileMissing) + path.string();
  std::error_code error;
  if (!File::OpenReadOnly(path, &error) && error) {
    return std::string(kMsgFileUnreadable) + path.string() + ": " + error.message();
  }
  return std::string(kMsgFileShared);
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

// A damaged file opens no reader.
VirtualFileSelection AcceptAsOpened(VirtualFileSelection selection, VirtualFileProbe& probe) {
  if (!probe.reader) return Refuse(std::move(selection), kMsgHighlyCorrupted);
  return Accept(std::move(selection), std::move(probe.reader));
}

VirtualFileSelection AcceptWithParents(VirtualFileSelection selection, VirtualFileProbe& probe) {
  if (!probe.reader) return Refuse(std::move(selection), kMsgHighlyCorrupted);
  // Only the VHD reader has parents to resolve.
  auto* vhd = dynamic_cast<VhdReader*>(probe.reader.get());
  if (vhd && vhd->isDifferencing()) {
    const ParentOutcome parent = ResolveVhdParent(*vhd, probe.selectedPath);
    if (parent != ParentOutcome::Ready) return Refuse(std::move(selection), ParentMessage(parent));
  }
  return Accept(std::move(selection), std::move(probe.reader));
}

// The format tried last gives the answer that counts for a file no other
// format recognised. Only the VMDK reader is tried that way.
VirtualFileSelection AcceptTriedLast(VirtualFileSelection selection, const ContainerFormat& format,
                                     const fs::path& path) {
  OpenAttempt<VirtualDisk> attempt = format.open(path);
  selection.probeResult = attempt.result;
  selection.reason = attempt.reason;
  switch (attempt.result) {
    case OpenResult::CannotOpen: return Refuse(std::move(selection), kMsgFileShared);
    case OpenResult::Damaged: return Refuse(std::move(selection), kMsgSelectValidFile);
    case OpenResult::NotThisFormat: return Refuse(std::move(selection), kMsgHighlyCorrupted);
    case OpenResult::Opened: break;
  }
  const auto* vmdk = dynamic_cast<const VmdkReader*>(attempt.reader.get());
  const std::string type = vmdk ? vmdk->diskTypeText() : std::string();
  if (type == kVmdkDamagedType) return Refuse(std::move(selection), kMsgHighlyCorrupted);
  if (!IsAcceptedVmdkType(type)) return Refuse(std::move(selection), kMsgChooseCorrectFile);
  return Accept(std::move(selection), std::move(attempt.reader));
}

// Feeds a file to `consume` in bounded chunks; false when it cannot be read.
bool ForEachChunk(const fs::path& path, const std::function<bool(std::string_view)>& consume) {
  auto file = File::OpenReadOnly(path);
  if (!file) return false;
  ReadBuffer chunk(64 * 1024);
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
    probe.reason = kReasonHeldByAnotherWriter;
    return probe;
  }

  const auto formats = ProbedFormats();
  for (std::size_t i = 0; i < formats.size(); ++i) {
    OpenAttempt<VirtualDisk> attempt = formats[i]->open(probe.selectedPath);
    probe.probeResult = attempt.result;
    if (attempt.result == OpenResult::Opened || attempt.result == OpenResult::Damaged) {
      probe.virtualFormat = formats[i]->letter;
      probe.reader = std::move(attempt.reader);
      probe.reason = std::move(attempt.reason);
      return probe;
    }
    // A file the first format cannot open is locked: the others cannot either.
    if (i == 0 && attempt.result == OpenResult::CannotOpen) {
      probe.reason = std::move(attempt.reason);
      return probe;
    }
  }
  probe.virtualFormat = LastTriedFormat().letter;
  return probe;
}

VirtualFileSelection ValidateVirtualFile(VirtualFileProbe probe) {
  VirtualFileSelection selection;
  selection.probeResult = probe.probeResult;
  selection.virtualFormat = probe.virtualFormat;
  selection.reason = probe.reason;
  if (probe.selectedPath.empty()) return Refuse(std::move(selection), kMsgSpecifyVirtualPath);
  if (probe.probeResult == OpenResult::CannotOpen) {
    return Refuse(std::move(selection), CannotOpenMessage(probe.selectedPath));
  }
  const ContainerFormat* format = FormatOfLetter(probe.virtualFormat);
  // Only a probe made by hand can name a letter no format has.
  if (!format) return Refuse(std::move(selection), kMsgSelectValidFile);
  switch (format->acceptance) {
    case Acceptance::AsOpened: return AcceptAsOpened(std::move(selection), probe);
    case Acceptance::WithParents: return AcceptWithParents(std::move(selection), probe);
    case Acceptance::TriedLast: return AcceptTriedLast(std::move(selection), *format, probe.selectedPath);
  }
  return Refuse(std::move(selection), kMsgSelectValidFile);
}

VirtualFileSelection SelectVirtualFile(const fs::path& path) { return ValidateVirtualFile(ProbeVirtualFile(path)); }

}  // namespace korv
