// The results page: the folder tree with check boxes, the current folder's
// items, the preview, and the way to the save dialogs and the filter
// dialog. The page composes the parts of ui/qt/results and routes the main
// menu's commands to them:
//   FolderTreePane     the tree, building it and the way through it
//   ResultsListArea    the list views, the Up button, the context menu
//   ResultsTicks       ticking a node or a row
//   ResultsRenamer     renaming a row or a node
//   PreviewController  extracting a file for the preview or to open it
//   RowActions         what choosing or opening a row of the list does
//   ResultsWorkers     the two short workers behind them
//   ResultsStatus      the status line and its bar
//
// The tree and the list are views over models of the store; no widget item
// is made per record. Work that grows with the store (building the tree,
// ticking a subtree) runs on a short worker when the store is big, while the
// tree and the list take no input and do not paint, so nothing reads the
// store as the worker writes it. A preview's extraction always runs on a
// worker. Workers report to the UI thread through queued calls and are
// joined before the page is reopened, left or destroyed.
//
// Controls by object name: "pageToolbar", "stepPicture", "folderTree",
// "upButton", "listStack", "itemList" (the detailed list), "iconList" (the
// icon views), "previewPane", "hintLine", "statusLine", "progressBar",
// "backButton", "saveButton"; the list's context menu holds "openAction".
#pragma once

#include <QWidget>
#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

#include "ui/logic/preview_rules.h"
#include "ui/logic/results_tree.h"
#include "ui/logic/wizard_flow.h"
#include "ui/qt/results/results_workers.h"

class QKeyEvent;
class QLabel;
class QTreeView;

namespace korv {

class CHoverButton;
class FileOpener;
class LogSaver;
class FolderTreePane;
class ItemListModel;
class PageToolbar;
class PreviewController;
class PreviewPane;
class ResultsListArea;
class ResultsRenamer;
class ResultsStatus;
class ResultsTicks;
class RowActions;
class WizardHost;

inline constexpr std::string_view kResultsHint =
    "Select and Click on Save Button to recover selected data. Save Log feature will skip analysis and shows data "
    "faster at later stage.";
// Shown once the tree is filled after a Deleted Data Recovery run.
inline constexpr std::string_view kMsgTryFormatted =
    "If you are unable to find the deleted/lost file's && folder's"
    " in the directory tree."
    "\n\n"
    "Please choose 'Formatted Data Recovery' under Data menu.";
// Follows kMsgSwitchingToFormatted after a line break.
inline constexpr std::string_view kQuestionStartProcess = "Are you sure you want to start this process";
inline constexpr std::string_view kCaptionSave = "&Save";

class ViewDataInControls : public QWidget {
  Q_OBJECT
 public:
  explicit ViewDataInControls(WizardHost& host, QWidget* parent = nullptr);
  ~ViewDataInControls() override;

  // Shows the store as the finished analysis left it. The tree is built
  // once the page is on the screen.
  void Open();

  // The main menu's commands while this page is shown.
  void RecoverSelected();
  void OpenRecoveryFilter();
  void RenameData();
  void SetListView(MenuItem view);  // LargeIcons, Details or SmallIcons
  MenuItem listView() const;
  void SwitchToFormatted();
  // "&Search Data" and the "Search" toolbar button: the search dialog over
  // the page's tree; the page shows the flags it left.
  void SearchData();
  // "&Save Log" and the "SaveLog" toolbar button: the log written on a
  // short worker while the page holds still.
  void SaveLog();
  LogSaver& logSaver() { return *logSaver_; }
  // Back (the button): asks, then closes through the host.
  void GoBack();

  // Whether the page is still filling the tree, ticking or extracting.
  bool busy() const;
  // The node whose rows the list shows.
  std::optional<TreeNodeIndex> currentNode() const;
  // Tests replace how extracted files are opened.
  FileOpener& fileOpener();
  // Tests lower it to drive the workers over a small store.
  void SetBackgroundItemCount(std::size_t items) { workers_.SetBackgroundItemCount(items); }

 signals:
  // The list shows `view` (a MenuItem) now, whoever changed it.
  void listViewChanged(int view);
  // An extraction or the log's writing began (false) or ended (true):
  // the page's buttons and lists follow, and so does the main menu.
  void inputEnabledChanged(bool enabled);

 protected:
  // F2 in the tree or a list renames.
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Escape asks the exit question; the dialog keeps the page painting.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildControls();
  QWidget* MakeViews();
  QWidget* MakeButtonRow();
  void MakeParts();
  void ConnectParts();
  void ApplyToolbar();
  void ToolbarClicked(int button);

  void WaitForWorkers();
  void Reset();
  void SetInputEnabled(bool enabled);
  void TreeShown();
  // Asks a question while the ends of workers wait for the answer.
  bool AskHolding(std::string_view question);
  // Leaving the page: the views let go of the store before it is emptied.
  void ReleaseResults();

  WizardHost& host_;
  // Made in this order and gone in the reverse: each part goes before what
  // it uses, the tree's view with its pane; the list area is deleted first.
  ResultsWorkers workers_;
  std::unique_ptr<ItemListModel> listModel_;
  std::unique_ptr<ResultsStatus> status_;
  std::unique_ptr<FolderTreePane> tree_;
  std::unique_ptr<ResultsTicks> ticks_;
  std::unique_ptr<ResultsRenamer> renamer_;
  std::unique_ptr<PreviewController> preview_;
  std::unique_ptr<RowActions> rowActions_;
  std::unique_ptr<LogSaver> logSaver_;

  PageToolbar* toolbar_ = nullptr;
  QLabel* stepPicture_ = nullptr;
  QTreeView* folderTree_ = nullptr;
  ResultsListArea* listArea_ = nullptr;
  PreviewPane* previewPane_ = nullptr;
  CHoverButton* backButton_ = nullptr;
  CHoverButton* saveButton_ = nullptr;
};

}  // namespace korv
