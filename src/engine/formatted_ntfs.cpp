#include "engine/formatted_ntfs.h"

#include <string_view>

#include "engine/formatted_ntfs_numbers.h"
#include "engine/formatted_ntfs_scan.h"
#include "engine/formatted_ntfs_step.h"
#include "engine/formatted_ntfs_volumes.h"
#include "engine/lost_folders.h"

namespace korv {

namespace {

constexpr std::u16string_view kLostName = u"Lost";

// After a step: false when Back ended the run; a stop ended only the step.
bool GoesOn(AnalysisJob& job, StepGo go) {
  if (go == StepGo::Abandon) return false;
  job.worker.ClearStop();
  return true;
}

// Nothing of an earlier run may leak into this one.
void StartRun(AnalysisJob& job) {
  job.store.ClearStore();
  job.store.currentVolume = 1;
  job.scanLists.Clear();
  job.volumes.clear();
  job.progress.SetRangeEnd(job.range().endSector);
  job.progress.SetSectorsInStatusLine(true);
}

void AddVolumeLostFolder(Store& store, std::uint16_t volume) {
  NewFolder lost;
  lost.name.wide = kLostName;
  lost.parentNumber = NtfsRootNumber;
  lost.ownNumber = LostNumber;
  lost.volumeNumber = volume;
  store.AddFolder(lost);
}

// Moves the scan lists' records into the store, folders first.
class VolumeDump {
 public:
  explicit VolumeDump(AnalysisJob& job)
      : job_(job),
        total_(static_cast<std::uint64_t>(job.scanLists.scanDirCount()) +
               static_cast<std::uint64_t>(job.scanLists.scanFileCount())),
        percent_(job) {}

  // The lists are copied, not taken: after Back from the results, another
  // volume picked from the same scan finds them whole.
  StepGo DumpFolders() {
    StepGo go = StepGo::On;
    for (const ScanDirRecord& directory : job_.scanLists.dirs) {
      // The root is the tree's own root, never listed in it.
      if (directory.ownNumber != NtfsRootNumber) AddFolder(directory);
      if ((go = Reported(directory.wideName)) != StepGo::On) break;
    }
    return go;
  }

  // Files carry no volume of their own: the volume whose sectors hold a
  // file's record is the one it belongs to, so a file of another volume
  // never shows under a folder of the same number in this one.
  StepGo DumpFiles(std::int32_t volume) {
    const VolumeCandidate* candidate = VolumeAt(volume);
    StepGo go = StepGo::On;
    for (const ScanFileRecord& file : job_.scanLists.files) {
      // Records without a name have no parent, and nothing to show (records
      // that lost their names but hold data come as "Lost" items).
      if (file.parentNumber != 0 && (candidate == nullptr || HoldsRecord(*candidate, file.recordSector))) {
        AddFile(file);
      }
      if ((go = Reported(file.wideName)) != StepGo::On) break;
    }
    return go;
  }

 private:
  const VolumeCandidate* VolumeAt(std::int32_t volume) const {
    if (volume < 1 || static_cast<std::size_t>(volume) > job_.volumes.size()) return nullptr;
    return &job_.volumes[static_cast<std::size_t>(volume) - 1];
  }

  // The range a volume's directories are confirmed in: after its boot
  // sector, up to its end.
  static bool HoldsRecord(const VolumeCandidate& candidate, std::uint64_t sector) {
    return sector > candidate.firstSector && sector <= candidate.endSector;
  }

  void AddFolder(const ScanDirRecord& directory) {
    NewFolder folder;
    folder.name.wide = directory.wideName;
    folder.deleted = directory.deleted;
    folder.parentNumber = directory.parentNumber;
    folder.ownNumber = directory.ownNumber;
    folder.recordSector = directory.recordSector;
    folder.times = directory.times;
    folder.volumeNumber = static_cast<std::uint16_t>(directory.volumeNumber);
    job_.store.AddFolder(folder);
  }

  void AddFile(const ScanFileRecord& record) {
    NewFile file;
    file.name.wide = record.wideName;
    file.deleted = record.deleted;
    file.size = record.size;
    file.parentNumber = record.parentNumber;
    file.ownNumber = record.ownNumber;
    file.recordSector = record.recordSector;
    file.times = record.times;
    file.stream = record.stream;
    job_.store.AddFile(file);
  }

  StepGo Reported(std::u16string_view name) {
    job_.ReportItem(name);
    ++done_;
    percent_.Show(done_, total_);
    ShowCount(job_, kStatusDumpingItems, done_, total_);
    return CheckStep(job_);
  }

  AnalysisJob& job_;
  const std::uint64_t total_;
  std::uint64_t done_ = 0;
  StepPercent percent_;
};

}  // namespace

AnalysisOutcome RunFormattedNtfs(AnalysisJob& job) {
  StartRun(job);
  SignatureFinds finds;
  if (!GoesOn(job, ScanNtfsSignatures(job, finds))) return AnalysisOutcome::Abandoned;
  if (!GoesOn(job, AssignFolderNumbers(job, finds.indexHits))) return AnalysisOutcome::Abandoned;
  if (!GoesOn(job, AssignNumbersFromNeighbours(job, finds.indexHits))) return AnalysisOutcome::Abandoned;
  if (!GoesOn(job, FindNtfsVolumes(job, finds.bootHits))) return AnalysisOutcome::Abandoned;
  if (job.wizard.rangeRun) return AnalysisOutcome::CloseForVolumeList;
  DumpNtfsVolume(job, 1);
  // Nothing reads the lists after the dump outside a range run.
  ScanDirList().swap(job.scanLists.dirs);
  ScanFileList().swap(job.scanLists.files);
  return job.worker.abandoned() ? AnalysisOutcome::Abandoned : AnalysisOutcome::ResultsReady;
}

void DumpNtfsVolume(AnalysisJob& job, std::int32_t volume) {
  const auto volumeNumber = static_cast<std::uint16_t>(volume);
  job.sink().SetText(ProgressField::SizeLabel, kLabelTotalSize);
  job.sink().SetText(ProgressField::Status, kStatusFormattedDump);
  // No file "Lost" beside it: saving the root would make a file of that
  // name where the folder must go.
  if (!job.scanLists.dirs.empty()) AddVolumeLostFolder(job.store, volumeNumber);
  VolumeDump dump(job);
  if (!GoesOn(job, dump.DumpFolders())) return;
  if (!GoesOn(job, dump.DumpFiles(volume))) return;
  AssignLostItems(job, NtfsRootNumber, volumeNumber, kStatusFormattedLostFolders);
  if (job.worker.abandoned()) return;
  job.worker.ClearStop();
}

}  // namespace korv
