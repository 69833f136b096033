#include "ui/qt/results/folder_tree_pane.h"

#include <QTimer>
#include <QTreeView>
#include <algorithm>
#include <array>
#include <string>
#include <utility>
#include <vector>

#include "app/session.h"
#include "ui/qt/results/folder_tree_model.h"
#include "ui/qt/results/item_list_model.h"
#include "ui/qt/results/results_list_area.h"
#include "ui/qt/results/results_status.h"
#include "ui/qt/results/results_workers.h"

namespace korv {

namespace {

// A tree this small shows every folder open, as it is built; a bigger one
// opens at its root only, so the view does not lay out every node at once.
constexpr std::size_t kExpandAllNodes = 10'000;

bool ShowsFileSystem(FileSystemKind fileSystem) { return fileSystem != FileSystemKind::Unknown; }

}  // namespace

FolderTreePane::FolderTreePane(Session& session, QTreeView* view, ResultsListArea& list, ItemListModel& listModel,
                               ResultsWorkers& workers, ResultsStatus& status)
    : session_(session),
      view_(view),
      list_(list),
      listModel_(listModel),
      workers_(workers),
      status_(status),
      model_(std::make_unique<FolderTreeModel>(session.store, tree_)) {
  view_->setModel(model_.get());
  view_->setHeaderHidden(true);
  view_->setFont(ListFont(view_));
  view_->setMinimumWidth(220);
  // Renaming starts from F2 or the menu only.
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  connect(view_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) { NodeChosen(current); });
  connect(&list_, &ResultsListArea::upClicked, this, &FolderTreePane::GoUp);
  // The list is not sorted while a tree worker owns the store.
  connect(&list_, &ResultsListArea::headerClicked, this, [this](int column) {
    if (!frozen_) list_.SortBy(column);
  });
}

FolderTreePane::~FolderTreePane() { delete view_; }

void FolderTreePane::SetViewsFrozen(bool frozen) {
  if (frozen_ == frozen) return;
  frozen_ = frozen;
  view_->setUpdatesEnabled(!frozen);
  view_->setEnabled(!frozen);
  list_.SetFrozen(frozen);
}

void FolderTreePane::Open() {
  status_.Show(kStatusInsertingTree);
  opening_ = true;
  QTimer::singleShot(0, this, [this] {
    if (opening_ && !workers_.running(ResultsWorkers::Lane::Tree)) Build();
  });
}

void FolderTreePane::Clear() {
  currentNode_.reset();
  tree_ = ResultsTree{};
  model_->Reload();
}

void FolderTreePane::EndWork() {
  SetViewsFrozen(false);
  opening_ = false;
}

void FolderTreePane::Build() {
  const FileSystemKind fileSystem = session_.analysisParameters.fileSystem;
  if (!ShowsFileSystem(fileSystem)) {
    opening_ = false;
    status_.Hide();
    return;
  }
  auto built = std::make_shared<std::unique_ptr<ResultsTree>>(std::make_unique<ResultsTree>());
  const auto build = [this, built, &store = session_.store, fileSystem] {
    (*built)->Build(store, fileSystem, [this](int percent) { status_.PostProgress(percent); });
  };
  const auto then = [this, built] { Built(std::move(*built)); };
  if (!workers_.RunsInBackground(session_.store)) {
    (*built)->Build(session_.store, fileSystem);
    then();
    return;
  }
  status_.ForgetProgress();
  SetViewsFrozen(true);
  workers_.Start(ResultsWorkers::Lane::Tree, build, then);
}

void FolderTreePane::Built(std::unique_ptr<ResultsTree> fresh) {
  SetViewsFrozen(false);
  tree_ = std::move(*fresh);
  model_->Reload();
  status_.Complete();
  const QModelIndex root = model_->IndexOf(kRootNode);
  if (tree_.size() <= kExpandAllNodes) {
    view_->expandAll();
  } else {
    view_->expand(root);
  }
  view_->setCurrentIndex(root);
  if (currentNode_ != kRootNode) ShowNode(kRootNode);
  status_.Hide();
  opening_ = false;
  emit built();
}

void FolderTreePane::NodeChosen(const QModelIndex& current) {
  if (!current.isValid() || tree_.size() == 0) return;
  const TreeNodeIndex node = model_->NodeOf(current);
  if (currentNode_ == node) return;
  ShowNode(node);
}

void FolderTreePane::ShowNode(TreeNodeIndex node) {
  const Store& store = session_.store;
  currentNode_ = node;
  list_.ForgetPendingPreview();
  if (store.folderCount() == 0 && store.fileCount() == 0) {
    listModel_.Clear();
    return;
  }
  status_.Show(kStatusInsertingList);
  // Folders come first, by name in the list's current direction; files
  // follow in the order found.
  std::vector<ResultRow> rows = FolderRows(store, tree_, node);
  SortFolderRows(store, rows, listModel_.listingAscending());
  listModel_.ShowRows(std::move(rows), tree_.fileSystem());
  status_.Complete();
  status_.Hide();
}

void FolderTreePane::SelectNode(TreeNodeIndex node) {
  const QModelIndex index = model_->IndexOf(node);
  view_->setCurrentIndex(index);
  view_->expand(index);
  view_->scrollTo(index);
}

void FolderTreePane::SelectFolder(FolderId folder) {
  const std::optional<TreeNodeIndex> node = tree_.NodeOfFolder(folder);
  if (node) SelectNode(*node);
}

void FolderTreePane::GoUp() {
  if (storeBusy() || !currentNode_ || *currentNode_ == kRootNode) return;
  SelectNode(tree_.node(*currentNode_).parent);
}

void FolderTreePane::EditCurrentNode() {
  if (!currentNode_ || *currentNode_ == kRootNode) return;
  view_->edit(model_->IndexOf(*currentNode_));
}

}  // namespace korv
