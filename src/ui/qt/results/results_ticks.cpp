#include "ui/qt/results/results_ticks.h"

#include <optional>

#include "ui/qt/results/folder_tree_model.h"
#include "ui/qt/results/folder_tree_pane.h"
#include "ui/qt/results/item_list_model.h"
#include "ui/qt/results/results_status.h"
#include "ui/qt/results/results_workers.h"

namespace korv {

ResultsTicks::ResultsTicks(Store& store, FolderTreePane& tree, ItemListModel& list, ResultsWorkers& workers,
                           ResultsStatus& status)
    : store_(store), tree_(tree), list_(list), workers_(workers), status_(status) {
  connect(&tree_.model(), &FolderTreeModel::tickRequested, this, &ResultsTicks::TickTreeNode);
  connect(&list_, &ItemListModel::rowTickRequested, this, &ResultsTicks::TickRow);
}

void ResultsTicks::TickTreeNode(TreeNodeIndex node, bool ticked) {
  if (tree_.storeBusy()) return;
  status_.Show(ticked ? kStatusSelecting : kStatusDeselecting);
  const auto tick = [&store = store_, &tree = tree_.tree(), node, ticked] { TickNode(store, tree, node, ticked); };
  if (!workers_.RunsInBackground(store_)) {
    tick();
    Refresh();
    return;
  }
  tree_.SetViewsFrozen(true);
  workers_.Start(ResultsWorkers::Lane::Tree, tick, [this] {
    tree_.SetViewsFrozen(false);
    Refresh();
  });
}

void ResultsTicks::TickRow(int row, bool ticked) {
  if (tree_.storeBusy()) return;
  const ResultRow item = list_.row(row);
  if (item.folder) {
    const std::optional<TreeNodeIndex> node = tree_.tree().NodeOfFolder(item.id);
    if (node) TickTreeNode(*node, ticked);
    return;
  }
  TickFile(store_, tree_.tree(), item.id, ticked);
  Refresh();
}

void ResultsTicks::Refresh() {
  status_.Complete();
  tree_.model().RefreshChecks();
  list_.RefreshAll();
  status_.Hide();
}

}  // namespace korv
