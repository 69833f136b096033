#include "ui/qt/results/results_list_area.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QListView>
#include <QMenu>
#include <QStackedWidget>
#include <QStyle>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/qt/pictures.h"
#include "ui/qt/results/item_list_model.h"

namespace korv {

namespace {

constexpr QSize kLargeIconSize{32, 32};
constexpr QSize kSmallIconSize{16, 16};

}  // namespace

QFont ListFont(const QWidget* widget) {
  QFont font = widget->font();
  font.setBold(false);
  return font;
}

ResultsListArea::ResultsListArea(ItemListModel& model, QWidget* parent) : QWidget(parent), model_(model) {
  upButton_ = new QToolButton(this);
  upButton_->setObjectName(QStringLiteral("upButton"));
  upButton_->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
  upButton_->setText(ToQString(kCaptionUp));
  upButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  connect(upButton_, &QToolButton::clicked, this, &ResultsListArea::upClicked);

  stack_ = new QStackedWidget(this);
  stack_->setObjectName(QStringLiteral("listStack"));
  itemList_ = new QTableView(stack_);
  itemList_->setObjectName(QStringLiteral("itemList"));
  iconList_ = new QListView(stack_);
  iconList_->setObjectName(QStringLiteral("iconList"));
  ConfigureTable();
  ConfigureIconList();
  stack_->addWidget(itemList_);
  stack_->addWidget(iconList_);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(upButton_, 0, Qt::AlignLeft);
  layout->addWidget(stack_, 1);
}

void ResultsListArea::ConfigureTable() {
  itemList_->setModel(&model_);
  itemList_->setFont(ListFont(itemList_));
  itemList_->setShowGrid(true);
  itemList_->setSelectionBehavior(QAbstractItemView::SelectRows);
  itemList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  itemList_->setWordWrap(false);
  itemList_->verticalHeader()->hide();
  itemList_->verticalHeader()->setDefaultSectionSize(itemList_->fontMetrics().height() + 6);
  QHeaderView* header = itemList_->horizontalHeader();
  header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  header->setSectionsClickable(true);
  header->setHighlightSections(false);
  for (int column = 0; column < kResultColumnCount; ++column) {
    itemList_->setColumnWidth(column, ResultColumnWidth(static_cast<ResultColumn>(column)));
  }
  connect(header, &QHeaderView::sectionClicked, this, &ResultsListArea::headerClicked);
  // The first rows shown widen the columns to their texts (dates and types
  // are longer than the columns' first widths); later fills keep what the
  // user made of them.
  connect(&model_, &QAbstractItemModel::modelReset, this, [this] {
    if (columnsFitted_ || model_.rowCount() == 0) return;
    columnsFitted_ = true;
    for (int column = 0; column < kResultColumnCount; ++column) {
      const int first = itemList_->columnWidth(column);
      itemList_->resizeColumnToContents(column);
      itemList_->setColumnWidth(column, std::max(first, itemList_->columnWidth(column)));
    }
  });
  header->setSortIndicatorShown(true);
  header->setSortIndicator(-1, Qt::AscendingOrder);
  ConnectList(itemList_);
}

void ResultsListArea::ConfigureIconList() {
  iconList_->setModel(&model_);
  iconList_->setModelColumn(static_cast<int>(ResultColumn::Name));
  iconList_->setFont(ListFont(iconList_));
  iconList_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  iconList_->setMovement(QListView::Static);
  iconList_->setResizeMode(QListView::Adjust);
  iconList_->setWrapping(true);
  iconList_->setUniformItemSizes(true);
  ConnectList(iconList_);
}

// What the detailed list and the icon views share: preview on selection,
// open on double-click, the context menu. Renaming starts from F2 or the
// menu only.
void ResultsListArea::ConnectList(QAbstractItemView* view) {
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  // Tab goes on to the next control (Save) rather than walking the cells.
  view->setTabKeyNavigation(false);
  view->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
    if (QGuiApplication::mouseButtons() != Qt::NoButton) {
      previewOnRelease_ = true;
      return;
    }
    emit rowChosen(current);
  });
  connect(view, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
    if (!previewOnRelease_) return;
    previewOnRelease_ = false;
    emit rowChosen(index);
  });
  connect(view, &QAbstractItemView::doubleClicked, this, &ResultsListArea::rowActivated);
  connect(view, &QWidget::customContextMenuRequested, this, &ResultsListArea::contextMenuRequested);
}

void ResultsListArea::SetListView(MenuItem view) {
  switch (view) {
    case MenuItem::LargeIcons:
      iconList_->setViewMode(QListView::IconMode);
      iconList_->setIconSize(kLargeIconSize);
      iconList_->setMovement(QListView::Static);
      stack_->setCurrentWidget(iconList_);
      break;
    case MenuItem::SmallIcons:
      iconList_->setViewMode(QListView::ListMode);
      iconList_->setIconSize(kSmallIconSize);
      iconList_->setFlow(QListView::LeftToRight);
      iconList_->setWrapping(true);
      stack_->setCurrentWidget(iconList_);
      break;
    case MenuItem::Details:
      stack_->setCurrentWidget(itemList_);
      break;
    default:
      return;
  }
  listView_ = view;
}

QAbstractItemView* ResultsListArea::activeList() const {
  if (stack_->currentWidget() == iconList_) return iconList_;
  return itemList_;
}

std::array<QAbstractItemView*, 2> ResultsListArea::lists() const { return {itemList_, iconList_}; }

std::vector<int> ResultsListArea::SelectedRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : activeList()->selectionModel()->selectedIndexes()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

void ResultsListArea::SetFrozen(bool frozen) {
  for (QAbstractItemView* view : lists()) {
    view->setUpdatesEnabled(!frozen);
    view->setEnabled(!frozen);
  }
  upButton_->setEnabled(!frozen);
}

void ResultsListArea::SetListsEnabled(bool enabled) {
  itemList_->setEnabled(enabled);
  iconList_->setEnabled(enabled);
}

// Each click flips the one direction all columns share; the model keeps it.
void ResultsListArea::SortBy(int column) {
  model_.sort(column);
  itemList_->horizontalHeader()->setSortIndicator(column,
                                                  model_.ascending() ? Qt::AscendingOrder : Qt::DescendingOrder);
}

void ResultsListArea::EditName(int row) { activeList()->edit(model_.index(row, static_cast<int>(ResultColumn::Name))); }

std::optional<int> ResultsListArea::AskRowToOpen(const QPoint& position) {
  QAbstractItemView* view = activeList();
  if (SelectedRows().empty()) return std::nullopt;
  const QModelIndex under = view->indexAt(position);
  const int row = under.isValid() ? under.row() : view->currentIndex().row();
  QMenu menu(this);
  QAction* open = menu.addAction(ToQString(kMenuOpen));
  open->setObjectName(QStringLiteral("openAction"));
  if (menu.exec(view->viewport()->mapToGlobal(position)) != open || row < 0) return std::nullopt;
  return row;
}

}  // namespace korv
