#include "engine/deleted_fat.h"

#include <deque>
#include <optional>

#include "engine/fat_folder_reader.h"
#include "fs/fat/fat_type.h"

namespace korv {

namespace {

class DeletedFatWalk {
 public:
  DeletedFatWalk(AnalysisJob& job, FatType type)
      : job_(job), reader_(job, type), takeEntry_([this](const ListedEntry& entry) { Take(entry); }) {}

  // Walks the root and then every folder found. False when the user ended
  // the walk early.
  bool Run() {
    job_.sink().Pulse();
    reader_.ReadRoot(takeEntry_);
    while (const std::optional<FolderId> next = NextFolder()) {
      if (!job_.worker.checkpoint()) return false;
      WalkSubfolder(*next);
    }
    return true;
  }

 private:
  // Live folders go first: by the time a deleted folder is read, every live
  // folder holds its cluster in the store, so a deleted folder whose cluster
  // was reused for a live one is dropped instead of passing the live
  // folder's entries off as deleted.
  std::optional<FolderId> NextFolder() {
    std::deque<FolderId>& queue = pendingLive_.empty() ? pendingDeleted_ : pendingLive_;
    if (queue.empty()) return std::nullopt;
    const FolderId next = queue.front();
    queue.pop_front();
    return next;
  }

  void Enqueue(FolderId id, char deleted) {
    (deleted == kFlagYes ? pendingDeleted_ : pendingLive_).push_back(id);
  }

  void WalkSubfolder(FolderId id) {
    const FoundFolder& found = job_.store.folder(id);
    const std::uint32_t number = found.ownNumber;
    const bool deleted = found.deleted == kFlagYes;
    if (number == LostNumber || !reader_.Claim(number)) return;
    job_.sink().Pulse();
    reader_.ReadSubfolder(number, deleted, takeEntry_);
  }

  void Take(const ListedEntry& listed) {
    const FatDirectoryEntry& entry = listed.entry;
    if (!entry.isDirectory()) {
      job_.store.AddFile(NewFile{listed.name, listed.deleted, entry.size, listed.parentNumber, entry.firstCluster, 0,
                                 FatEntryTimes(entry), /*stream=*/{}});
      return;
    }
    const AddFolderResult added = job_.store.AddFolder(
        NewFolder{listed.name, listed.deleted, listed.parentNumber, entry.firstCluster, 0, FatEntryTimes(entry), 0});
    // A live folder that took over a deleted one's record is walked as live
    // at once; the claimed clusters keep either from being read twice.
    if (added.outcome != AddOutcome::Dropped) Enqueue(added.id, listed.deleted);
  }

  AnalysisJob& job_;
  FatFolderReader reader_;
  const ListedEntryHandler takeEntry_;
  // Folders found and not yet walked: every folder is walked once, whatever
  // its place in the store.
  std::deque<FolderId> pendingLive_;
  std::deque<FolderId> pendingDeleted_;
};

bool FoundNothing(const Store& store) { return store.folderCount() == 0 && store.fileCount() == 0; }

}  // namespace

AnalysisOutcome RunDeletedFat(AnalysisJob& job) {
  const std::optional<FatType> type = FatTypeOf(job.parameters.fileSystem);
  // Without a cluster size no folder can be read: nothing to find here.
  if (!type || job.parameters.boot.sectorsPerCluster == 0) return HandOverToFormatted(job);

  DeletedFatWalk walk(job, *type);
  if (!walk.Run()) return AnalysisOutcome::DeletedRunEnded;
  if (FoundNothing(job.store)) return HandOverToFormatted(job);
  return AnalysisOutcome::DeletedRunEnded;
}

}  // namespace korv
