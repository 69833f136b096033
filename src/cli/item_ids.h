// The ID a listing gives each found item, which extract and recover take
// instead of a path: its place in the whole listing of the found tree, from
// 1, files and folders alike. The listing's order is fixed by the tree, so
// the same analysis, or its recovery log loaded again, gives every item the
// same ID (a filtered listing keeps each match's ID).
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "engine/found_tree.h"

namespace korv::cli {

inline constexpr std::string_view kMsgNoItemWithId = "The analysis found no item with the ID ";

// The entry `text` names among `entries` (the whole listing, in order);
// nothing for text that is not a number from 1 to their count.
std::optional<FoundTreeEntry> FindItemId(const std::vector<FoundTreeEntry>& entries, std::string_view text);

}  // namespace korv::cli
