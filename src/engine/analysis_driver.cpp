#include "engine/analysis_driver.h"

#include <optional>

#include "common/size_text.h"
#include "engine/deleted_fat.h"
#include "engine/deleted_ntfs.h"
#include "engine/formatted_fat.h"
#include "engine/formatted_ntfs.h"
#include "engine/partition_fat.h"
#include "engine/partition_volumes.h"
#include "engine/recovery_log.h"
#include "fs/fat/fat_boot.h"
#include "fs/fat/fat_type.h"
#include "fs/ntfs/mft_run_list.h"
#include "fs/ntfs/ntfs_boot.h"

namespace korv {

namespace {

// The workers this build does not carry yet end the run as a mode that
// cannot work on the volume.
AnalysisOutcome NotAvailable(AnalysisJob& job) {
  job.prompts.ShowMessage(kMsgRecoveryNotPossible);
  return AnalysisOutcome::CloseNoResults;
}

void ShowFixedTexts(AnalysisJob& job) {
  ProgressSink& sink = job.sink();
  sink.SetText(ProgressField::Mode, ModeName(job.wizard, job.flags));
  sink.SetText(ProgressField::Device, DeviceName(job.sectors.source()));
  sink.SetText(ProgressField::Capacity, CapacityText(job.range(), job.sectors.sectorBytes()));
  if (job.flags.rawRun) {
    sink.SetText(ProgressField::StepPicture, kStepPictureRaw);
    sink.SetText(ProgressField::Banner, kBannerRaw);
    return;
  }
  if (job.wizard.imagingMode) {
    sink.SetText(ProgressField::Banner, kBannerImaging);
    return;
  }
  sink.SetText(ProgressField::StepPicture, kStepPictureAnalysis);
  if (job.wizard.rangeRun && job.flags.rangePhase == 0) {
    sink.SetText(ProgressField::Banner, kBannerPartition);
  } else {
    sink.SetText(ProgressField::Banner, job.wizard.formattedMode ? kBannerFormatted : kBannerDeleted);
  }
}

void CopyBootParameters(AnalysisJob& job, FileSystemKind fileSystem) {
  job.parameters.boot = job.bootParameters;
  job.parameters.fileSystem = fileSystem;
}

AnalysisOutcome RunNtfs(AnalysisJob& job) {
  CopyBootParameters(job, FileSystemKind::Ntfs);
  job.progress.StartClock();
  if (job.wizard.rangeRun && job.flags.rangePhase == 1) {
    job.sink().SetText(ProgressField::SizeLabel, kLabelTotalSize);
    return CopyNtfsVolume(job);
  }
  if (job.wizard.formattedMode || job.wizard.rangeRun) {
    job.sink().SetText(ProgressField::SizeLabel, job.flags.logLoaded ? kLabelTotalSize : kLabelIndexesFound);
    if (job.wizard.rangeRun) ++job.flags.rangePhase;
    return RunFormattedNtfs(job);
  }
  job.sink().SetText(ProgressField::SizeLabel, kLabelTotalSize);
  job.store.currentVolume = 0;
  const MftRunList mft = BuildMftRunList(job.sectors, job.parameters.boot);
  return RunDeletedNtfs(job, mft);
}

AnalysisOutcome RunFat(AnalysisJob& job) {
  CopyBootParameters(job, AnalysedFileSystem(job.range(), job.bootParameters));
  job.progress.StartClock();
  if (job.wizard.rangeRun) {
    if (job.flags.rangePhase != 0 && job.flags.rangePhase != 1) return AnalysisOutcome::NoWorker;
    job.sink().SetText(ProgressField::SizeLabel, job.flags.logLoaded ? kLabelTotalSize : kLabelCurrentSector);
    return job.flags.rangePhase == 0 ? ScanFatRange(job) : CopyFatVolume(job);
  }
  if (job.wizard.formattedMode) return RunFormattedFat(job);
  job.sink().SetText(ProgressField::SizeLabel, kLabelTotalSize);
  job.sink().SetVisible(ProgressGroup::SectorLine, false);
  job.store.currentVolume = 0;
  job.store.ClearStore();
  return RunDeletedFat(job);
}

// What each file system is analysed with: how its boot parameters are read,
// the run of the chosen mode, and the formatted scan a deleted-data run that
// found nothing hands over to.
struct FileSystemWorkers {
  bool (*readBootParameters)(SectorSource&, const SelectedRange&, BootParameters&);
  AnalysisOutcome (*run)(AnalysisJob&);
  AnalysisOutcome (*formattedScan)(AnalysisJob&);
};

std::optional<FileSystemWorkers> WorkersOf(FileSystemKind kind) {
  switch (kind) {
    case FileSystemKind::Ntfs: return FileSystemWorkers{ReadNtfsBootParameters, RunNtfs, RunFormattedNtfs};
    case FileSystemKind::Fat12:
    case FileSystemKind::Fat16:
    case FileSystemKind::Fat32: return FileSystemWorkers{ReadFatBootParameters, RunFat, RunFormattedFat};
    case FileSystemKind::Unknown: return std::nullopt;
  }
  return std::nullopt;
}

// The copy of a picked volume reads the disk and the scan lists, also after
// a log was loaded: only the runs before it replay the log.
bool IsVolumeCopy(const AnalysisJob& job) { return job.wizard.rangeRun && job.flags.rangePhase == 1; }

// A run with logLoaded: the lists come from the log, the words and flags
// were restored with its header. A range log saved from the volume list
// leads to the volume list again; one saved from the results (the picked
// volume's store, no scan lists) straight to the results.
AnalysisOutcome ReplayLog(AnalysisJob& job) {
  job.sink().SetText(ProgressField::SizeLabel, kLabelTotalSize);
  job.progress.StartClock();
  if (job.log == nullptr) return NotAvailable(job);
  switch (LoadRecoveryLogLists(job, *job.log)) {
    case LogListsOutcome::Refused: return AnalysisOutcome::CloseNoResults;
    case LogListsOutcome::Abandoned: return AnalysisOutcome::Abandoned;
    case LogListsOutcome::Loaded:
    case LogListsOutcome::Stopped: break;
  }
  if (job.wizard.rangeRun && job.log->scanLists) {
    job.flags.rangePhase = 1;
    return AnalysisOutcome::CloseForVolumeList;
  }
  if (job.wizard.rangeRun || job.wizard.formattedMode) return AnalysisOutcome::ResultsReady;
  return AnalysisOutcome::DeletedRunEnded;
}

AnalysisOutcome SelectAndRun(AnalysisJob& job) {
  if (job.flags.rawRun || job.wizard.imagingMode) return NotAvailable(job);
  if (job.flags.logLoaded && !IsVolumeCopy(job)) return ReplayLog(job);
  const auto workers = WorkersOf(job.range().fileSystem);
  if (!workers) return AnalysisOutcome::NoWorker;
  return workers->run(job);
}

}  // namespace

std::string_view ModeName(const WizardState& wizard, const AnalysisRunFlags& flags) {
  if (flags.rawRun) return kModeRaw;
  if (wizard.imagingMode) return kModeImaging;
  if (wizard.rangeRun) return kModePartition;
  return wizard.formattedMode ? kModeFormatted : kModeDeleted;
}

std::string DeviceName(const CurrentSource& source) {
  return source.isVirtual() ? std::string(kDeviceVirtualDisk) : source.displayName;
}

std::string CapacityText(const SelectedRange& range, std::uint32_t sectorBytes) {
  if (range.endSector <= range.firstSector) return "0";
  return FormatSizeText((range.endSector - range.firstSector) * sectorBytes);
}

bool ReadSelectedBootParameters(SectorSource& sectors, BootParameters& boot) {
  const SelectedRange& range = sectors.range();
  const auto workers = WorkersOf(range.fileSystem);
  return workers && workers->readBootParameters(sectors, range, boot);
}

FileSystemKind AnalysedFileSystem(const SelectedRange& range, const BootParameters& boot) {
  if (!IsFat(range.fileSystem)) return range.fileSystem;
  return AnalysedFatKind(boot, range.endSector);
}

AnalysisOutcome RunAnalysis(AnalysisJob& job) {
  ShowFixedTexts(job);
  AnalysisOutcome outcome = SelectAndRun(job);
  if (job.worker.abandoned()) {
    job.store.ClearStore();
    job.flags.logLoaded = false;
    return AnalysisOutcome::Abandoned;
  }
  if (outcome == AnalysisOutcome::CloseNoResults) job.store.ClearStore();
  return outcome;
}

AnalysisOutcome HandOverToFormatted(AnalysisJob& job) {
  job.prompts.ShowMessage(kMsgSwitchingToFormatted);
  job.progress.StartClock();
  if (job.parameters.fileSystem == FileSystemKind::Ntfs) {
    job.sink().SetText(ProgressField::SizeLabel, kLabelIndexesFound);
    job.wizard.formattedMode = true;
  } else {
    job.sink().SetText(ProgressField::SizeLabel, kLabelCurrentSector);
  }
  const auto workers = WorkersOf(job.parameters.fileSystem);
  return (workers ? workers->formattedScan : RunFormattedFat)(job);
}

}  // namespace korv
