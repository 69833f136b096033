#include "engine/formatted_fat.h"

#include <algorithm>
#include <deque>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "engine/analysis_step.h"
#include "engine/fat_folder_reader.h"
#include "engine/found_tree.h"
#include "engine/lost_folders.h"
#include "fs/fat/fat_boot.h"
#include "fs/fat/fat_sector.h"
#include "platform/read_buffer.h"
#include "storage/allocation_stretches.h"
#include "storage/virtual_disk.h"

namespace korv {

namespace {

// The folder search reads this much per request and tests the first sector
// of every cluster in it: a request per cluster would cost one call through
// the container's reader for every 512 bytes on small clusters.
constexpr std::uint64_t kSearchReadBytes = std::uint64_t{1} << 20;
constexpr std::uint32_t kFirstDataCluster = 2;

class FormattedFatScan {
 public:
  FormattedFatScan(AnalysisJob& job, FatType type, std::uint16_t volume)
      : job_(job),
        boot_(job.parameters.boot),
        type_(type),
        volume_(volume),
        reader_(job, type),
        stretches_(job.sectors.source()),
        takeEntry_([this](const ListedEntry& entry) { Take(entry); }) {}

  AnalysisOutcome Run() {
    if (!EndStepOnStop(SearchFolderSignatures())) return AnalysisOutcome::Abandoned;
    if (!AssignLostFolders()) return AnalysisOutcome::Abandoned;
    InsertRootData();
    if (!EndStepOnStop(InsertSubfolderData())) return AnalysisOutcome::Abandoned;
    return AnalysisOutcome::ResultsReady;
  }

  // A range run: the folders are already in the store, with "Lost" and
  // their lost-folder pass; only the volume's root and its folders are read.
  AnalysisOutcome RunOnVolume() {
    InsertRootData();
    if (!EndStepOnStop(InsertSubfolderData())) return AnalysisOutcome::Abandoned;
    return AnalysisOutcome::ResultsReady;
  }

 private:
  // A stop ends only the step it came in; false after Back.
  bool EndStepOnStop(StepGo go) {
    if (go == StepGo::Abandon) return false;
    job_.worker.ClearStop();
    return true;
  }

  void ShowStatus(std::string_view text) { job_.sink().SetText(ProgressField::Status, text); }

  // Step 1: every cluster of the range whose first sector begins with a "."
  // entry naming that very cluster and a ".." entry starts a folder.
  StepGo SearchFolderSignatures() {
    ShowStatus(kStatusFatFolderSignatures);
    const SelectedRange& range = job_.range();
    job_.progress.SetRangeEnd(range.endSector);
    const std::uint32_t perCluster = boot_.sectorsPerCluster;
    clusterBytes_ = std::uint64_t{perCluster} * std::max(job_.sectors.sectorBytes(), kFatSectorBytes);
    const std::uint64_t clustersPerRead = std::max<std::uint64_t>(1, kSearchReadBytes / clusterBytes_);
    search_.assign(clustersPerRead * clusterBytes_, 0);
    StepPercent percent(job_);

    std::uint64_t cluster = kFirstDataCluster;
    std::uint64_t sector = ClusterSector(boot_, kFirstDataCluster);
    // Cluster numbers stay below the number of "Lost".
    while (sector < range.endSector && cluster < LostNumber) {
      const std::uint64_t clustersLeft =
          std::min((range.endSector - sector + perCluster - 1) / perCluster, LostNumber - cluster);
      std::uint64_t count = std::min(clustersPerRead, clustersLeft);
      if (const std::uint64_t hole = ZerosAt(sector); hole > 0) {
        // Clusters that begin in a stretch the container does not hold read
        // as zeros: no signature there.
        count = std::min((hole + perCluster - 1) / perCluster, clustersLeft);
      } else if (const StepGo go = SearchClusters(cluster, sector, count); go != StepGo::On) {
        return go;
      }
      cluster += count;
      sector += count * perCluster;
      percent.Show(std::min(sector, range.endSector) - range.firstSector, range.endSector - range.firstSector);
      if (const StepGo go = CheckStep(job_); go != StepGo::On) return go;
    }
    return StepGo::On;
  }

  // Reads `count` clusters from `firstCluster` at `sector` in one request
  // (the last one may be cut at the range's end) and tests the first sector
  // of each; the user may stop between two of them.
  StepGo SearchClusters(std::uint64_t firstCluster, std::uint64_t sector, std::uint64_t count) {
    const std::uint32_t perCluster = boot_.sectorsPerCluster;
    const auto sectors = static_cast<std::uint32_t>(std::min(count * perCluster, job_.range().endSector - sector));
    job_.sectors.ReadCurrent(sector, sectors, search_);
    for (std::uint64_t i = 0; i < count; ++i) {
      if (i > 0) {
        if (const StepGo go = CheckStep(job_); go != StepGo::On) return go;
      }
      TakeIfFolderStart(static_cast<std::uint32_t>(firstCluster + i),
                        ByteView(search_).sub(i * clusterBytes_, kFatSectorBytes));
      job_.progress.Refresh(sector + i * perCluster, job_.store.folderCount(), job_.store.fileCount(), lastName_,
                            RefreshKind::Sector);
    }
    return StepGo::On;
  }

  // How many sectors from `sector` on the container reports as not held
  // (read as zeros without touching its file); 0 when they are held or the
  // source cannot tell.
  std::uint64_t ZerosAt(std::uint64_t sector) { return stretches_.UnheldAt(sector); }

  void TakeIfFolderStart(std::uint32_t cluster, ByteView sector) {
    if (!BeginsWithDotEntries(sector)) return;
    const auto dot = DecodeDirectoryEntry(sector.sub(0, kFatEntryBytes), type_);
    const auto dotDot = DecodeDirectoryEntry(sector.sub(kFatEntryBytes, kFatEntryBytes), type_);
    // A copy of a folder's first cluster names the cluster it was copied from.
    if (!dot || !dotDot || dot->firstCluster != cluster) return;
    const std::string name = std::string(kFoundFolderPrefix) + std::to_string(job_.store.folderCount());
    job_.store.AddFolder(NewFolder{ItemName{name, {}}, kFlagNo, FatParentNumber(type_, dotDot->firstCluster, boot_),
                                   cluster, 0, FatEntryTimes(*dot), 0});
    lastName_ = EightBitToUtf16(name);
  }

  // Step 2: folders whose parent was not found, or whose parents loop, go
  // under "Lost". A stop does not end it; Back does.
  bool AssignLostFolders() {
    AssignLostItems(job_, FatRootNumber, 0, kStatusFatLostFolders);
    job_.worker.ClearStop();
    return !job_.worker.abandoned();
  }

  // Step 3: the new root's entries (and whatever of the old root survived)
  // name first-level folders and list the root's files.
  void InsertRootData() {
    job_.sink().SetText(ProgressField::SizeLabel, kLabelTotalSize);
    ShowStatus(kStatusFatRootData);
    reader_.ReadRoot(takeEntry_);
  }

  // Step 4: every folder found, parents before their children so that a
  // folder named by a deleted entry passes its deletion on to what it holds.
  StepGo InsertSubfolderData() {
    ShowStatus(kStatusFatSubfolderData);
    const Store& store = job_.store;
    const std::size_t total = static_cast<std::size_t>(std::max(store.folderCount(), 0));
    std::vector<char> walked(FolderIdLimit(), 0);
    std::deque<FolderId> pending;
    StepPercent percent(job_);
    std::size_t done = 0;
    // The tree from the root first, then whatever hangs from nothing (none
    // after the lost-folder pass, unless Back cut it short).
    std::vector<FolderId> seeds = ChildrenInTree(store, FatRootNumber, volume_);
    for (const FolderId id : store.FoldersInOrder()) {
      if (store.folder(id).volumeNumber == volume_) seeds.push_back(id);
    }
    for (const FolderId seed : seeds) {
      pending.push_back(seed);
      while (!pending.empty()) {
        const FolderId id = pending.front();
        pending.pop_front();
        if (walked[id]) continue;
        walked[id] = 1;
        for (const FolderId child : ChildrenInTree(store, store.folder(id).ownNumber, volume_)) {
          pending.push_back(child);
        }
        ReadFolder(id);
        percent.Show(++done, total);
        if (const StepGo go = CheckStep(job_); go != StepGo::On) return go;
      }
    }
    return StepGo::On;
  }

  // One more than the highest folder id: ids are the folders' places in the
  // store, counted from 0.
  std::size_t FolderIdLimit() const {
    std::size_t limit = 0;
    for (const FolderId id : job_.store.FoldersInOrder()) limit = std::max<std::size_t>(limit, std::size_t{id} + 1);
    return limit;
  }

  void ReadFolder(FolderId id) {
    const FoundFolder& folder = job_.store.folder(id);
    const std::uint32_t number = folder.ownNumber;
    if (number == LostNumber || !reader_.Claim(number)) return;
    reader_.ReadSubfolder(number, folder.deleted == kFlagYes, takeEntry_);
  }

  void Take(const ListedEntry& listed) {
    const FatDirectoryEntry& entry = listed.entry;
    if (entry.isDirectory()) {
      NameFolder(listed);
      return;
    }
    job_.store.AddFile(NewFile{listed.name, listed.deleted, entry.size, listed.parentNumber, entry.firstCluster, 0,
                               FatEntryTimes(entry), /*stream=*/{}});
  }

  // A folder entry names the folder found at its cluster when that folder's
  // ".." is the folder being read; it adds no folder.
  void NameFolder(const ListedEntry& listed) {
    Store& store = job_.store;
    const std::optional<FolderId> id = store.FindFolder(listed.entry.firstCluster, volume_);
    if (!id || store.folder(*id).parentNumber != listed.parentNumber) return;
    // The cluster of a deleted folder taken over by a new one in the same
    // parent: the live entry's name and state stand.
    const bool deleted = listed.deleted == kFlagYes;
    if (deleted && namedByLiveEntry_.contains(*id)) return;
    store.RenameFolder(*id, ChooseName(listed.name).text);
    store.SetFolderDeleted(*id, listed.deleted);
    if (!deleted) namedByLiveEntry_.insert(*id);
  }

  AnalysisJob& job_;
  const BootParameters& boot_;
  FatType type_;
  std::uint16_t volume_;  // the volume whose folders are read: 0 outside a range run
  FatFolderReader reader_;
  AllocationStretches stretches_;
  const ListedEntryHandler takeEntry_;
  std::u16string lastName_;
  ReadBuffer search_;  // the folder search's reads
  std::uint64_t clusterBytes_ = 0;    // bytes of one cluster in search_
  std::unordered_set<FolderId> namedByLiveEntry_;
};

// Without a cluster size no cluster can be found or read.
std::optional<FatType> ScannableType(AnalysisJob& job) {
  const std::optional<FatType> type = FatTypeOf(job.parameters.fileSystem);
  if (!type || job.parameters.boot.sectorsPerCluster == 0) {
    job.prompts.ShowMessage(kMsgRecoveryNotPossible);
    return std::nullopt;
  }
  return type;
}

}  // namespace

std::uint32_t FatParentNumber(FatType type, std::uint32_t dotDotCluster, const BootParameters& boot) {
  if (type == FatType::Fat32 && dotDotCluster == boot.rootFirst) return FatRootNumber;
  return dotDotCluster;
}

AnalysisOutcome RunFormattedFatOnVolume(AnalysisJob& job, std::uint16_t volume) {
  const std::optional<FatType> type = ScannableType(job);
  if (!type) return AnalysisOutcome::CloseNoResults;
  FormattedFatScan scan(job, *type, volume);
  return scan.RunOnVolume();
}

AnalysisOutcome RunFormattedFat(AnalysisJob& job) {
  job.store.ClearStore();
  job.store.currentVolume = 0;
  const std::optional<FatType> type = ScannableType(job);
  if (!type) return AnalysisOutcome::CloseNoResults;
  AddFatLostFolder(job.store);
  FormattedFatScan scan(job, *type, 0);
  return scan.Run();
}

}  // namespace korv
