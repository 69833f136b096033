// Renaming in the results view: F2 or the menu edits the one selected row's
// name, or else the current folder's label in the tree; an accepted edit
// renames the record in the store and both views show the new name. A
// refused name (an empty one) leaves the record as it was.
#pragma once

#include <QObject>
#include <QString>
#include <functional>

#include "engine/store.h"
#include "ui/logic/results_tree.h"

namespace korv {

class FolderTreePane;
class ItemListModel;
class ResultsListArea;

class ResultsRenamer : public QObject {
  Q_OBJECT
 public:
  // Takes the accepted edits of the tree's and the list's models. Nothing
  // is renamed while `busy` says the page is busy.
  ResultsRenamer(Store& store, FolderTreePane& tree, ResultsListArea& list, ItemListModel& listModel,
                 std::function<bool()> busy);

  // Starts the edit.
  void RenameData();
  // An edit accepted in the list or in the tree.
  void RenameRow(int row, const QString& name);
  void RenameNode(TreeNodeIndex node, const QString& name);

 private:
  void RenamedFolder(FolderId folder, const QString& name);

  Store& store_;
  FolderTreePane& tree_;
  ResultsListArea& list_;
  ItemListModel& listModel_;
  std::function<bool()> busy_;
};

}  // namespace korv
