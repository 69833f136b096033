// The results view's folder tree and item list without a window: the tree
// of the shown volume's folders built from the store, the rows of a folder,
// their texts and their order. The Qt models show these; the benchmark and
// the tests drive them headless.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_system_kind.h"
#include "engine/found_tree.h"
#include "engine/store.h"

namespace korv {

inline constexpr std::string_view kResultsRootText = "This PC";
// The label of the node made for "Lost" when the store holds no such folder
// but some folders cannot be reached from the root.
inline constexpr std::string_view kResultsLostText = kMadeUpLostText;
// Names longer than this many characters are cut for display.
inline constexpr std::size_t kShownNameLength = 100;

using TreeNodeIndex = std::uint32_t;
inline constexpr TreeNodeIndex kRootNode = 0;

struct ResultsTreeNode {
  std::optional<FolderId> folder;  // nullopt for the root and a made-up "Lost", which have no record
  std::uint32_t number = 0;        // the parent number of the folder's items
  TreeNodeIndex parent = kRootNode;
  std::vector<TreeNodeIndex> children;  // in store list order
  std::string text;                     // the label, UTF-8
};

// The folder tree: the root ("This PC", the volume's root folder) and below
// it every folder of the shown volume, children in store list order, built
// by the found tree's walk (engine/found_tree.h): folders that cannot be
// reached from the root (a loop of parents) are shown under "Lost" rather
// than nowhere: the store's "Lost" folder, or a node made up for it below the
// root.
// Each folder record's treeItem is set to its node's index.
class ResultsTree {
 public:
  // `progress` gets 0..100 as folders are added.
  void Build(Store& store, FileSystemKind fileSystem, const std::function<void(int)>& progress = {});

  std::size_t size() const { return nodes_.size(); }
  const ResultsTreeNode& node(TreeNodeIndex index) const { return nodes_[index]; }
  std::optional<TreeNodeIndex> NodeOfFolder(FolderId folder) const;
  std::uint32_t rootNumber() const { return rootNumber_; }
  FileSystemKind fileSystem() const { return fileSystem_; }
  // The row of `index` among its parent's children.
  int RowOf(TreeNodeIndex index) const;
  // A renamed folder's new label.
  void SetText(TreeNodeIndex index, std::string text) { nodes_[index].text = std::move(text); }
  bool rootTicked() const { return rootTicked_; }
  void SetRootTicked(bool ticked) { rootTicked_ = ticked; }
  // The node of "Lost", when the tree has one.
  std::optional<TreeNodeIndex> lostNode() const { return lostNode_; }

 private:
  TreeNodeIndex AddNode(TreeNodeIndex parent, std::optional<FolderId> folder, std::uint32_t number, std::string text);

  std::vector<ResultsTreeNode> nodes_;
  std::vector<int> rowInParent_;
  std::vector<TreeNodeIndex> nodeOfFolder_;  // by FolderId; kNoNode when none
  std::uint32_t rootNumber_ = 0;
  FileSystemKind fileSystem_ = FileSystemKind::Unknown;
  std::optional<TreeNodeIndex> lostNode_;
  bool rootTicked_ = false;
};

// A found name as the results view shows it, in UTF-8: a name held as 8-bit
// text cut to kShownNameLength characters.
std::string ShownName(std::u16string_view name, bool eightBit);

// The seven columns of the item list.
enum class ResultColumn { Name = 0, Type, Size, Modified, Created, Accessed, Id };
inline constexpr int kResultColumnCount = 7;
std::string_view ResultColumnHeading(ResultColumn column);
// The columns' widths in pixels.
int ResultColumnWidth(ResultColumn column);

struct ResultRow {
  bool folder = false;
  std::uint32_t id = 0;  // FolderId or FileId
};

// The rows of a tree node: its folders (the node's children, in tree order)
// then the files whose parent is its number, in the order added. The root's
// and "Lost"'s files included; a folder numbered 0 below the root holds no
// files.
// A made-up "Lost" node has no record and gets no row.
std::vector<ResultRow> FolderRows(const Store& store, const ResultsTree& tree, TreeNodeIndex node);
// The order a folder's contents are first shown in: the folder rows at the
// front sorted by name in the list's direction, the files after them as
// they were added.
void SortFolderRows(const Store& store, std::vector<ResultRow>& rows, bool ascending);

// What a cell shows: the name, "Deleted Folder" / "Folder" / "Deleted File"
// / "File", the size in full (folders "0"), the dates as the file system
// keeps them, and the ID (a file's insertionNumber, a folder's tree node).
std::string RowText(const Store& store, const ResultRow& row, ResultColumn column, FileSystemKind fileSystem);
bool RowDeleted(const Store& store, const ResultRow& row);
bool RowSelected(const Store& store, const ResultRow& row);

// Sorts rows by a column: names without regard to case, types as texts,
// sizes as 64-bit numbers (folders 0), dates by their stored values (NTFS
// 64-bit times; FAT date word high, time word low), IDs as numbers.
void SortRows(const Store& store, std::vector<ResultRow>& rows, ResultColumn column, bool ascending,
              FileSystemKind fileSystem);

// Ticking, on the store's flags (see save/result_selection.h for the rules):
// a node with its subtree and files, the root meaning everything; a file
// with its folder and ancestors following. The root's own state is kept in
// the tree: ticking anything ticks it, and an untick unticks it once it holds
// nothing ticked directly.
void TickNode(Store& store, ResultsTree& tree, TreeNodeIndex node, bool ticked);
void TickFile(Store& store, ResultsTree& tree, FileId file, bool ticked);
// Whether a node shows ticked: its folder's flag; for the root the state
// the ticks left it in; for a made-up "Lost", whether a child is ticked.
bool NodeTicked(const Store& store, const ResultsTree& tree, TreeNodeIndex node);

}  // namespace korv
