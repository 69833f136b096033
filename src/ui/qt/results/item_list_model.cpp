#include "ui/qt/results/item_list_model.h"

#include <unordered_map>

#include "ui/qt/pictures.h"
#include "ui/qt/results/item_icons.h"

namespace korv {

ItemListModel::ItemListModel(Store& store, QObject* parent) : QAbstractTableModel(parent), store_(store) {}

void ItemListModel::ShowRows(std::vector<ResultRow> rows, FileSystemKind fileSystem) {
  beginResetModel();
  rows_ = std::move(rows);
  fileSystem_ = fileSystem;
  endResetModel();
}

void ItemListModel::Clear() { ShowRows({}, fileSystem_); }

void ItemListModel::RefreshAll() {
  if (rows_.empty()) return;
  emit dataChanged(index(0, 0), index(rowCount() - 1, kResultColumnCount - 1));
}

int ItemListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int ItemListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kResultColumnCount; }

QVariant ItemListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const ResultRow& shown = rows_[static_cast<std::size_t>(index.row())];
  const auto column = static_cast<ResultColumn>(index.column());
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      return ToQString(RowText(store_, shown, column, fileSystem_));
    case Qt::ForegroundRole:
      return ItemColour(RowDeleted(store_, shown));
    case Qt::FontRole:
      return ItemFont();
    case Qt::TextAlignmentRole:
      return static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::CheckStateRole:
      if (column != ResultColumn::Name) return {};
      return RowSelected(store_, shown) ? Qt::Checked : Qt::Unchecked;
    case Qt::DecorationRole:
      if (column != ResultColumn::Name) return {};
      return icons_.IconOf(store_, shown);
    default:
      return {};
  }
}

QVariant ItemListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kResultColumnCount) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  if (role == Qt::DisplayRole) return ToQString(ResultColumnHeading(static_cast<ResultColumn>(section)));
  if (role == Qt::TextAlignmentRole) return static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

bool ItemListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.column() != static_cast<int>(ResultColumn::Name)) return false;
  if (role == Qt::CheckStateRole) {
    emit rowTickRequested(index.row(), value.toInt() == Qt::Checked);
    return true;
  }
  if (role == Qt::EditRole) {
    emit renameRequested(index.row(), value.toString());
    return true;
  }
  return false;
}

Qt::ItemFlags ItemListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (index.column() == static_cast<int>(ResultColumn::Name)) flags |= Qt::ItemIsUserCheckable | Qt::ItemIsEditable;
  return flags;
}

void ItemListModel::sort(int column, Qt::SortOrder) {
  if (column < 0 || column >= kResultColumnCount) return;
  ascending_ = !ascending_;
  sortedByUser_ = true;
  emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
  const QModelIndexList held = persistentIndexList();
  std::vector<ResultRow> before;
  if (!held.isEmpty()) before = rows_;
  SortRows(store_, rows_, static_cast<ResultColumn>(column), ascending_, fileSystem_);
  if (!held.isEmpty()) MovePersistentIndexes(held, before);
  emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

// Selections and current items follow their rows to their sorted places.
void ItemListModel::MovePersistentIndexes(const QModelIndexList& held, const std::vector<ResultRow>& before) {
  const auto key = [](const ResultRow& row) { return std::uint64_t{row.id} << 1 | (row.folder ? 1U : 0U); };
  std::unordered_map<std::uint64_t, int> rowNow;
  rowNow.reserve(rows_.size());
  for (std::size_t i = 0; i < rows_.size(); ++i) rowNow.emplace(key(rows_[i]), static_cast<int>(i));
  QModelIndexList moved;
  moved.reserve(held.size());
  for (const QModelIndex& index : held) {
    const std::size_t row = static_cast<std::size_t>(index.row());
    if (row >= before.size()) {
      moved.append(QModelIndex());
      continue;
    }
    moved.append(this->index(rowNow.at(key(before[row])), index.column()));
  }
  changePersistentIndexList(held, moved);
}

}  // namespace korv
