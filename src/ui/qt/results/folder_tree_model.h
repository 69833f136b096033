// The results view's folder tree as a Qt model over ResultsTree and the
// store: one item per node, labelled, with a check box that mirrors the
// folder's selection flag and a bold font while ticked. No widget item is
// made per record, so a store of a million files opens at once.
#pragma once

#include <QAbstractItemModel>

#include "engine/store.h"
#include "ui/logic/results_tree.h"

namespace korv {

class FolderTreeModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  FolderTreeModel(Store& store, ResultsTree& tree, QObject* parent = nullptr);

  // After the tree was (re)built.
  void Reload();
  // After ticks changed the store's flags.
  void RefreshChecks();
  // After a node was renamed.
  void RefreshNode(TreeNodeIndex node);

  QModelIndex IndexOf(TreeNodeIndex node) const;
  TreeNodeIndex NodeOf(const QModelIndex& index) const;

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  // A check box click asks for a tick (tickRequested); the model does not
  // change the store itself. An edit of the label asks for a rename.
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 signals:
  void tickRequested(quint32 node, bool ticked);
  void renameRequested(quint32 node, const QString& name);

 private:
  Store& store_;
  ResultsTree& tree_;
};

}  // namespace korv
