// What a row of the results list does when it is chosen or opened: a
// chosen file is previewed; "&Open" (the context menu) and a double-click
// open a folder in the tree and a file in the desktop's program for it.
// Nothing happens while the page is busy.
#pragma once

#include <QObject>
#include <functional>

class QModelIndex;
class QPoint;

namespace korv {

class FolderTreePane;
class ItemListModel;
class PreviewController;
class ResultsListArea;
class Store;

class RowActions : public QObject {
  Q_OBJECT
 public:
  RowActions(Store& store, ResultsListArea& list, ItemListModel& listModel, FolderTreePane& tree,
             PreviewController& preview, std::function<bool()> busy);

 private:
  void Chosen(const QModelIndex& current);
  void ShowContextMenu(const QPoint& position);
  void Open(int row);

  Store& store_;
  ResultsListArea& list_;
  ItemListModel& listModel_;
  FolderTreePane& tree_;
  PreviewController& preview_;
  std::function<bool()> busy_;
};

}  // namespace korv
