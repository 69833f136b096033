// The ID a listing gives each found item, which extract and recover take
// instead of a path: a file's number in the store ("12"), or a folder's
// with a "d" before it ("d3"), since the two are numbered apart.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/found_tree.h"
#include "engine/store.h"

namespace korv::cli {

inline constexpr std::string_view kMsgNoItemWithId = "The analysis found no item with the ID ";

struct ItemId {
  bool folder = false;
  std::uint32_t number = 0;  // FolderId or FileId
};

std::string ItemIdText(const FoundTreeEntry& entry);

// The item `text` names in `store`; nothing for text that is not an ID or
// names no item the store holds.
std::optional<ItemId> FindItemId(const Store& store, std::string_view text);

}  // namespace korv::cli
