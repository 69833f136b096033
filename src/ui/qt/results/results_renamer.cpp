#include "ui/qt/results/results_renamer.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/qt/results/folder_tree_model.h"
#include "ui/qt/results/folder_tree_pane.h"
#include "ui/qt/results/item_list_model.h"
#include "ui/qt/results/results_list_area.h"

namespace korv {

ResultsRenamer::ResultsRenamer(Store& store, FolderTreePane& tree, ResultsListArea& list, ItemListModel& listModel,
                               std::function<bool()> busy)
    : store_(store), tree_(tree), list_(list), listModel_(listModel), busy_(std::move(busy)) {
  connect(&tree_.model(), &FolderTreeModel::renameRequested, this, &ResultsRenamer::RenameNode);
  connect(&listModel_, &ItemListModel::renameRequested, this, &ResultsRenamer::RenameRow);
}

void ResultsRenamer::RenameData() {
  if (busy_()) return;
  const std::vector<int> rows = list_.SelectedRows();
  if (rows.size() == 1) {
    list_.EditName(rows.front());
    return;
  }
  tree_.EditCurrentNode();
}

void ResultsRenamer::RenameRow(int row, const QString& name) {
  if (busy_() || row < 0 || row >= listModel_.rowCount()) return;
  const ResultRow item = listModel_.row(row);
  const std::u16string text = name.toStdU16String();
  // A refused name leaves the record as it was; the refresh shows the old
  // name again.
  if (item.folder) {
    if (store_.RenameFolder(item.id, text)) RenamedFolder(item.id, name);
  } else {
    store_.RenameFile(item.id, text);
  }
  listModel_.RefreshAll();
}

void ResultsRenamer::RenameNode(TreeNodeIndex node, const QString& name) {
  ResultsTree& tree = tree_.tree();
  if (busy_() || node == kRootNode || node >= tree.size()) return;
  const std::optional<FolderId> folder = tree.node(node).folder;
  if (folder && store_.RenameFolder(*folder, name.toStdU16String())) {
    RenamedFolder(*folder, name);
    listModel_.RefreshAll();
    return;
  }
  tree_.model().RefreshNode(node);
}

void ResultsRenamer::RenamedFolder(FolderId folder, const QString& name) {
  ResultsTree& tree = tree_.tree();
  const std::optional<TreeNodeIndex> node = tree.NodeOfFolder(folder);
  if (!node) return;
  tree.SetText(*node, name.toStdString());
  tree_.model().RefreshNode(*node);
}

}  // namespace korv
