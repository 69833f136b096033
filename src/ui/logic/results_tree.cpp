#include "ui/logic/results_tree.h"

#include <algorithm>
#include <array>
#include <compare>
#include <limits>
#include <unordered_set>

#include "platform/bytes.h"
#include "save/result_selection.h"
#include "storage/current_source.h"
#include "ui/logic/item_texts.h"

namespace korv {

namespace {

constexpr TreeNodeIndex kNoNode = std::numeric_limits<TreeNodeIndex>::max();

constexpr std::array<std::string_view, kResultColumnCount> kColumnHeadings = {
    "Name", "Type", "Size", "Modified Date", "Created Date", "Accessed Date", "ID"};
constexpr std::array<int, kResultColumnCount> kColumnWidths = {210, 100, 95, 160, 160, 160, 80};

bool IsVisited(const std::vector<bool>& visited, FolderId id) { return id < visited.size() && visited[id]; }

// The highest folder above `start` that is not in the tree yet, following
// parent numbers until a parent is missing, already placed, or met before
// (a loop), so that a branch cut off from the root keeps its shape below
// "Lost".
FolderId TopOfUnreachableBranch(const Store& store, FolderId start, const std::vector<bool>& visited) {
  const std::uint16_t volume = ShownVolume(store);
  std::unordered_set<FolderId> climbed{start};
  FolderId top = start;
  for (;;) {
    const auto parent = store.FindFolder(store.folder(top).parentNumber, volume);
    if (!parent || IsVisited(visited, *parent) || !climbed.insert(*parent).second) return top;
    top = *parent;
  }
}

// Counts folders as they join the tree and reports whole percents.
class BuildProgress {
 public:
  BuildProgress(const std::function<void(int)>& report, std::int32_t total) : report_(report), total_(total) {}
  void Counted() {
    ++added_;
    if (!report_ || total_ <= 0) return;
    const int percent =
        static_cast<int>(std::min<std::uint64_t>(100, added_ * 100 / static_cast<std::uint64_t>(total_)));
    if (percent == reported_) return;
    reported_ = percent;
    report_(percent);
  }
  void Finish() {
    if (report_ && reported_ != 100) report_(100);
  }

 private:
  const std::function<void(int)>& report_;
  std::int32_t total_;
  std::uint64_t added_ = 0;
  int reported_ = -1;
};

}  // namespace

std::string ShownName(std::u16string_view name, bool eightBit) {
  if (eightBit && name.size() > kShownNameLength) name = name.substr(0, kShownNameLength);
  return Utf16ToUtf8(name);
}

// ---- the tree ----

TreeNodeIndex ResultsTree::AddNode(TreeNodeIndex parent, std::optional<FolderId> folder, std::uint32_t number,
                                   std::string text) {
  const auto index = static_cast<TreeNodeIndex>(nodes_.size());
  nodes_.push_back(ResultsTreeNode{folder, number, parent, {}, std::move(text)});
  rowInParent_.push_back(0);
  if (index != kRootNode) {
    rowInParent_[index] = static_cast<int>(nodes_[parent].children.size());
    nodes_[parent].children.push_back(index);
  }
  if (folder) {
    if (*folder >= nodeOfFolder_.size()) nodeOfFolder_.resize(std::size_t{*folder} + 1, kNoNode);
    nodeOfFolder_[*folder] = index;
  }
  return index;
}

// Adds `top` below `parent` and everything below it, depth first in list
// order, with an explicit stack so that no depth of nesting can exhaust the
// call stack. A folder is taken once: `visited` is marked as it is queued.
void ResultsTree::AddSubtree(Store& store, TreeNodeIndex parent, FolderId top, std::vector<bool>& visited,
                             const std::function<void()>& counted) {
  struct Pending {
    FolderId id;
    TreeNodeIndex parent;
  };
  if (top >= visited.size()) visited.resize(std::size_t{top} + 1, false);
  visited[top] = true;
  std::vector<Pending> pending{{top, parent}};
  while (!pending.empty()) {
    const Pending next = pending.back();
    pending.pop_back();
    const FoundFolder& folder = store.folder(next.id);
    const TreeNodeIndex node =
        AddNode(next.parent, next.id, folder.ownNumber, ShownName(folder.name, folder.nameIsEightBit));
    store.SetFolderTreeItem(next.id, node);
    counted();
    if (!OwnsItsNumber(folder.ownNumber, rootNumber_)) continue;
    const std::vector<FolderId> children = ChildrenInTree(store, folder.ownNumber);
    // Reversed, so that the first child is taken first.
    for (auto child = children.rbegin(); child != children.rend(); ++child) {
      if (*child >= visited.size()) visited.resize(std::size_t{*child} + 1, false);
      if (visited[*child]) continue;
      visited[*child] = true;
      pending.push_back({*child, node});
    }
  }
}

// Where folders the root cannot reach are shown: the store's "Lost" folder
// (put below the root when it is itself out of reach), else a made-up node.
TreeNodeIndex ResultsTree::PlaceLost(Store& store, std::vector<bool>& visited, const std::function<void()>& counted) {
  const auto lost = store.FindFolder(LostNumber, ShownVolume(store));
  if (!lost) return AddNode(kRootNode, std::nullopt, LostNumber, std::string(kResultsLostText));
  if (!IsVisited(visited, *lost)) AddSubtree(store, kRootNode, *lost, visited, counted);
  return nodeOfFolder_[*lost];
}

void ResultsTree::Build(Store& store, std::string_view fileSystem, const std::function<void(int)>& progress) {
  nodes_.clear();
  rowInParent_.clear();
  lostNode_.reset();
  rootTicked_ = false;
  rootNumber_ = TreeRootNumber(fileSystem);
  isNtfs_ = fileSystem == kFileSystemNtfs;
  const auto folderCount = static_cast<std::size_t>(std::max(0, store.folderCount()));
  nodeOfFolder_.assign(folderCount, kNoNode);
  std::vector<bool> visited(folderCount, false);

  BuildProgress counter(progress, store.folderCount());
  const std::function<void()> counted = [&] { counter.Counted(); };
  AddNode(kRootNode, std::nullopt, rootNumber_, std::string(kResultsRootText));
  for (const FolderId child : ChildrenInTree(store, rootNumber_)) {
    if (IsVisited(visited, child)) continue;
    AddSubtree(store, kRootNode, child, visited, counted);
  }

  const std::uint16_t volume = ShownVolume(store);
  if (const auto lost = store.FindFolder(LostNumber, volume); lost && NodeOfFolder(*lost))
    lostNode_ = NodeOfFolder(*lost);
  for (const FolderId id : store.FoldersInOrder()) {
    if (store.folder(id).volumeNumber != volume || IsVisited(visited, id)) continue;
    if (!lostNode_) lostNode_ = PlaceLost(store, visited, counted);
    if (IsVisited(visited, id)) continue;  // the "Lost" folder itself
    AddSubtree(store, *lostNode_, TopOfUnreachableBranch(store, id, visited), visited, counted);
  }
  counter.Finish();
}

std::optional<TreeNodeIndex> ResultsTree::NodeOfFolder(FolderId folder) const {
  if (folder >= nodeOfFolder_.size() || nodeOfFolder_[folder] == kNoNode) return std::nullopt;
  return nodeOfFolder_[folder];
}

int ResultsTree::RowOf(TreeNodeIndex index) const { return rowInParent_[index]; }

// ---- the list ----

std::string_view ResultColumnHeading(ResultColumn column) { return kColumnHeadings[static_cast<std::size_t>(column)]; }

int ResultColumnWidth(ResultColumn column) { return kColumnWidths[static_cast<std::size_t>(column)]; }

std::vector<ResultRow> FolderRows(const Store& store, const ResultsTree& tree, TreeNodeIndex node) {
  const ResultsTreeNode& shown = tree.node(node);
  std::vector<ResultRow> rows;
  const bool holdsFiles = node == kRootNode || OwnsItsNumber(shown.number, tree.rootNumber());
  const auto files = holdsFiles ? store.ChildFiles(shown.number) : std::span<const FileId>{};
  rows.reserve(shown.children.size() + files.size());
  for (const TreeNodeIndex child : shown.children) {
    if (const auto folder = tree.node(child).folder) rows.push_back({true, *folder});
  }
  for (const FileId file : files) rows.push_back({false, file});
  return rows;
}

namespace {

struct RowRecord {
  const std::u16string& name;
  bool eightBit;
  char deleted;
  char selected;
  const ItemTimes& times;
};

RowRecord RecordOf(const Store& store, const ResultRow& row) {
  if (row.folder) {
    const FoundFolder& folder = store.folder(row.id);
    return {folder.name, folder.nameIsEightBit, folder.deleted, folder.selected, folder.times};
  }
  const FoundFile& file = store.file(row.id);
  return {file.name, file.nameIsEightBit, file.deleted, file.selected, file.times};
}

std::uint64_t RowSize(const Store& store, const ResultRow& row) { return row.folder ? 0 : store.file(row.id).size; }

std::uint32_t RowId(const Store& store, const ResultRow& row) {
  return row.folder ? store.folder(row.id).treeItem : store.file(row.id).insertionNumber;
}

std::string_view RowType(const Store& store, const ResultRow& row) {
  return ItemTypeText(row.folder, RecordOf(store, row).deleted == kFlagYes);
}

// The first word of the column's time in ItemTimes: NTFS keeps three 64-bit
// times, FAT a date and time word pair each (the access date has no time,
// and its pair's second word is 0).
std::size_t FirstTimeWord(ResultColumn column) {
  switch (column) {
    case ResultColumn::Created:
      return 2;
    case ResultColumn::Accessed:
      return 4;
    default:
      return 0;
  }
}

std::uint64_t DateKey(const ItemTimes& times, ResultColumn column, bool isNtfs) {
  const std::size_t word = FirstTimeWord(column);
  if (isNtfs) return NtfsTimeAt(times, word);
  return std::uint64_t{static_cast<std::uint16_t>(times[word])} << 16 | static_cast<std::uint16_t>(times[word + 1]);
}

// Case folding for the name column: ASCII and the Latin-1 letters.
char16_t FoldCase(char16_t unit) {
  if (unit >= u'A' && unit <= u'Z') return static_cast<char16_t>(unit + 0x20);
  if (unit >= 0xC0 && unit <= 0xDE && unit != 0xD7) return static_cast<char16_t>(unit + 0x20);
  return unit;
}

std::weak_ordering CompareNames(std::u16string_view a, std::u16string_view b) {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    const char16_t left = FoldCase(a[i]);
    const char16_t right = FoldCase(b[i]);
    if (left != right) return left <=> right;
  }
  return a.size() <=> b.size();
}

std::weak_ordering CompareRows(const Store& store, const ResultRow& a, const ResultRow& b, ResultColumn column,
                               bool isNtfs) {
  switch (column) {
    case ResultColumn::Name:
      return CompareNames(RecordOf(store, a).name, RecordOf(store, b).name);
    case ResultColumn::Type:
      return RowType(store, a) <=> RowType(store, b);
    case ResultColumn::Size:
      return RowSize(store, a) <=> RowSize(store, b);
    case ResultColumn::Modified:
    case ResultColumn::Created:
    case ResultColumn::Accessed:
      return DateKey(RecordOf(store, a).times, column, isNtfs) <=> DateKey(RecordOf(store, b).times, column, isNtfs);
    case ResultColumn::Id:
      return RowId(store, a) <=> RowId(store, b);
  }
  return std::weak_ordering::equivalent;
}

}  // namespace

std::string RowText(const Store& store, const ResultRow& row, ResultColumn column, bool isNtfs) {
  const RowRecord record = RecordOf(store, row);
  switch (column) {
    case ResultColumn::Name:
      return ShownName(record.name, record.eightBit);
    case ResultColumn::Type:
      return std::string(RowType(store, row));
    case ResultColumn::Size:
      return std::to_string(RowSize(store, row));
    case ResultColumn::Modified:
      return ItemDates(record.times, isNtfs).modified;
    case ResultColumn::Created:
      return ItemDates(record.times, isNtfs).created;
    case ResultColumn::Accessed:
      return ItemDates(record.times, isNtfs).accessed;
    case ResultColumn::Id:
      return std::to_string(RowId(store, row));
  }
  return {};
}

bool RowDeleted(const Store& store, const ResultRow& row) { return RecordOf(store, row).deleted == kFlagYes; }

bool RowSelected(const Store& store, const ResultRow& row) { return RecordOf(store, row).selected == kFlagYes; }

void SortRows(const Store& store, std::vector<ResultRow>& rows, ResultColumn column, bool ascending, bool isNtfs) {
  std::stable_sort(rows.begin(), rows.end(), [&](const ResultRow& a, const ResultRow& b) {
    const std::weak_ordering order = CompareRows(store, a, b, column, isNtfs);
    return ascending ? order < 0 : order > 0;
  });
}

void SortFolderRows(const Store& store, std::vector<ResultRow>& rows, bool ascending) {
  const auto firstFile = std::find_if(rows.begin(), rows.end(), [](const ResultRow& row) { return !row.folder; });
  std::stable_sort(rows.begin(), firstFile, [&](const ResultRow& a, const ResultRow& b) {
    const std::weak_ordering order = CompareNames(store.folder(a.id).name, store.folder(b.id).name);
    return ascending ? order < 0 : order > 0;
  });
}

// ---- ticks ----

namespace {

// The root shows ticked while it holds a ticked node or a selected file
// directly, as every other ancestor does.
bool RootHoldsSelection(const Store& store, const ResultsTree& tree) {
  const ResultsTreeNode& root = tree.node(kRootNode);
  for (const TreeNodeIndex child : root.children) {
    if (NodeTicked(store, tree, child)) return true;
  }
  const auto files = store.ChildFiles(root.number);
  return std::any_of(files.begin(), files.end(), [&](FileId id) { return store.file(id).selected == kFlagYes; });
}

void FollowWithRoot(const Store& store, ResultsTree& tree, bool ticked) {
  tree.SetRootTicked(ticked || RootHoldsSelection(store, tree));
}

char FlagOf(bool ticked) { return ticked ? kFlagYes : kFlagNo; }

}  // namespace

void TickNode(Store& store, ResultsTree& tree, TreeNodeIndex node, bool ticked) {
  if (node == kRootNode) {
    SelectEverything(store, FlagOf(ticked));
    tree.SetRootTicked(ticked);
    return;
  }
  const ResultsTreeNode& shown = tree.node(node);
  if (shown.folder) {
    SelectFolderTree(store, tree.rootNumber(), *shown.folder, FlagOf(ticked));
  } else {
    // A made-up "Lost" stands for its children.
    for (const TreeNodeIndex child : shown.children) {
      if (const auto folder = tree.node(child).folder)
        SelectFolderTree(store, tree.rootNumber(), *folder, FlagOf(ticked));
    }
  }
  FollowWithRoot(store, tree, ticked);
}

void TickFile(Store& store, ResultsTree& tree, FileId file, bool ticked) {
  SelectFile(store, tree.rootNumber(), file, FlagOf(ticked));
  FollowWithRoot(store, tree, ticked);
}

bool NodeTicked(const Store& store, const ResultsTree& tree, TreeNodeIndex node) {
  if (node == kRootNode) return tree.rootTicked();
  const ResultsTreeNode& shown = tree.node(node);
  if (shown.folder) return store.folder(*shown.folder).selected == kFlagYes;
  return std::any_of(shown.children.begin(), shown.children.end(), [&](TreeNodeIndex child) {
    const auto folder = tree.node(child).folder;
    return folder && store.folder(*folder).selected == kFlagYes;
  });
}

}  // namespace korv
