#include "ui/qt/results/row_actions.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QItemSelectionModel>
#include <QMenu>
#include <QModelIndex>
#include <optional>
#include <utility>

#include "engine/store.h"
#include "ui/qt/pictures.h"
#include "ui/qt/results/folder_tree_pane.h"
#include "ui/qt/results/item_list_model.h"
#include "ui/qt/results/preview_controller.h"
#include "ui/qt/results/results_list_area.h"

namespace korv {

RowActions::RowActions(Store& store, FolderTreePane& tree, PreviewController& preview, std::function<bool()> busy)
    : store_(store), tree_(tree), preview_(preview), busy_(std::move(busy)) {}

void RowActions::ConnectListArea(ResultsListArea& list, ItemListModel& listModel) {
  connect(&list, &ResultsListArea::rowChosen, this, [this, &listModel](const QModelIndex& current) {
    if (current.isValid()) Choose(listModel.row(current.row()));
  });
  connect(&list, &ResultsListArea::rowActivated, this, [this, &listModel](const QModelIndex& index) {
    if (index.isValid()) Open(listModel.row(index.row()));
  });
  connect(&list, &ResultsListArea::contextMenuRequested, this, [this, &list, &listModel](const QPoint& position) {
    if (busy_()) return;
    const std::optional<int> row = list.AskRowToOpen(position);
    if (row) Open(listModel.row(*row));
  });
}

// A row chosen with the mouse is previewed once the button is up (the
// click), so a press on a check box reaches the box before a preview
// disables the list; a row reached with the keys is previewed at once.
void RowActions::ConnectView(QAbstractItemView& view, std::function<ResultRow(int)> rowAt) {
  view.setContextMenuPolicy(Qt::CustomContextMenu);
  view.setTabKeyNavigation(false);
  connect(&view, &QAbstractItemView::clicked, this, [this, rowAt](const QModelIndex& index) {
    if (index.isValid()) Choose(rowAt(index.row()));
  });
  connect(view.selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this, rowAt](const QModelIndex& current) {
            if (current.isValid() && QApplication::mouseButtons() == Qt::NoButton) Choose(rowAt(current.row()));
          });
  connect(&view, &QAbstractItemView::doubleClicked, this, [this, rowAt](const QModelIndex& index) {
    if (index.isValid()) Open(rowAt(index.row()));
  });
  connect(&view, &QWidget::customContextMenuRequested, this, [this, &view, rowAt](const QPoint& position) {
    const QModelIndex index = view.indexAt(position);
    if (busy_() || !index.isValid()) return;
    QMenu menu(&view);
    QAction* open = menu.addAction(ToQString(kMenuOpen));
    open->setObjectName(QStringLiteral("openAction"));
    if (menu.exec(view.viewport()->mapToGlobal(position)) == open) Open(rowAt(index.row()));
  });
}

void RowActions::Choose(const ResultRow& item) {
  if (busy_()) return;
  preview_.Preview(item);
}

void RowActions::Open(const ResultRow& item) {
  if (busy_()) return;
  if (item.folder) {
    tree_.SelectFolder(item.id);
    return;
  }
  preview_.Open(store_.file(item.id).insertionNumber);
}

}  // namespace korv
