#include "cli/source_choice.h"

#include <csignal>
#include <iostream>
#include <unistd.h>

#include "ui/logic/source_page_texts.h"

namespace korv::cli {

namespace {

using namespace std::chrono_literals;

}  // namespace

SessionOptions SessionOptionsFor(const SourceChoice& choice) {
  SessionOptions options;
  options.inventoryPath = choice.inventory;
  return options;
}

RecoveryMode ModeOf(const SourceChoice& choice) {
  if (choice.mode == "partition") return RecoveryMode::PartitionData;
  return choice.mode == "formatted" ? RecoveryMode::FormattedData : RecoveryMode::DeletedData;
}

std::string ModeWordOf(const Session& session, const SourceChoice& choice) {
  if (choice.loadLog.empty()) return choice.mode;
  if (session.wizard.rangeRun) return "partition";
  return session.wizard.formattedMode ? "formatted" : "deleted";
}

bool ListsVolumes(const Session& session, const SourceChoice& choice) {
  if (choice.loadLog.empty()) return ModeOf(choice) == RecoveryMode::PartitionData;
  return session.loadedLog.scanLists;
}

namespace {

// The range fields as the source page's range group would hold them.
RangeFields RangeFieldsOf(const SourceChoice& choice, FileSystemKind fileSystem) {
  // A file system the list does not offer (FAT12) is an item it does not have.
  RangeFields fields{std::to_string(*choice.first), std::to_string(*choice.end), static_cast<int>(kFileSystemItems.size())};
  for (std::size_t item = 0; item < kFileSystemItems.size(); ++item) {
    if (kFileSystemItems[item] == fileSystem) fields.fileSystemItem = static_cast<int>(item);
  }
  return fields;
}

// A log names its own partition or range; the disk's node stands for the
// device it must be of.
std::optional<std::string> SelectLogSource(Session& session, const SourceChoice& choice) {
  const VirtualFileSelection selection = session.OpenVirtualFile(choice.image);
  if (!selection.accepted) return selection.message;
  if (!session.SelectDisk()) return std::string(kMsgSelectVirtualDisk);
  if (const auto refusal = session.LoadLogHeader(choice.loadLog)) return std::string(*refusal);
  if (choice.volume != 0 && !session.loadedLog.scanLists) return std::string(kMsgVolumeNeedsVolumeLog);
  return std::nullopt;
}

}  // namespace

std::optional<std::string> SelectSource(Session& session, const SourceChoice& choice) {
  const bool typedRange = choice.first || choice.end || !choice.fileSystem.empty();
  if (!choice.loadLog.empty()) {
    if (typedRange || choice.partition > 0) return std::string(kMsgLogIsTheSource);
    return SelectLogSource(session, choice);
  }
  if ((choice.partition > 0) == typedRange) return std::string(kMsgChooseOneSource);
  if (typedRange && (!choice.first || !choice.end || choice.fileSystem.empty())) return std::string(kMsgChooseOneSource);
  const bool partitionMode = ModeOf(choice) == RecoveryMode::PartitionData;
  if (partitionMode && !typedRange) return std::string(kMsgPartitionModeNeedsRange);
  if (!partitionMode && choice.volume != 0) return std::string(kMsgVolumeNeedsPartitionMode);

  const VirtualFileSelection selection = session.OpenVirtualFile(choice.image);
  if (!selection.accepted) return selection.message;
  if (!typedRange) {
    if (!session.SelectPartition(choice.partition)) {
      return std::string(kMsgNoSuchPartition) + std::to_string(choice.partition) + ".";
    }
  } else {
    // A typed range goes through the same checks of Next as on the source
    // page; the disk's node stands for the device.
    if (!session.SelectDisk()) return std::string(kMsgSelectVirtualDisk);
    const auto fileSystem = ParseFileSystemKind(choice.fileSystem);
    if (!fileSystem || *fileSystem == FileSystemKind::Unknown) return std::string(kMsgSelectPartitionType);
    session.range.firstSector = *choice.first;
    session.range.endSector = *choice.end;
    session.range.fileSystem = *fileSystem;
    if (partitionMode) {
      // Next on the source page with the range group filled in.
      const StartOutcome start = session.sourceTree.ValidateAndStart(ModeOf(choice), RangeFieldsOf(choice, *fileSystem));
      if (start.action != StartAction::RunPartitionScan) return start.message;
      return std::nullopt;
    }
  }
  const StartOutcome start = session.sourceTree.ValidateAndStart(ModeOf(choice), {});
  if (start.action != StartAction::StartAnalysis) return start.message;
  return std::nullopt;
}

StopOnInterrupt::StopOnInterrupt(WorkerControl& worker) : worker_(worker) {
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  pthread_sigmask(SIG_BLOCK, &interrupt, nullptr);
  waiter_ = std::thread([this, interrupt] {
    for (;;) {
      int signal = 0;
      if (sigwait(&interrupt, &signal) != 0) return;
      // The destructor's own wake-up, or a Ctrl-C once the run is over.
      if (done_.load()) return;
      interrupted_.store(true);
      worker_.RequestStop();
    }
  });
}

StopOnInterrupt::~StopOnInterrupt() {
  // The waiter is woken at once rather than left to time out: every command
  // that ran under this guard would otherwise end up to a tick late.
  done_.store(true);
  pthread_kill(waiter_.native_handle(), SIGINT);
  waiter_.join();
  sigset_t interrupt;
  sigemptyset(&interrupt);
  sigaddset(&interrupt, SIGINT);
  pthread_sigmask(SIG_UNBLOCK, &interrupt, nullptr);
}

TerminalProgress::TerminalProgress(const AnalysisProgress* progress)
    : progress_(progress), enabled_(::isatty(STDERR_FILENO) == 1) {}

TerminalProgress::~TerminalProgress() {
  if (enabled_ && drawn_) std::cerr << '\n';
}

void TerminalProgress::SetText(ProgressField field, std::string_view text) {
  switch (field) {
    case ProgressField::Files: files_ = text; break;
    case ProgressField::Folders: folders_ = text; break;
    case ProgressField::Sector: sector_ = text; break;
    case ProgressField::Status: status_ = text; break;
    default: return;
  }
  Draw(false);
}

void TerminalProgress::SetPercent(int percent) {
  percent_ = percent;
  Draw(false);
}

void TerminalProgress::Draw(bool force) {
  if (!enabled_) return;
  const auto now = std::chrono::steady_clock::now();
  if (!force && drawn_ && now - lastDraw_ < 200ms) return;
  lastDraw_ = now;
  drawn_ = true;
  std::string line = std::to_string(percent_) + "%";
  if (!folders_.empty()) line += "  folders " + folders_;
  if (!files_.empty()) line += "  files " + files_;
  if (!sector_.empty()) line += "  sector " + sector_;
  if (progress_ != nullptr) line += "  " + progress_->ClockText();
  if (!status_.empty()) line += "  " + status_;
  if (line.size() > 100) line.resize(100);
  std::cerr << "\r\x1b[K" << line << std::flush;
}

}  // namespace korv::cli
