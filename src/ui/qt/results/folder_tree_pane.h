// The results page's folder tree and the way through it: builds the tree
// of the analysed volume (on a worker when the store is big), shows the
// chosen folder's rows in the list, and goes up or to a folder. While a
// worker writes the store, the tree and the list take no input and do not
// paint, so their models do not read it.
//
// The tree view is the page's ("folderTree"); the pane sets it up.
#pragma once

#include <QObject>
#include <memory>
#include <optional>
#include <string_view>

#include "engine/store.h"
#include "ui/logic/results_tree.h"

class QModelIndex;
class QTreeView;

namespace korv {

class FolderTreeModel;
class ItemListModel;
class ResultsListArea;
class ResultsStatus;
class ResultsWorkers;
class Session;

inline constexpr std::string_view kStatusInsertingTree = "Inserting Folders / Files to tree explorer. Please wait...";
inline constexpr std::string_view kStatusInsertingList = "Inserting Folders / Files to List. Please wait...";

class FolderTreePane : public QObject {
  Q_OBJECT
 public:
  FolderTreePane(Session& session, QTreeView* view, ResultsListArea& list, ItemListModel& listModel,
                 ResultsWorkers& workers, ResultsStatus& status);
  // The view goes before the model it shows.
  ~FolderTreePane() override;

  ResultsTree& tree() { return tree_; }
  FolderTreeModel& model() { return *model_; }
  QTreeView* view() const { return view_; }
  // The node whose rows the list shows.
  std::optional<TreeNodeIndex> currentNode() const { return currentNode_; }

  // The tree is being built or a tree worker writes the store.
  bool storeBusy() const { return opening_ || frozen_; }
  void SetViewsFrozen(bool frozen);

  // Builds the tree once the page is on the screen, so it shows before the work.
  void Open();
  // An empty tree and no current node.
  void Clear();
  // After the workers were waited for: nothing is being built.
  void EndWork();

  void SelectNode(TreeNodeIndex node);
  void SelectFolder(FolderId folder);
  void GoUp();
  // Starts editing the current node's label; not the root's.
  void EditCurrentNode();

 signals:
  // The built tree is shown, its root chosen.
  void built();

 private:
  void Build();
  void Built(std::unique_ptr<ResultsTree> fresh);
  void NodeChosen(const QModelIndex& current);
  void ShowNode(TreeNodeIndex node);

  Session& session_;
  QTreeView* view_;
  ResultsListArea& list_;
  ItemListModel& listModel_;
  ResultsWorkers& workers_;
  ResultsStatus& status_;
  ResultsTree tree_;
  std::unique_ptr<FolderTreeModel> model_;
  std::optional<TreeNodeIndex> currentNode_;
  bool opening_ = false;  // the tree is still to be built
  bool frozen_ = false;   // a tree worker owns the store
};

}  // namespace korv
