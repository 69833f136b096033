#include "support/store_paths.h"

#include "engine/found_tree.h"

namespace korv::test {

FoundTree StorePaths(const Store& store, std::uint32_t rootNumber, std::uint16_t volume) {
  FoundTree tree;
  for (const FoundTreeEntry& entry : ListFoundTree(store, rootNumber, volume)) {
    FoundItem item;
    item.folder = entry.folder;
    if (entry.folder) {
      const FoundFolder& folder = store.folder(entry.id);
      item = {true, folder.deleted == kFlagYes, 0, folder.ownNumber, folder.times};
    } else {
      const FoundFile& file = store.file(entry.id);
      item = {false, file.deleted == kFlagYes, file.size, file.ownNumber, file.times};
    }
    if (!tree.items.emplace(entry.path, item).second) ++tree.duplicates;
  }
  return tree;
}

}  // namespace korv::test
