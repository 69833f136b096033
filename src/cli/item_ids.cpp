#include "cli/item_ids.h"

#include <charconv>

namespace korv::cli {

std::optional<FoundTreeEntry> FindItemId(const std::vector<FoundTreeEntry>& entries, std::string_view text) {
  std::uint64_t id = 0;
  const char* end = text.data() + text.size();
  const auto [stop, error] = std::from_chars(text.data(), end, id);
  if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
  if (id == 0 || id > entries.size()) return std::nullopt;
  return entries[id - 1];
}

}  // namespace korv::cli
