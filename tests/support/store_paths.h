// The found tree of a store as paths, the way a user sees it: every item
// reachable from the root, "/"-separated and relative to the volume's root,
// orphans under "Lost/".
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "engine/store.h"

namespace korv::test {

struct FoundItem {
  bool folder = false;
  bool deleted = false;
  std::uint64_t size = 0;
  std::uint32_t ownNumber = 0;
  ItemTimes times{};
};

// Paths of every folder and file reachable from `rootNumber` among the
// folders of `volume`.
// A path found twice keeps its first item and counts in `duplicates`.
struct FoundTree {
  std::map<std::string, FoundItem> items;
  int duplicates = 0;
};

FoundTree StorePaths(const Store& store, std::uint32_t rootNumber, std::uint16_t volume = 0);

}  // namespace korv::test
