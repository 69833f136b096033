// The results page's list area: the Up button over the current folder's
// items, shown as a detailed list or as icons (large or small), both views
// over one ItemListModel. A row chosen with the mouse is reported once the
// button is up, so a press on a check box reaches the box before a preview
// disables the list.
//
// Object names: "upButton", "listStack", "itemList" (the detailed list),
// "iconList" (the icon views); the context menu holds "openAction".
#pragma once

#include <QFont>
#include <QWidget>
#include <array>
#include <optional>
#include <string_view>
#include <vector>

#include "ui/logic/wizard_flow.h"

class QAbstractItemView;
class QListView;
class QModelIndex;
class QPoint;
class QStackedWidget;
class QTableView;
class QToolButton;

namespace korv {

class ItemListModel;

inline constexpr std::string_view kMenuOpen = "&Open";
inline constexpr std::string_view kCaptionUp = "Up";

// The font of the tree and the lists: the widget's own (the desktop's size), plain.
QFont ListFont(const QWidget* widget);

class ResultsListArea : public QWidget {
  Q_OBJECT
 public:
  ResultsListArea(ItemListModel& model, QWidget* parent);

  // LargeIcons, Details or SmallIcons; any other item is ignored.
  void SetListView(MenuItem view);
  MenuItem listView() const { return listView_; }
  QAbstractItemView* activeList() const;
  // Both views, for the page's key filter.
  std::array<QAbstractItemView*, 2> lists() const;
  // The selected rows of the shown view, ascending, each once.
  std::vector<int> SelectedRows() const;

  // While a worker writes the store: no input, no painting.
  void SetFrozen(bool frozen);
  // While a file is extracted.
  void SetListsEnabled(bool enabled);
  // A row chosen with the mouse before is not previewed any more.
  void ForgetPendingPreview() { previewOnRelease_ = false; }
  void SortBy(int column);
  void EditName(int row);
  // Shows the context menu at `position` of the shown view; the row to
  // open when "&Open" was chosen.
  std::optional<int> AskRowToOpen(const QPoint& position);

 signals:
  void upClicked();
  void rowChosen(const QModelIndex& current);
  void rowActivated(const QModelIndex& index);
  void contextMenuRequested(const QPoint& position);
  void headerClicked(int column);

 private:
  void ConfigureTable();
  void ConfigureIconList();
  void ConnectList(QAbstractItemView* view);

  ItemListModel& model_;
  QToolButton* upButton_ = nullptr;
  QStackedWidget* stack_ = nullptr;
  QTableView* itemList_ = nullptr;
  bool columnsFitted_ = false;
  QListView* iconList_ = nullptr;
  bool previewOnRelease_ = false;
  MenuItem listView_ = MenuItem::Details;
};

}  // namespace korv
