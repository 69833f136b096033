// What a row of a list of found items does when it is chosen or opened: a
// chosen file is previewed; "&Open" (the context menu) and a double-click
// open a folder in the results page's tree and a file in the desktop's
// program for it. Nothing happens while the page is busy. The results list
// and the search dialog's list both act through here.
#pragma once

#include <QObject>
#include <functional>

#include "ui/logic/results_tree.h"

class QAbstractItemView;
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
  RowActions(Store& store, FolderTreePane& tree, PreviewController& preview, std::function<bool()> busy);

  // The results page's list area over its model.
  void ConnectListArea(ResultsListArea& list, ItemListModel& listModel);
  // A plain view whose row `rowAt` names the item: a click or the keyboard
  // chooses, a double-click opens, the context menu offers "&Open".
  void ConnectView(QAbstractItemView& view, std::function<ResultRow(int)> rowAt);

  void Choose(const ResultRow& item);
  void Open(const ResultRow& item);

 private:
  Store& store_;
  FolderTreePane& tree_;
  PreviewController& preview_;
  std::function<bool()> busy_;
};

}  // namespace korv
