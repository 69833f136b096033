#include "engine/found_tree.h"

#include <deque>
#include <unordered_set>

#include "platform/bytes.h"
#include "storage/current_source.h"

namespace korv {

std::uint32_t RootNumberOf(std::string_view fileSystem) {
  return fileSystem == kFileSystemNtfs ? NtfsRootNumber : FatRootNumber;
}

void WalkFoundTree(const Store& store, std::uint32_t rootNumber, std::uint16_t volume,
                   const std::function<void(const FoundTreeEntry&)>& visit) {
  std::deque<std::pair<std::uint32_t, std::string>> pending{{rootNumber, ""}};
  std::unordered_set<std::uint32_t> walked{rootNumber};
  while (!pending.empty()) {
    const auto [number, prefix] = std::move(pending.front());
    pending.pop_front();
    for (const FolderId id : store.ChildFolders(number)) {
      const FoundFolder& folder = store.folder(id);
      if (folder.volumeNumber != volume) continue;
      FoundTreeEntry entry{true, id, prefix + Utf16ToUtf8(folder.name)};
      if (walked.insert(folder.ownNumber).second) pending.emplace_back(folder.ownNumber, entry.path + "/");
      visit(entry);
    }
    for (const FileId id : store.ChildFiles(number)) {
      visit(FoundTreeEntry{false, id, prefix + Utf16ToUtf8(store.file(id).name)});
    }
  }
}

}  // namespace korv
