#include "app/session.h"

#include "engine/partition_volumes.h"
#include "platform/block_devices.h"
#include "storage/disk_image.h"

namespace korv {

namespace {

std::filesystem::path InventoryPathOf(const SessionOptions& options) {
  return options.inventoryPath.empty() ? InventoryStore::DefaultPath() : options.inventoryPath;
}

}  // namespace

Session::Session(Prompts& promptsIn, SessionOptions options)
    : prompts(promptsIn),
      sectors(source, range, promptsIn),
      inventory(InventoryPathOf(options)),
      sourceTree(inventory, sectors, disks) {
  source.io = &io;
  if (!options.findPhysicalDisks) return;
  const auto disks = ListPhysicalDisks();
  for (std::size_t i = 0; i < disks.size() && i < source.devices.paths.size(); ++i) source.devices.paths[i] = disks[i];
}

VirtualFileSelection Session::OpenVirtualFile(const std::filesystem::path& path) {
  if (IsImagePath(path)) return OpenImage(path);
  return AcceptVirtualFile(ProbeVirtualFile(path));
}

VirtualFileSelection Session::AcceptVirtualFile(VirtualFileProbe probe) {
  if (IsImagePath(probe.selectedPath)) return OpenImage(probe.selectedPath);
  const std::filesystem::path path = probe.selectedPath;
  const std::filesystem::path name = path.filename();
  // A raw disk has no signature of its own: it is what no container took.
  const bool noContainer = probe.reader == nullptr && probe.probeResult == OpenResult::NotThisFormat;
  VirtualFileSelection selection = ValidateVirtualFile(std::move(probe));
  if (!selection.accepted && noContainer && LooksLikeRawDisk(path)) return OpenImage(path);
  if (!selection.accepted) return selection;
  virtualDisk_ = std::move(selection.reader);
  source.kind = SourceKind::VirtualDisk;
  source.virtualFormat = selection.virtualFormat;
  source.virtualDisk = virtualDisk_.get();
  source.displayName = name.string();
  source.imageFolder.clear();
  source.imageFile.clear();
  source.imageSplit = false;
  source.bytesPerSector = static_cast<std::int32_t>(kVirtualSectorBytes);
  return selection;
}

VirtualFileSelection Session::OpenImage(const std::filesystem::path& path) {
  VirtualFileSelection selection;
  const bool folder = IsImagePath(path);
  const ImageFolderOutcome outcome = folder ? OpenImageFolder(source, ImageFolderOf(path)) : OpenRawImage(source, path);
  selection.accepted = outcome.accepted;
  selection.message = outcome.message;
  if (!outcome.accepted) return selection;
  selection.probeResult = OpenResult::Opened;
  virtualDisk_.reset();
  source.virtualDisk = nullptr;
  source.virtualFormat = '\0';
  return selection;
}

std::optional<VirtualDiskFacts> Session::OpenDiskFacts() const { return korv::OpenDiskFacts(source); }

const SourceNode* Session::FillTreeAndFindDisk() {
  const std::string problem = sourceTree.Fill(OpenDiskFacts());
  if (!problem.empty()) prompts.ShowMessage(problem);
  // The open virtual disk is the last disk of the tree, after the machine's own.
  const SourceNode* disk = nullptr;
  for (const SourceNode& node : sourceTree.nodes()) {
    if (node.kind == SourceNodeKind::Disk) disk = &node;
  }
  return disk;
}

bool Session::SelectDisk() {
  const SourceNode* disk = FillTreeAndFindDisk();
  if (disk == nullptr) return false;
  sourceTree.Select(disk->id);
  return true;
}

bool Session::SelectPartition(int number) {
  const SourceNode* disk = FillTreeAndFindDisk();
  if (disk == nullptr) return false;
  const SourceNode* partition = sourceTree.FindPartition(disk->diskNumber, number);
  if (partition == nullptr) return false;
  sourceTree.Select(partition->id);
  return true;
}

AnalysisJob Session::MakeAnalysisJob(AnalysisProgress& progress) {
  return AnalysisJob{sectors, store,    scanLists,      volumeCandidates,   worker,    prompts, progress,
                     wizard,  runFlags, bootParameters, analysisParameters, &loadedLog};
}

AnalysisOutcome Session::Analyse(RecoveryMode mode, AnalysisProgress& progress) {
  const StartOutcome start = sourceTree.ValidateAndStart(mode, {});
  if (start.action != StartAction::StartAnalysis) {
    if (!start.message.empty()) prompts.ShowMessage(start.message);
    return AnalysisOutcome::NoWorker;
  }
  return AnalyseSelectedRange(mode, progress);
}

AnalysisOutcome Session::AnalyseSelectedRange(RecoveryMode mode, AnalysisProgress& progress) {
  if (!ReadSelectedBootParameters(sectors, bootParameters)) {
    prompts.ShowMessage(kMsgBootSectorUnreadable);
    return AnalysisOutcome::NoWorker;
  }
  wizard.formattedMode = mode == RecoveryMode::FormattedData;
  wizard.imagingMode = false;
  wizard.rangeRun = false;
  runFlags = {};
  worker.Reset();
  AnalysisJob job = MakeAnalysisJob(progress);
  return RunAnalysis(job);
}

AnalysisOutcome Session::ScanRangeForVolumes(AnalysisProgress& progress) {
  // The range need not begin with a boot sector; the NTFS scan then tries
  // the range itself with no geometry, which confirms nothing.
  if (!ReadSelectedBootParameters(sectors, bootParameters)) bootParameters = {};
  wizard.mode = RecoveryMode::PartitionData;
  wizard.rangeMode = true;
  wizard.formattedMode = false;
  wizard.imagingMode = false;
  wizard.rangeRun = true;
  runFlags = {};
  worker.Reset();
  AnalysisJob job = MakeAnalysisJob(progress);
  return RunAnalysis(job);
}

AnalysisOutcome Session::CopyFoundVolume(std::int64_t number, AnalysisProgress& progress) {
  if (!wizard.rangeRun || !IsListedVolume(number, volumeCandidates.size())) return AnalysisOutcome::NoWorker;
  VolumeCandidate& candidate = volumeCandidates[static_cast<std::size_t>(number - 1)];
  UsePickedVolume(sectors, candidate, bootParameters, range);
  runFlags.rangePhase = 1;
  runFlags.pickedVolume = static_cast<std::int32_t>(number);
  worker.Reset();
  AnalysisJob job = MakeAnalysisJob(progress);
  return RunAnalysis(job);
}

void Session::LeaveVolumeList() {
  scanLists.Clear();
  store.ClearStore();
  volumeCandidates.clear();
  runFlags.logLoaded = false;
  runFlags.rangePhase = 0;
  runFlags.pickedVolume = 0;
}

RecoveryLogState Session::MakeLogState() {
  return RecoveryLogState{source,   range, bootParameters, analysisParameters, wizard,
                          runFlags, store, scanLists,      volumeCandidates,   sectors.sectorBytes()};
}

std::optional<std::string_view> Session::SaveLog(const std::filesystem::path& chosen, bool fromVolumeList) {
  // A folder alone names no file.
  if (!chosen.has_filename()) return kMsgLogNoPath;
  return SaveRecoveryLog(MakeLogState(), RecoveryLogPath(chosen), fromVolumeList && wizard.rangeRun);
}

std::optional<std::string_view> Session::LoadLogHeader(const std::filesystem::path& path) {
  RecoveryLogState state = MakeLogState();
  return LoadRecoveryLogHeader(path, LogTableSizes{kDevicePathSlots, kDiskTableSize, kMaxPartitionsPerDisk}, state,
                               loadedLog);
}

AnalysisOutcome Session::ReplayLog(AnalysisProgress& progress) {
  worker.Reset();
  AnalysisJob job = MakeAnalysisJob(progress);
  return RunAnalysis(job);
}

}  // namespace korv
