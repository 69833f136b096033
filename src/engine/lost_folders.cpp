#include "engine/lost_folders.h"

#include <deque>
#include <vector>

namespace korv {

namespace {

constexpr std::u16string_view kLostName = u"Lost";
constexpr std::string_view kLostEightBitName = "Lost";
// Status and pause checks every this many folders: the pass takes well under
// a second, so finer steps would only flood the display.
constexpr std::size_t kStatusEvery = 1000;

std::vector<FolderId> FoldersOfVolume(const Store& store, std::uint16_t volume) {
  std::vector<FolderId> ids;
  for (const FolderId id : store.FoldersInOrder()) {
    if (store.folder(id).volumeNumber == volume) ids.push_back(id);
  }
  return ids;
}

// Marks `from` and every folder below it reached. Each folder is visited
// once, so parents that loop cannot keep the walk going.
void MarkReachable(const Store& store, FolderId from, std::uint16_t volume, std::vector<char>& reached) {
  std::deque<FolderId> pending{from};
  reached[from] = 1;
  while (!pending.empty()) {
    const FolderId current = pending.front();
    pending.pop_front();
    for (const FolderId child : store.ChildFolders(store.folder(current).ownNumber)) {
      if (child >= reached.size() || reached[child] || store.folder(child).volumeNumber != volume) continue;
      reached[child] = 1;
      pending.push_back(child);
    }
  }
}

void ShowAssigning(AnalysisJob& job, std::size_t done, std::size_t total) {
  job.sink().SetText(ProgressField::Status,
                     std::string(kStatusAssigningLostFolders) + std::to_string(done) + "/" + std::to_string(total));
  job.sink().SetPercent(total == 0 ? 0 : static_cast<int>(std::min<std::size_t>(100, done * 100 / total)));
}

// Pauses when asked; false after Back.
bool MayGoOn(AnalysisJob& job) {
  job.worker.checkpoint();
  return !job.worker.abandoned();
}

// Folders whose parent folder is not in the store.
bool MoveFoldersWithoutParent(AnalysisJob& job, const std::vector<FolderId>& ids, std::uint32_t rootNumber,
                              std::uint16_t volume) {
  Store& store = job.store;
  for (std::size_t done = 0; done < ids.size(); ++done) {
    const FoundFolder& folder = store.folder(ids[done]);
    const bool hasParent = folder.parentNumber == rootNumber || folder.parentNumber == LostNumber ||
                           store.FindFolder(folder.parentNumber, volume).has_value();
    if (!hasParent) store.MoveFolderUnderLost(ids[done]);
    if ((done + 1) % kStatusEvery == 0 || done + 1 == ids.size()) {
      ShowAssigning(job, done + 1, ids.size());
      if (!MayGoOn(job)) return false;
    }
  }
  return true;
}

// Folders whose parents loop back on themselves hang from no root: the first
// of each loop moves under "Lost", which brings the rest of it along.
void MoveUnreachableFolders(Store& store, const std::vector<FolderId>& ids, std::uint32_t rootNumber,
                            std::uint16_t volume) {
  FolderId highest = 0;
  for (const FolderId id : ids) highest = std::max(highest, id);
  std::vector<char> reached(ids.empty() ? 0 : std::size_t{highest} + 1, 0);
  for (const FolderId id : ids) {
    if (store.folder(id).parentNumber == rootNumber && !reached[id]) MarkReachable(store, id, volume, reached);
  }
  for (const FolderId id : ids) {
    if (reached[id]) continue;
    store.MoveFolderUnderLost(id);
    MarkReachable(store, id, volume, reached);
  }
}

void MoveFilesWithoutParent(Store& store, std::uint32_t rootNumber, std::uint16_t volume) {
  for (const std::uint32_t parent : store.FileParentsInOrder()) {
    if (parent == rootNumber || parent == LostNumber || store.FindFolder(parent, volume)) continue;
    store.MoveFilesOfParent(parent, LostNumber);
  }
}

}  // namespace

void AddLostFolder(Store& store) {
  NewFolder lost;
  lost.name.wide = kLostName;
  lost.parentNumber = NtfsRootNumber;
  lost.ownNumber = LostNumber;
  store.AddFolder(lost);
}

void AddFatLostFolder(Store& store, std::uint16_t volume) {
  NewFolder lost;
  lost.volumeNumber = volume;
  lost.name.eightBit = kLostEightBitName;
  lost.parentNumber = FatRootNumber;
  lost.ownNumber = LostNumber;
  store.AddFolder(lost);
}

void AssignLostItems(AnalysisJob& job, std::uint32_t rootNumber, std::uint16_t volume, std::string_view status) {
  job.sink().SetVisible(ProgressGroup::Status, true);
  job.sink().SetText(ProgressField::Status, status);
  const std::vector<FolderId> ids = FoldersOfVolume(job.store, volume);
  if (!MoveFoldersWithoutParent(job, ids, rootNumber, volume)) return;
  MoveUnreachableFolders(job.store, ids, rootNumber, volume);
  MoveFilesWithoutParent(job.store, rootNumber, volume);
}

}  // namespace korv
