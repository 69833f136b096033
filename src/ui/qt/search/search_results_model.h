// The search dialog's result list as a Qt model: the matches, newest first,
// with the eight columns, red for deleted items, the file-type icon and a
// check box in the name column that mirrors the selection flag. Matches
// come in batches; each batch is one insertion at the top, so a list of a
// million matches fills in a few hundred steps and the view only ever
// draws the rows on the screen.
#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "engine/store.h"
#include "search/search_worker.h"
#include "ui/logic/results_tree.h"
#include "ui/qt/results/item_icons.h"

namespace korv {

class SearchResultsModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  SearchResultsModel(const Store& store, const ResultsTree& tree, QObject* parent = nullptr);

  void Clear();
  // Puts the batch above every row there is, its last match on top.
  void Add(const std::vector<SearchMatch>& batch);
  ResultRow row(int index) const;
  // Every row, in the order found.
  std::vector<ResultRow> rows() const;
  // After the store's flags changed.
  void RefreshAll();

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // A check box click asks for a tick.
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  void rowTickRequested(int row, bool ticked);

 private:
  const Store& store_;
  const ResultsTree& tree_;
  // In the order found; row 0 is the last one.
  std::vector<SearchMatch> matches_;
  ItemIcons icons_;
};

}  // namespace korv
