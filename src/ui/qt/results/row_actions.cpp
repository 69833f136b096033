#include "ui/qt/results/row_actions.h"

#include <QModelIndex>
#include <optional>
#include <utility>

#include "engine/store.h"
#include "ui/qt/results/folder_tree_pane.h"
#include "ui/qt/results/item_list_model.h"
#include "ui/qt/results/preview_controller.h"
#include "ui/qt/results/results_list_area.h"

namespace korv {

RowActions::RowActions(Store& store, ResultsListArea& list, ItemListModel& listModel, FolderTreePane& tree,
                       PreviewController& preview, std::function<bool()> busy)
    : store_(store), list_(list), listModel_(listModel), tree_(tree), preview_(preview), busy_(std::move(busy)) {
  connect(&list_, &ResultsListArea::rowChosen, this, &RowActions::Chosen);
  connect(&list_, &ResultsListArea::rowActivated, this, [this](const QModelIndex& index) {
    if (index.isValid()) Open(index.row());
  });
  connect(&list_, &ResultsListArea::contextMenuRequested, this, &RowActions::ShowContextMenu);
}

void RowActions::Chosen(const QModelIndex& current) {
  if (!current.isValid() || busy_()) return;
  preview_.Preview(listModel_.row(current.row()));
}

void RowActions::ShowContextMenu(const QPoint& position) {
  if (busy_()) return;
  const std::optional<int> row = list_.AskRowToOpen(position);
  if (row) Open(*row);
}

void RowActions::Open(int row) {
  if (busy_()) return;
  const ResultRow item = listModel_.row(row);
  if (item.folder) {
    tree_.SelectFolder(item.id);
    return;
  }
  preview_.Open(store_.file(item.id).insertionNumber);
}

}  // namespace korv
