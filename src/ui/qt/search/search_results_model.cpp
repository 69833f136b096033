#include "ui/qt/search/search_results_model.h"

#include "ui/logic/search_results.h"
#include "ui/qt/pictures.h"

namespace korv {

namespace {

constexpr int kNameColumn = static_cast<int>(SearchColumn::Name);

}  // namespace

SearchResultsModel::SearchResultsModel(const Store& store, const ResultsTree& tree, QObject* parent)
    : QAbstractTableModel(parent), store_(store), tree_(tree) {}

void SearchResultsModel::Clear() {
  beginResetModel();
  matches_.clear();
  endResetModel();
}

void SearchResultsModel::Add(const std::vector<SearchMatch>& batch) {
  if (batch.empty()) return;
  beginInsertRows({}, 0, static_cast<int>(batch.size()) - 1);
  matches_.insert(matches_.end(), batch.begin(), batch.end());
  endInsertRows();
}

ResultRow SearchResultsModel::row(int index) const {
  return RowOfMatch(matches_[matches_.size() - 1 - static_cast<std::size_t>(index)]);
}

std::vector<ResultRow> SearchResultsModel::rows() const {
  std::vector<ResultRow> all;
  all.reserve(matches_.size());
  for (const SearchMatch& match : matches_) all.push_back(RowOfMatch(match));
  return all;
}

void SearchResultsModel::RefreshAll() {
  if (matches_.empty()) return;
  emit dataChanged(index(0, 0), index(rowCount() - 1, kSearchColumnCount - 1));
}

int SearchResultsModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(matches_.size());
}

int SearchResultsModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kSearchColumnCount;
}

QVariant SearchResultsModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const ResultRow shown = row(index.row());
  switch (role) {
    case Qt::DisplayRole:
      return ToQString(MatchCellText(store_, tree_, shown, static_cast<SearchColumn>(index.column())));
    case Qt::ForegroundRole:
      return ItemColour(RowDeleted(store_, shown));
    case Qt::FontRole:
      return ItemFont();
    case Qt::TextAlignmentRole:
      return static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::CheckStateRole:
      if (index.column() != kNameColumn) return {};
      return RowSelected(store_, shown) ? Qt::Checked : Qt::Unchecked;
    case Qt::DecorationRole:
      if (index.column() != kNameColumn) return {};
      return icons_.IconOf(store_, shown);
    default:
      return {};
  }
}

QVariant SearchResultsModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kSearchColumnCount) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  if (role == Qt::DisplayRole) return ToQString(SearchColumnHeading(static_cast<SearchColumn>(section)));
  if (role == Qt::TextAlignmentRole) return static_cast<int>(Qt::AlignLeft | Qt::AlignVCenter);
  return {};
}

bool SearchResultsModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid() || index.column() != kNameColumn || role != Qt::CheckStateRole) return false;
  emit rowTickRequested(index.row(), value.toInt() == Qt::Checked);
  return true;
}

Qt::ItemFlags SearchResultsModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  if (index.column() == kNameColumn) flags |= Qt::ItemIsUserCheckable;
  return flags;
}

}  // namespace korv
