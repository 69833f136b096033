// Ticking in the results view: a tree node ticks its whole subtree (on a
// worker when the store is big), a list row ticks its file or its folder's
// subtree; then the tree and the list show the new flags.
#pragma once

#include <QObject>
#include <string_view>

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

 private:
  void Refresh();

  Store& store_;
  FolderTreePane& tree_;
  ItemListModel& list_;
  ResultsWorkers& workers_;
  ResultsStatus& status_;
};

}  // namespace korv
