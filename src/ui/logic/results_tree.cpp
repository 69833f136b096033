#include "ui/logic/results_tree.h"

#include <algorithm>
#include <array>
#include <compare>
#include <limits>
#include <variant>

#include "engine/found_tree.h"
#include "engine/item_time.h"
#include "platform/bytes.h"
#include "save/result_selection.h"
#include "ui/logic/item_texts.h"

namespace korv {

namespace {

constexpr TreeNodeIndex kNoNode = std::numeric_limits<TreeNodeIndex>::max();

constexpr std::array<std::string_view, kResultColumnCount> kColumnHeadings = {
    "Name", "Type", "Size", "Modified Date", "Created Date", "Accessed Date", "ID"};
constexpr std::array<int, kResultColumnCount> kColumnWidths = {210, 100, 95, 160, 160, 160, 80};

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

void ResultsTree::Build(Store& store, FileSystemKind fileSystem, const std::function<void(int)>& progress) {
  nodes_.clear();
  rowInParent_.clear();
  lostNode_.reset();
  rootTicked_ = false;
  rootNumber_ = RootNumberOf(fileSystem);
  fileSystem_ = fileSystem;
  nodeOfFolder_.assign(static_cast<std::size_t>(std::max(0, store.folderCount())), kNoNode);

  BuildProgress counter(progress, store.folderCount());
  AddNode(kRootNode, std::nullopt, rootNumber_, std::string(kResultsRootText));
  FoundTreeVisitor visitor;
  visitor.folder = [&](FolderId id, TreePlace parent) {
    const FoundFolder& folder = store.folder(id);
    const TreeNodeIndex node = AddNode(parent, id, folder.ownNumber, ShownName(folder.name, folder.nameIsEightBit));
    store.SetFolderTreeItem(id, node);
    counter.Counted();
    return AfterFolder::Enter(node);
  };
  visitor.madeUpLost = [&] {
    lostNode_ = AddNode(kRootNode, std::nullopt, LostNumber, std::string(kResultsLostText));
    return *lostNode_;
  };
  WalkFoundTree(store, rootNumber_, ShownVolume(store), visitor);
  if (const auto lost = store.FindFolder(LostNumber, ShownVolume(store))) {
    if (const auto node = NodeOfFolder(*lost)) lostNode_ = node;
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

ItemTimeKind TimeKindOf(ResultColumn column) {
  switch (column) {
    case ResultColumn::Created:
      return ItemTimeKind::Created;
    case ResultColumn::Accessed:
      return ItemTimeKind::Accessed;
    default:
      return ItemTimeKind::Modified;
  }
}

std::uint64_t DateKey(const ItemTimes& times, ResultColumn column, FileSystemKind fileSystem) {
  return std::visit(TimeCases{[](const NtfsItemTime& time) { return time.ticks; },
                              [](const FatItemTime& time) { return std::uint64_t{time.date} << 16 | time.time; }},
                    ReadItemTime(times, TimeKindOf(column), fileSystem));
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
                               FileSystemKind fileSystem) {
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
      return DateKey(RecordOf(store, a).times, column, fileSystem) <=>
             DateKey(RecordOf(store, b).times, column, fileSystem);
    case ResultColumn::Id:
      return RowId(store, a) <=> RowId(store, b);
  }
  return std::weak_ordering::equivalent;
}

}  // namespace

std::string RowText(const Store& store, const ResultRow& row, ResultColumn column, FileSystemKind fileSystem) {
  const RowRecord record = RecordOf(store, row);
  switch (column) {
    case ResultColumn::Name:
      return ShownName(record.name, record.eightBit);
    case ResultColumn::Type:
      return std::string(RowType(store, row));
    case ResultColumn::Size:
      return std::to_string(RowSize(store, row));
    case ResultColumn::Modified:
      return ItemDateText(record.times, ItemTimeKind::Modified, fileSystem);
    case ResultColumn::Created:
      return ItemDateText(record.times, ItemTimeKind::Created, fileSystem);
    case ResultColumn::Accessed:
      return ItemDateText(record.times, ItemTimeKind::Accessed, fileSystem);
    case ResultColumn::Id:
      return std::to_string(RowId(store, row));
  }
  return {};
}

bool RowDeleted(const Store& store, const ResultRow& row) { return RecordOf(store, row).deleted == kFlagYes; }

bool RowSelected(const Store& store, const ResultRow& row) { return RecordOf(store, row).selected == kFlagYes; }

void SortRows(const Store& store, std::vector<ResultRow>& rows, ResultColumn column, bool ascending,
              FileSystemKind fileSystem) {
  std::stable_sort(rows.begin(), rows.end(), [&](const ResultRow& a, const ResultRow& b) {
    const std::weak_ordering order = CompareRows(store, a, b, column, fileSystem);
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
