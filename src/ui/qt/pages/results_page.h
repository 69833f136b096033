// The results page: the folder tree with check boxes, the current folder's
// items, the preview, ticking, renaming, the list views, and the way to the
// save dialogs and the filter dialog.
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
#include <atomic>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <thread>
#include <vector>

#include "ui/logic/preview_rules.h"
#include "ui/logic/results_tree.h"
#include "ui/logic/wizard_flow.h"

class QAbstractItemView;
class QKeyEvent;
class QLabel;
class QListView;
class QModelIndex;
class QPoint;
class QStackedWidget;
class QTableView;
class QToolButton;
class QTreeView;

namespace korv {

class CGradientProgressCtrl;
class CHoverButton;
class FileOpener;
class FolderTreeModel;
class ItemListModel;
class PageToolbar;
class PreviewPane;
class WizardHost;

inline constexpr std::string_view kResultsHint =
    "Select and Click on Save Button to recover selected data. Save Log feature will skip analysis and shows data "
    "faster at later stage.";
inline constexpr std::string_view kStatusInsertingTree = "Inserting Folders / Files to tree explorer. Please wait...";
inline constexpr std::string_view kStatusInsertingList = "Inserting Folders / Files to List. Please wait...";
inline constexpr std::string_view kStatusSelecting = "Please Wait - Selecting Data";
inline constexpr std::string_view kStatusDeselecting = "Please Wait - De-Selecting Data";
// Shown once the tree is filled after a Deleted Data Recovery run.
inline constexpr std::string_view kMsgTryFormatted =
    "If you are unable to find the deleted/lost file's && folder's"
    " in the directory tree."
    "\n\n"
    "Please choose 'Formatted Data Recovery' under Data menu.";
// Follows kMsgSwitchingToFormatted after a line break.
inline constexpr std::string_view kQuestionStartProcess = "Are you sure you want to start this process";
inline constexpr std::string_view kMenuOpen = "&Open";
inline constexpr std::string_view kCaptionSave = "&Save";
inline constexpr std::string_view kCaptionUp = "Up";

// Stores with at least this many folders and files are built and ticked on
// a worker; smaller ones are done before the next paint anyway.
inline constexpr std::size_t kBackgroundItemCount = 50'000;

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
  MenuItem listView() const { return listView_; }
  void SwitchToFormatted();
  // Back (the button): asks, then closes through the host.
  void GoBack();

  // Whether the page is still filling the tree, ticking or extracting.
  bool busy() const;
  // The node whose rows the list shows.
  std::optional<TreeNodeIndex> currentNode() const { return currentNode_; }
  // Tests replace how extracted files are opened.
  FileOpener& fileOpener() { return *opener_; }
  // Tests lower it to drive the workers over a small store.
  void SetBackgroundItemCount(std::size_t items) { backgroundItems_ = items; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Escape asks the exit question; the dialog keeps the page painting.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  // One short worker: its thread, whether its work is done, and which start
  // a queued end belongs to (an end of a worker that was waited for is
  // dropped).
  struct Worker {
    std::thread thread;
    std::atomic<bool> done{true};
    unsigned generation = 0;
  };
  struct Extraction {
    std::optional<std::filesystem::path> path;
    PreviewKind kind = PreviewKind::None;
    bool open = false;
  };

  void BuildControls();
  QWidget* MakeListArea();
  QWidget* MakeButtonRow();
  void ConfigureTree();
  void ConfigureTable();
  void ConfigureIconList();
  void ConnectList(QAbstractItemView* view);
  void ApplyToolbar();
  void ToolbarClicked(int button);

  // Workers.
  bool RunsInBackground() const;
  // The tree is being built or a tick worker writes the store. An
  // extraction only reads the store, so ticks may go on meanwhile.
  bool storeBusy() const { return opening_ || frozen_; }
  void Start(Worker& worker, std::function<void()> work, std::function<void()> then);
  void Finish(Worker& worker, unsigned generation, const std::function<void()>& then);
  void Wait(Worker& worker);
  void WaitForWorkers();
  void SetViewsFrozen(bool frozen);
  void ShowStatus(std::string_view status);
  void HideStatus();
  void PostProgress(int percent);

  // Opening.
  void BuildTree();
  void TreeBuilt(std::unique_ptr<ResultsTree> built);
  void Reset();

  // Navigation.
  void NodeChosen(const QModelIndex& current);
  void ShowNode(TreeNodeIndex node);
  void SelectNode(TreeNodeIndex node);
  void GoUp();
  void RowActivated(const QModelIndex& index);
  void OpenRow(int row);

  // Ticks.
  void TickTreeNode(TreeNodeIndex node, bool ticked);
  void TickRow(int row, bool ticked);
  void RefreshTicks();

  // Preview and open.
  void RowChosen(const QModelIndex& current);
  void StartExtraction(std::uint32_t insertionNumber, PreviewKind kind, bool open);
  void ExtractionEnded(Extraction extraction);
  void ShowExtraction(const Extraction& extraction);
  void AskStopPreview();
  // Asks a question while the ends of workers wait for the answer, as a
  // worker paused for the question would.
  bool AskHolding(std::string_view question);
  void ReplayHeld();
  void ShowContextMenu(const QPoint& position);

  // Rename.
  void RenameRow(int row, const QString& name);
  void RenameNode(TreeNodeIndex node, const QString& name);
  void RenamedFolder(FolderId folder, const QString& name);

  // Leaving.
  void ReleaseResults();

  QAbstractItemView* activeList() const;
  std::vector<int> SelectedRows() const;

  WizardHost& host_;
  ResultsTree tree_;
  std::unique_ptr<FolderTreeModel> treeModel_;
  std::unique_ptr<ItemListModel> listModel_;
  std::unique_ptr<FileOpener> opener_;

  PageToolbar* toolbar_ = nullptr;
  QLabel* stepPicture_ = nullptr;
  QTreeView* folderTree_ = nullptr;
  QToolButton* upButton_ = nullptr;
  QStackedWidget* listStack_ = nullptr;
  QTableView* itemList_ = nullptr;
  QListView* iconList_ = nullptr;
  PreviewPane* preview_ = nullptr;
  QLabel* statusLine_ = nullptr;
  CGradientProgressCtrl* progressBar_ = nullptr;
  CHoverButton* backButton_ = nullptr;
  CHoverButton* saveButton_ = nullptr;

  Worker treeWorker_;        // building the tree, ticking
  Worker previewWorker_;     // extracting a file
  bool opening_ = false;     // the tree is still to be built
  bool frozen_ = false;      // a tree worker owns the store
  bool previewing_ = false;  // an extraction runs or its end is held
  bool previewOnRelease_ = false;
  bool stopPreview_ = false;
  // Read by the extraction worker: Stop (Yes) and leaving the page end it.
  std::atomic<bool> cancelExtraction_{false};
  bool holding_ = false;
  bool tearingDown_ = false;
  std::vector<std::function<void()>> held_;
  std::optional<TreeNodeIndex> currentNode_;
  MenuItem listView_ = MenuItem::Details;
  std::size_t backgroundItems_ = kBackgroundItemCount;
  std::atomic<int> lastPercent_{-1};
};

}  // namespace korv
