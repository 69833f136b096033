// The results view's item list as a Qt model: the current folder's rows
// with the seven columns, red for deleted items, a check box in the name
// column that mirrors the selection flag, the file-type icon, and sorting
// by any column with one shared direction.
#pragma once

#include <QAbstractTableModel>
#include <vector>

#include "engine/store.h"
#include "ui/logic/results_tree.h"
#include "ui/qt/results/item_icons.h"

namespace korv {

class ItemListModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit ItemListModel(Store& store, QObject* parent = nullptr);

  void ShowRows(std::vector<ResultRow> rows, FileSystemKind fileSystem);
  void Clear();
  const ResultRow& row(int index) const { return rows_[static_cast<std::size_t>(index)]; }
  const std::vector<ResultRow>& rows() const { return rows_; }
  // After ticks or renames changed the store.
  void RefreshAll();

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // A check box click asks for a tick (rowTickRequested); an accepted edit
  // of the name asks for a rename (renameRequested).
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  // Each call flips the one direction all columns share.
  void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
  bool ascending() const { return ascending_; }
  // The direction a folder's rows are first shown in: A to Z until the user
  // sorts, then the shared direction.
  bool listingAscending() const { return !sortedByUser_ || ascending_; }

 signals:
  void rowTickRequested(int row, bool ticked);
  void renameRequested(int row, const QString& name);

 private:
  void MovePersistentIndexes(const QModelIndexList& held, const std::vector<ResultRow>& before);

  Store& store_;
  std::vector<ResultRow> rows_;
  ItemIcons icons_;
  FileSystemKind fileSystem_ = FileSystemKind::Unknown;
  bool ascending_ = false;
  bool sortedByUser_ = false;
};

}  // namespace korv
