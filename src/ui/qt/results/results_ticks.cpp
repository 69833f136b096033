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
  Run([&store = store_, &tree = tree_.tree(), node, ticked] { TickNode(store, tree, node, ticked); });
}

void ResultsTicks::TickRow(int row, bool ticked) { TickItem(list_.row(row), ticked); }

void ResultsTicks::TickItem(const ResultRow& item, bool ticked) {
  if (tree_.storeBusy()) return;
  if (item.folder) {
    const std::optional<TreeNodeIndex> node = tree_.tree().NodeOfFolder(item.id);
    if (node) TickTreeNode(*node, ticked);
    return;
  }
  TickFile(store_, tree_.tree(), item.id, ticked);
  Refresh();
}

void ResultsTicks::TickItems(std::vector<ResultRow> items, bool ticked) {
  if (tree_.storeBusy()) return;
  status_.Show(ticked ? kStatusSelecting : kStatusDeselecting);
  Run([&store = store_, &tree = tree_.tree(), items = std::move(items), ticked] {
    for (const ResultRow& item : items) {
      if (!item.folder) {
        TickFile(store, tree, item.id, ticked);
        continue;
      }
      if (const std::optional<TreeNodeIndex> node = tree.NodeOfFolder(item.id)) TickNode(store, tree, *node, ticked);
    }
  });
}

// Small stores are ticked before the next paint; big ones on the tree's
// worker while every view of the store holds still.
void ResultsTicks::Run(std::function<void()> tick) {
  if (!workers_.RunsInBackground(store_)) {
    tick();
    Refresh();
    return;
  }
  tree_.SetViewsFrozen(true);
  emit ticking(true);
  workers_.Start(ResultsWorkers::Lane::Tree, std::move(tick), [this] {
    tree_.SetViewsFrozen(false);
    emit ticking(false);
    Refresh();
  });
}

void ResultsTicks::Refresh() {
  status_.Complete();
  tree_.model().RefreshChecks();
  list_.RefreshAll();
  status_.Hide();
  emit ticksChanged();
}

}  // namespace korv
