#include "cli/item_ids.h"

#include <charconv>

namespace korv::cli {

namespace {

constexpr char kFolderMark = 'd';

}  // namespace

std::string ItemIdText(const FoundTreeEntry& entry) {
  const std::string number = std::to_string(entry.id);
  return entry.folder ? kFolderMark + number : number;
}

std::optional<ItemId> FindItemId(const Store& store, std::string_view text) {
  ItemId id;
  id.folder = !text.empty() && text.front() == kFolderMark;
  if (id.folder) text.remove_prefix(1);
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, id.number);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  const std::uint64_t count = id.folder ? store.folderCount() : store.fileCount();
  if (id.number >= count) return std::nullopt;
  return id;
}

}  // namespace korv::cli
