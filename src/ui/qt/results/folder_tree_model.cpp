#include "ui/qt/results/folder_tree_model.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFont>
#include <QIcon>
#include <QStyle>

#include "ui/qt/pictures.h"

namespace korv {

namespace {

QIcon FolderIcon() {
  static const QIcon icon = [] {
    QIcon folder = QFileIconProvider().icon(QFileIconProvider::Folder);
    if (folder.isNull() && qApp != nullptr) folder = QApplication::style()->standardIcon(QStyle::SP_DirIcon);
    return folder;
  }();
  return icon;
}

// The application's font, which follows the desktop's size.
QFont TreeFont(bool bold) {
  QFont font;
  font.setBold(bold);
  return font;
}

}  // namespace

FolderTreeModel::FolderTreeModel(Store& store, ResultsTree& tree, QObject* parent)
    : QAbstractItemModel(parent), store_(store), tree_(tree) {}

void FolderTreeModel::Reload() {
  beginResetModel();
  endResetModel();
}

void FolderTreeModel::RefreshChecks() {
  // Any node of the tree may have changed. A layout change makes every view
  // ask again for what it shows, and only for that, at the cost of one
  // relayout of the expanded nodes, where a dataChanged per parent would
  // cost a search through the view's items for each of them.
  emit layoutAboutToBeChanged({}, QAbstractItemModel::NoLayoutChangeHint);
  emit layoutChanged({}, QAbstractItemModel::NoLayoutChangeHint);
}

void FolderTreeModel::RefreshNode(TreeNodeIndex node) {
  const QModelIndex shown = IndexOf(node);
  emit dataChanged(shown, shown);
}

QModelIndex FolderTreeModel::IndexOf(TreeNodeIndex node) const {
  if (node >= tree_.size()) return {};
  return createIndex(tree_.RowOf(node), 0, static_cast<quintptr>(node));
}

TreeNodeIndex FolderTreeModel::NodeOf(const QModelIndex& index) const {
  if (!index.isValid()) return kRootNode;
  return static_cast<TreeNodeIndex>(index.internalId());
}

QModelIndex FolderTreeModel::index(int row, int column, const QModelIndex& parent) const {
  if (row < 0 || column != 0 || tree_.size() == 0) return {};
  if (!parent.isValid()) return row == 0 ? IndexOf(kRootNode) : QModelIndex{};
  const ResultsTreeNode& node = tree_.node(NodeOf(parent));
  if (static_cast<std::size_t>(row) >= node.children.size()) return {};
  return createIndex(row, 0, static_cast<quintptr>(node.children[static_cast<std::size_t>(row)]));
}

QModelIndex FolderTreeModel::parent(const QModelIndex& child) const {
  if (!child.isValid()) return {};
  const TreeNodeIndex node = NodeOf(child);
  if (node == kRootNode) return {};
  return IndexOf(tree_.node(node).parent);
}

int FolderTreeModel::rowCount(const QModelIndex& parent) const {
  if (tree_.size() == 0) return 0;
  if (!parent.isValid()) return 1;
  if (parent.column() != 0) return 0;
  return static_cast<int>(tree_.node(NodeOf(parent)).children.size());
}

int FolderTreeModel::columnCount(const QModelIndex&) const { return 1; }

QVariant FolderTreeModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const TreeNodeIndex node = NodeOf(index);
  switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
      return ToQString(tree_.node(node).text);
    case Qt::CheckStateRole:
      return NodeTicked(store_, tree_, node) ? Qt::Checked : Qt::Unchecked;
    case Qt::FontRole:
      return TreeFont(NodeTicked(store_, tree_, node));
    case Qt::DecorationRole:
      return FolderIcon();
    default:
      return {};
  }
}

bool FolderTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (!index.isValid()) return false;
  const TreeNodeIndex node = NodeOf(index);
  if (role == Qt::CheckStateRole) {
    emit tickRequested(node, value.toInt() == Qt::Checked);
    return true;
  }
  if (role == Qt::EditRole && (flags(index) & Qt::ItemIsEditable)) {
    emit renameRequested(node, value.toString());
    return true;
  }
  return false;
}

Qt::ItemFlags FolderTreeModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable;
  // The root and a made-up "Lost" have no record a new name could go to.
  if (tree_.node(NodeOf(index)).folder) flags |= Qt::ItemIsEditable;
  return flags;
}

}  // namespace korv
