#include "ui/logic/search_results.h"

#include <algorithm>
#include <limits>
#include <optional>
#include <vector>

#include "engine/found_tree.h"
#include "platform/bytes.h"

namespace korv {

namespace {

constexpr std::array<std::string_view, kSearchColumnCount> kHeadings = {
    "File Name", "Type", "Path", "File Size", "Created Date", "Modified Date", "Last Accessed", "ID"};
constexpr std::array<int, kSearchColumnCount> kWidths = {150, 150, 350, 150, 150, 150, 150, 150};
constexpr std::string_view kPathSeparator = "/";

// The node of the folder that holds the item.
std::optional<TreeNodeIndex> HoldingNode(const Store& store, const ResultsTree& tree, const ResultRow& row) {
  if (row.folder) {
    const std::optional<TreeNodeIndex> node = tree.NodeOfFolder(row.id);
    if (!node || *node == kRootNode) return std::nullopt;
    return tree.node(*node).parent;
  }
  const std::uint32_t parent = store.file(row.id).parentNumber;
  if (parent == tree.rootNumber()) return kRootNode;
  if (const std::optional<FolderId> folder = store.FindFolder(parent, ShownVolume(store))) {
    return tree.NodeOfFolder(*folder);
  }
  if (parent == LostNumber) return tree.lostNode();
  return std::nullopt;
}

ResultColumn ResultColumnOf(SearchColumn column) {
  switch (column) {
    case SearchColumn::Name: return ResultColumn::Name;
    case SearchColumn::Type: return ResultColumn::Type;
    case SearchColumn::Size: return ResultColumn::Size;
    case SearchColumn::Created: return ResultColumn::Created;
    case SearchColumn::Modified: return ResultColumn::Modified;
    case SearchColumn::Accessed: return ResultColumn::Accessed;
    case SearchColumn::Id: return ResultColumn::Id;
    case SearchColumn::Path: break;
  }
  return ResultColumn::Name;
}

}  // namespace

std::string_view SearchColumnHeading(SearchColumn column) { return kHeadings[static_cast<std::size_t>(column)]; }

int SearchColumnWidth(SearchColumn column) { return kWidths[static_cast<std::size_t>(column)]; }

SearchCriteria CriteriaOf(const SearchForm& form) {
  SearchCriteria criteria;
  criteria.name = Utf8ToUtf16(form.name);
  if (form.typeTicked) criteria.deleted = form.deleted;
  if (form.dateTicked) criteria.date = DateBounds{form.dateKind, form.from, form.to};
  if (form.sizeTicked) {
    criteria.size = SizeBoundsOf(SizeFieldValue(form.sizeFrom), SizeFieldValue(form.sizeTo), form.sizeUnit);
  }
  return criteria;
}

std::uint32_t SizeFieldValue(std::string_view text) {
  constexpr std::uint64_t kMost = std::numeric_limits<std::uint32_t>::max();
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') break;
    value = std::min(kMost, value * 10 + static_cast<std::uint64_t>(c - '0'));
  }
  return static_cast<std::uint32_t>(value);
}

// The climb is bounded by the tree's size, which a tree built by the walk
// never reaches.
std::string MatchPathText(const Store& store, const ResultsTree& tree, const ResultRow& row) {
  std::optional<TreeNodeIndex> node = HoldingNode(store, tree, row);
  if (!node) return {};
  std::vector<TreeNodeIndex> chain;
  for (std::size_t steps = 0; *node != kRootNode && steps < tree.size(); ++steps) {
    chain.push_back(*node);
    node = tree.node(*node).parent;
  }
  std::string path;
  for (auto it = chain.rbegin(); it != chain.rend(); ++it) {
    path += tree.node(*it).text;
    path += kPathSeparator;
  }
  return path;
}

std::string MatchCellText(const Store& store, const ResultsTree& tree, const ResultRow& row, SearchColumn column) {
  if (column == SearchColumn::Path) return MatchPathText(store, tree, row);
  return RowText(store, row, ResultColumnOf(column), tree.fileSystem());
}

}  // namespace korv
