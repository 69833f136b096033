// Ticking in the results view: a tree node ticks its whole subtree (on a
// worker when the store is big), a list row ticks its file or its folder's
// subtree; then the tree and the list show the new flags. The search
// dialog's rows tick through here too, so both lists follow the same rules.
#pragma once

#include <QObject>
#include <functional>
#include <string_view>
#include <vector>

#include "engine/store.h"
#include "ui/logic/results_tree.h"

namespace korv {

class FolderTreePane;
class ItemListModel;
class ResultsStatus;
class ResultsWorkers;

inline constexpr std::string_view kStatusSelecting = "Please Wait - Selecting Data";
inline constexpr std::string_view kStatusDeselecting = "Please Wait - De-Selecting Data";

class ResultsTicks : public QObject {
  Q_OBJECT
 public:
  // Takes the check box clicks of the tree's and the list's models.
  ResultsTicks(Store& store, FolderTreePane& tree, ItemListModel& list, ResultsWorkers& workers, ResultsStatus& status);

  // Nothing happens while the store is busy.
  void TickTreeNode(TreeNodeIndex node, bool ticked);
  void TickRow(int row, bool ticked);
  // A row of any list: a file alone, a folder with its subtree.
  void TickItem(const ResultRow& item, bool ticked);
  // Every one of `items` as a row tick would, on a worker when the store is
  // big.
  void TickItems(std::vector<ResultRow> items, bool ticked);
  // The tree and the list show the store's flags again.
  void Refresh();

 signals:
  // A worker is about to write the flags (true), or has done so (false):
  // other views of the store hold still meanwhile.
  void ticking(bool running);
  // The flags changed and the page's views show them.
  void ticksChanged();

 private:
  void Run(std::function<void()> tick);

  Store& store_;
  FolderTreePane& tree_;
  ItemListModel& list_;
  ResultsWorkers& workers_;
  ResultsStatus& status_;
};

}  // namespace korv
