// The search worker: walks the store, folders first (those of the shown
// volume in list order, unless the size box is ticked) and then every file
// in the order added, and hands
// the matches over in batches, so a front end can add them to its list a
// batch at a time while the walk goes on. Stop and pause are honoured at
// the control's checkpoint between every few thousand items (well under a
// millisecond of work).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "common/worker_control.h"
#include "engine/store.h"
#include "search/search_criteria.h"

namespace korv {

struct SearchMatch {
  bool folder = false;
  std::uint32_t id = 0;  // FolderId or FileId

  bool operator==(const SearchMatch&) const = default;
};

// Matches handed over at once, at most.
inline constexpr std::size_t kSearchBatchSize = 4096;
// Items looked at between two checkpoints; what matched meanwhile is handed
// over there, so a slow search still shows its first matches early.
inline constexpr std::size_t kSearchCheckpointItems = 4096;

enum class SearchEnd { Finished, Stopped };

using SearchDelivery = std::function<void(std::vector<SearchMatch>&& batch)>;

// Runs on the calling thread; `deliver` gets every match once, in the order
// found. Nobody may write the store meanwhile.
SearchEnd RunSearch(const Store& store, const SearchMatcher& matcher, WorkerControl& control,
                    const SearchDelivery& deliver);

}  // namespace korv
