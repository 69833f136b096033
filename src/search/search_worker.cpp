#include "search/search_worker.h"

#include <algorithm>
#include <utility>

namespace korv {

namespace {

class SearchWalk {
 public:
  SearchWalk(WorkerControl& control, const SearchDelivery& deliver) : control_(control), deliver_(deliver) {
    batch_.reserve(kSearchBatchSize);
  }

  // False once a stop was asked for.
  bool Visit(bool matched, SearchMatch match) {
    if (matched) {
      batch_.push_back(match);
      if (batch_.size() >= kSearchBatchSize) Hand();
    }
    if (++sinceCheckpoint_ < kSearchCheckpointItems) return true;
    sinceCheckpoint_ = 0;
    Hand();
    return control_.checkpoint();
  }

  void Hand() {
    if (batch_.empty()) return;
    deliver_(std::move(batch_));
    batch_ = {};
    batch_.reserve(kSearchBatchSize);
  }

 private:
  WorkerControl& control_;
  const SearchDelivery& deliver_;
  std::vector<SearchMatch> batch_;
  std::size_t sinceCheckpoint_ = 0;
};

bool WalkFolders(const Store& store, const SearchMatcher& matcher, SearchWalk& walk) {
  if (!matcher.searchesFolders()) return true;
  const auto volume = static_cast<std::uint16_t>(store.currentVolume.load());
  for (const FolderId id : store.FoldersInOrder()) {
    const FoundFolder& folder = store.folder(id);
    const bool matched = folder.volumeNumber == volume && matcher.MatchesFolder(folder);
    if (!walk.Visit(matched, {true, id})) return false;
  }
  return true;
}

// In the order the files were added, which is the order they lie in
// memory: a store of a million files is read front to back.
bool WalkFiles(const Store& store, const SearchMatcher& matcher, SearchWalk& walk) {
  const auto files = static_cast<FileId>(std::max(0, store.fileCount()));
  for (FileId id = 0; id < files; ++id) {
    if (!walk.Visit(matcher.MatchesFile(store.file(id)), {false, id})) return false;
  }
  return true;
}

}  // namespace

SearchEnd RunSearch(const Store& store, const SearchMatcher& matcher, WorkerControl& control,
                    const SearchDelivery& deliver) {
  // A stop or pause asked for before the walk began holds from its start.
  if (!control.checkpoint()) return SearchEnd::Stopped;
  SearchWalk walk(control, deliver);
  const bool finished = WalkFolders(store, matcher, walk) && WalkFiles(store, matcher, walk);
  walk.Hand();
  return finished ? SearchEnd::Finished : SearchEnd::Stopped;
}

}  // namespace korv
