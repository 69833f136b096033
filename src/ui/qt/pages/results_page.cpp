#include "ui/qt/pages/results_page.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QMenu>
#include <QSplitter>
#include <QStackedWidget>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <chrono>
#include <string>

#include "app/session.h"
#include "engine/analysis_driver.h"
#include "engine/analysis_job.h"
#include "ui/qt/controls/gradient_progress.h"
#include "ui/qt/controls/hover_button.h"
#include "ui/qt/controls/page_banner.h"
#include "ui/qt/controls/page_toolbar.h"
#include "ui/qt/pages/source_page.h"
#include "ui/qt/pictures.h"
#include "ui/qt/results/file_opener.h"
#include "ui/qt/results/folder_tree_model.h"
#include "ui/qt/results/item_list_model.h"
#include "ui/qt/results/preview_pane.h"
#include "ui/qt/save/data_copy_path.h"
#include "ui/qt/save/data_saving_settings.h"
#include "ui/qt/wizard_host.h"

namespace korv {

namespace {

constexpr int kListFontPoints = 12;
constexpr QSize kLargeIconSize{32, 32};
constexpr QSize kSmallIconSize{16, 16};
// A tree this small shows every folder open, as it is built; a bigger one
// opens at its root only, so the view does not lay out every node at once.
constexpr std::size_t kExpandAllNodes = 10'000;
// How often a wait for a worker lets the UI thread's queue through.
constexpr int kWaitSliceMs = 10;

bool ShowsFileSystem(FileSystemKind fileSystem) { return fileSystem != FileSystemKind::Unknown; }

QFont ListFont(const QWidget* widget) {
  QFont font = widget->font();
  font.setPointSize(kListFontPoints);
  font.setBold(false);
  return font;
}

}  // namespace

ViewDataInControls::ViewDataInControls(WizardHost& host, QWidget* parent)
    : QWidget(parent),
      host_(host),
      treeModel_(std::make_unique<FolderTreeModel>(host.session().store, tree_)),
      listModel_(std::make_unique<ItemListModel>(host.session().store)),
      opener_(std::make_unique<FileOpener>(host.session())) {
  BuildControls();
  connect(treeModel_.get(), &FolderTreeModel::tickRequested, this,
          [this](quint32 node, bool ticked) { TickTreeNode(node, ticked); });
  connect(treeModel_.get(), &FolderTreeModel::renameRequested, this,
          [this](quint32 node, const QString& name) { RenameNode(node, name); });
  connect(listModel_.get(), &ItemListModel::rowTickRequested, this, &ViewDataInControls::TickRow);
  connect(listModel_.get(), &ItemListModel::renameRequested, this, &ViewDataInControls::RenameRow);
  connect(preview_, &PreviewPane::stopRequested, this, &ViewDataInControls::AskStopPreview);
}

ViewDataInControls::~ViewDataInControls() {
  tearingDown_ = true;
  cancelExtraction_ = true;
  WaitForWorkers();
  // The views go before the models they show.
  delete folderTree_;
  delete listStack_;
}

// ---------------------------------------------------------------------------
// Controls

void ViewDataInControls::BuildControls() {
  UseWhiteBackground(this);

  toolbar_ = new PageToolbar(this);
  toolbar_->setObjectName(QStringLiteral("pageToolbar"));
  connect(toolbar_, &PageToolbar::clicked, this, &ViewDataInControls::ToolbarClicked);

  stepPicture_ = new QLabel(this);
  stepPicture_->setObjectName(QStringLiteral("stepPicture"));

  folderTree_ = new QTreeView(this);
  folderTree_->setObjectName(QStringLiteral("folderTree"));
  ConfigureTree();

  preview_ = new PreviewPane(this);
  preview_->setObjectName(QStringLiteral("previewPane"));

  auto* right = new QSplitter(Qt::Vertical, this);
  right->addWidget(MakeListArea());
  right->addWidget(preview_);
  right->setStretchFactor(0, 3);
  right->setStretchFactor(1, 2);
  auto* split = new QSplitter(Qt::Horizontal, this);
  split->addWidget(folderTree_);
  split->addWidget(right);
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 3);

  auto* hint = new QLabel(DisplayQString(kResultsHint), this);
  hint->setObjectName(QStringLiteral("hintLine"));
  hint->setWordWrap(true);
  statusLine_ = new QLabel(this);
  statusLine_->setObjectName(QStringLiteral("statusLine"));
  statusLine_->setTextFormat(Qt::PlainText);
  progressBar_ = new CGradientProgressCtrl(this);
  progressBar_->setObjectName(QStringLiteral("progressBar"));
  auto* statusRow = new QHBoxLayout;
  statusRow->addWidget(statusLine_, 1);
  statusRow->addWidget(progressBar_, 1);

  auto* top = new QHBoxLayout;
  top->addWidget(toolbar_, 0, Qt::AlignLeft);
  top->addStretch(1);
  top->addWidget(stepPicture_, 0, Qt::AlignRight);

  auto* body = new QVBoxLayout;
  body->setContentsMargins(12, 0, 12, 0);
  body->addLayout(top);
  body->addWidget(split, 1);
  body->addWidget(hint);
  body->addLayout(statusRow);
  body->addWidget(MakeButtonRow());

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 12);
  layout->addWidget(new PageBanner(this));
  layout->addLayout(body, 1);
  HideStatus();
}

QWidget* ViewDataInControls::MakeListArea() {
  auto* area = new QWidget(this);
  upButton_ = new QToolButton(area);
  upButton_->setObjectName(QStringLiteral("upButton"));
  upButton_->setIcon(style()->standardIcon(QStyle::SP_FileDialogToParent));
  upButton_->setText(ToQString(kCaptionUp));
  upButton_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  connect(upButton_, &QToolButton::clicked, this, &ViewDataInControls::GoUp);

  listStack_ = new QStackedWidget(area);
  listStack_->setObjectName(QStringLiteral("listStack"));
  itemList_ = new QTableView(listStack_);
  itemList_->setObjectName(QStringLiteral("itemList"));
  iconList_ = new QListView(listStack_);
  iconList_->setObjectName(QStringLiteral("iconList"));
  ConfigureTable();
  ConfigureIconList();
  listStack_->addWidget(itemList_);
  listStack_->addWidget(iconList_);

  auto* layout = new QVBoxLayout(area);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(upButton_, 0, Qt::AlignLeft);
  layout->addWidget(listStack_, 1);
  return area;
}

QWidget* ViewDataInControls::MakeButtonRow() {
  auto* row = new QWidget(this);
  backButton_ = MakePageButton(picture::kBack, kBackCaption, "backButton", row);
  saveButton_ = MakePageButton(picture::kSave, kCaptionSave, "saveButton", row);
  connect(backButton_, &CHoverButton::clicked, this, &ViewDataInControls::GoBack);
  connect(saveButton_, &CHoverButton::clicked, this, &ViewDataInControls::RecoverSelected);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addStretch(1);
  layout->addWidget(backButton_);
  layout->addWidget(saveButton_);
  return row;
}

void ViewDataInControls::ConfigureTree() {
  folderTree_->setModel(treeModel_.get());
  folderTree_->setHeaderHidden(true);
  folderTree_->setFont(ListFont(folderTree_));
  folderTree_->setMinimumWidth(220);
  // Renaming starts from F2 or the menu only (see eventFilter).
  folderTree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  folderTree_->installEventFilter(this);
  connect(folderTree_->selectionModel(), &QItemSelectionModel::currentChanged, this,
          [this](const QModelIndex& current) { NodeChosen(current); });
}

void ViewDataInControls::ConfigureTable() {
  itemList_->setModel(listModel_.get());
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
  // Each click flips the one direction all columns share; the model keeps it.
  connect(header, &QHeaderView::sectionClicked, this, [this](int column) {
    if (frozen_) return;
    listModel_->sort(column);
    itemList_->horizontalHeader()->setSortIndicator(column,
                                                    listModel_->ascending() ? Qt::AscendingOrder : Qt::DescendingOrder);
  });
  header->setSortIndicatorShown(true);
  header->setSortIndicator(-1, Qt::AscendingOrder);
  ConnectList(itemList_);
}

void ViewDataInControls::ConfigureIconList() {
  iconList_->setModel(listModel_.get());
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
// open on double-click, the context menu, F2.
void ViewDataInControls::ConnectList(QAbstractItemView* view) {
  view->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view->setContextMenuPolicy(Qt::CustomContextMenu);
  view->installEventFilter(this);
  // A press on a check box must reach the box before a preview disables the
  // list: a row chosen with the mouse is previewed once the button is up.
  connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
    if (QGuiApplication::mouseButtons() != Qt::NoButton) {
      previewOnRelease_ = true;
      return;
    }
    RowChosen(current);
  });
  connect(view, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
    if (!previewOnRelease_) return;
    previewOnRelease_ = false;
    RowChosen(index);
  });
  connect(view, &QAbstractItemView::doubleClicked, this, &ViewDataInControls::RowActivated);
  connect(view, &QWidget::customContextMenuRequested, this, &ViewDataInControls::ShowContextMenu);
}

void ViewDataInControls::ApplyToolbar() {
  const WizardState& wizard = host_.session().wizard;
  const Capabilities built = BuiltCapabilities();
  for (const ToolbarButton button : kAllToolbarButtons) {
    toolbar_->SetButtonEnabled(button, ToolbarButtonEnabled(button, WizardPage::Results, wizard, built));
  }
}

void ViewDataInControls::ToolbarClicked(int button) {
  switch (static_cast<ToolbarButton>(button)) {
    case ToolbarButton::Help:
      host_.ShowHelp();
      return;
    case ToolbarButton::Settings:
      RecoverSelected();
      return;
    case ToolbarButton::LoadLog:
    case ToolbarButton::SaveLog:
    case ToolbarButton::Search:
      return;
  }
}

bool ViewDataInControls::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_F2 &&
      (watched == folderTree_ || watched == itemList_ || watched == iconList_)) {
    RenameData();
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void ViewDataInControls::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape) {
    QWidget::keyPressEvent(event);
    return;
  }
  host_.AskExit();
}

QAbstractItemView* ViewDataInControls::activeList() const {
  if (listStack_->currentWidget() == iconList_) return iconList_;
  return itemList_;
}

std::vector<int> ViewDataInControls::SelectedRows() const {
  std::vector<int> rows;
  for (const QModelIndex& index : activeList()->selectionModel()->selectedIndexes()) rows.push_back(index.row());
  std::sort(rows.begin(), rows.end());
  rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
  return rows;
}

// ---------------------------------------------------------------------------
// Workers

bool ViewDataInControls::RunsInBackground() const {
  const Store& store = host_.session().store;
  const auto items = static_cast<std::size_t>(std::max(0, store.folderCount())) +
                     static_cast<std::size_t>(std::max(0, store.fileCount()));
  return items >= backgroundItems_;
}

bool ViewDataInControls::busy() const { return storeBusy() || previewing_; }

void ViewDataInControls::Start(Worker& worker, std::function<void()> work, std::function<void()> then) {
  Wait(worker);
  const unsigned generation = ++worker.generation;
  worker.done = false;
  worker.thread = std::thread([this, &worker, generation, work = std::move(work), then = std::move(then)] {
    work();
    worker.done = true;
    QMetaObject::invokeMethod(
        this, [this, &worker, generation, then] { Finish(worker, generation, then); }, Qt::QueuedConnection);
  });
}

void ViewDataInControls::Finish(Worker& worker, unsigned generation, const std::function<void()>& then) {
  if (generation != worker.generation || !worker.thread.joinable()) return;
  worker.thread.join();
  if (tearingDown_) return;
  if (holding_) {
    held_.push_back(then);
    return;
  }
  then();
}

// Waits for a worker and drops what it would have done at its end. A worker
// may be carrying a question (a bad sector) to this thread meanwhile, so the
// queue is let through rather than blocked on.
void ViewDataInControls::Wait(Worker& worker) {
  if (!worker.thread.joinable()) return;
  ++worker.generation;
  while (!worker.done.load()) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, kWaitSliceMs);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  worker.thread.join();
}

void ViewDataInControls::WaitForWorkers() {
  Wait(treeWorker_);
  Wait(previewWorker_);
  SetViewsFrozen(false);
  opening_ = false;
  previewing_ = false;
  held_.clear();
}

// While a tree worker writes the store, the tree and the list take no input
// and do not paint, so their models do not read it.
void ViewDataInControls::SetViewsFrozen(bool frozen) {
  if (frozen_ == frozen) return;
  frozen_ = frozen;
  for (QAbstractItemView* view :
       {static_cast<QAbstractItemView*>(folderTree_), static_cast<QAbstractItemView*>(itemList_),
        static_cast<QAbstractItemView*>(iconList_)}) {
    view->setUpdatesEnabled(!frozen);
    view->setEnabled(!frozen);
  }
  upButton_->setEnabled(!frozen);
}

void ViewDataInControls::ShowStatus(std::string_view status) {
  statusLine_->setText(DisplayQString(status));
  statusLine_->show();
  progressBar_->SetPosition(0);
  progressBar_->show();
}

void ViewDataInControls::HideStatus() {
  statusLine_->clear();
  statusLine_->hide();
  progressBar_->hide();
}

// From the tree builder's worker; only a change of the percentage is posted.
void ViewDataInControls::PostProgress(int percent) {
  if (lastPercent_.exchange(percent) == percent) return;
  QMetaObject::invokeMethod(
      progressBar_, [bar = progressBar_, percent] { bar->SetPosition(percent); }, Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------
// Opening

void ViewDataInControls::Open() {
  WaitForWorkers();
  Reset();
  WizardState& wizard = host_.session().wizard;
  wizard.activePage = ActivePage::Results;
  setWindowTitle(ToQString(WindowTitle(WizardPage::Results, wizard.mode)));
  const bool partitionMode = wizard.mode == RecoveryMode::DeletedData || wizard.mode == RecoveryMode::FormattedData;
  stepPicture_->setPixmap(LoadPicture(partitionMode ? picture::kStep3 : picture::kStep4));
  ApplyToolbar();
  SetListView(MenuItem::Details);

  ShowStatus(kStatusInsertingTree);
  opening_ = true;
  // Built once the page is on the screen, so it shows before the work.
  QTimer::singleShot(0, this, [this] {
    if (opening_ && !treeWorker_.thread.joinable()) BuildTree();
  });
}

void ViewDataInControls::Reset() {
  currentNode_.reset();
  previewOnRelease_ = false;
  stopPreview_ = false;
  listModel_->Clear();
  tree_ = ResultsTree{};
  treeModel_->Reload();
  preview_->ShowWaiting(false);
  preview_->ShowIdle();
  itemList_->setEnabled(true);
  iconList_->setEnabled(true);
  backButton_->setEnabled(true);
  saveButton_->setEnabled(true);
  HideStatus();
}

void ViewDataInControls::BuildTree() {
  Session& session = host_.session();
  const FileSystemKind fileSystem = session.analysisParameters.fileSystem;
  if (!ShowsFileSystem(fileSystem)) {
    opening_ = false;
    HideStatus();
    return;
  }
  auto built = std::make_shared<std::unique_ptr<ResultsTree>>(std::make_unique<ResultsTree>());
  const auto build = [this, built, &store = session.store, fileSystem] {
    (*built)->Build(store, fileSystem, [this](int percent) { PostProgress(percent); });
  };
  const auto then = [this, built] { TreeBuilt(std::move(*built)); };
  if (!RunsInBackground()) {
    (*built)->Build(session.store, fileSystem);
    then();
    return;
  }
  lastPercent_ = -1;
  SetViewsFrozen(true);
  Start(treeWorker_, build, then);
}

void ViewDataInControls::TreeBuilt(std::unique_ptr<ResultsTree> built) {
  SetViewsFrozen(false);
  tree_ = std::move(*built);
  treeModel_->Reload();
  progressBar_->SetPosition(100);
  const QModelIndex root = treeModel_->IndexOf(kRootNode);
  if (tree_.size() <= kExpandAllNodes) {
    folderTree_->expandAll();
  } else {
    folderTree_->expand(root);
  }
  folderTree_->setCurrentIndex(root);
  if (currentNode_ != kRootNode) ShowNode(kRootNode);
  HideStatus();
  opening_ = false;

  const WizardState& wizard = host_.session().wizard;
  if (!wizard.formattedMode && !wizard.rangeRun) host_.ShowMessage(kMsgTryFormatted);
}

// ---------------------------------------------------------------------------
// Navigation

void ViewDataInControls::NodeChosen(const QModelIndex& current) {
  if (!current.isValid() || tree_.size() == 0) return;
  const TreeNodeIndex node = treeModel_->NodeOf(current);
  if (currentNode_ == node) return;
  ShowNode(node);
}

void ViewDataInControls::ShowNode(TreeNodeIndex node) {
  const Store& store = host_.session().store;
  currentNode_ = node;
  previewOnRelease_ = false;
  if (store.folderCount() == 0 && store.fileCount() == 0) {
    listModel_->Clear();
    return;
  }
  ShowStatus(kStatusInsertingList);
  // Folders come first, by name in the list's current direction; files
  // follow in the order found.
  std::vector<ResultRow> rows = FolderRows(store, tree_, node);
  SortFolderRows(store, rows, listModel_->listingAscending());
  listModel_->ShowRows(std::move(rows), tree_.fileSystem());
  progressBar_->SetPosition(100);
  HideStatus();
}

void ViewDataInControls::SelectNode(TreeNodeIndex node) {
  const QModelIndex index = treeModel_->IndexOf(node);
  folderTree_->setCurrentIndex(index);
  folderTree_->expand(index);
  folderTree_->scrollTo(index);
}

void ViewDataInControls::GoUp() {
  if (storeBusy() || !currentNode_ || *currentNode_ == kRootNode) return;
  SelectNode(tree_.node(*currentNode_).parent);
}

void ViewDataInControls::RowActivated(const QModelIndex& index) {
  if (!index.isValid()) return;
  OpenRow(index.row());
}

// "&Open" and double-click: a folder opens in the tree, a file in the
// desktop's program for it.
void ViewDataInControls::OpenRow(int row) {
  if (busy()) return;
  const ResultRow item = listModel_->row(row);
  if (item.folder) {
    const std::optional<TreeNodeIndex> node = tree_.NodeOfFolder(item.id);
    if (node) SelectNode(*node);
    return;
  }
  StartExtraction(host_.session().store.file(item.id).insertionNumber, PreviewKind::None, true);
}

void ViewDataInControls::ShowContextMenu(const QPoint& position) {
  QAbstractItemView* view = activeList();
  if (busy() || SelectedRows().empty()) return;
  const QModelIndex under = view->indexAt(position);
  const int row = under.isValid() ? under.row() : view->currentIndex().row();
  QMenu menu(this);
  QAction* open = menu.addAction(ToQString(kMenuOpen));
  open->setObjectName(QStringLiteral("openAction"));
  if (menu.exec(view->viewport()->mapToGlobal(position)) != open || row < 0) return;
  OpenRow(row);
}

// ---------------------------------------------------------------------------
// Ticks

void ViewDataInControls::TickTreeNode(TreeNodeIndex node, bool ticked) {
  if (storeBusy()) return;
  Store& store = host_.session().store;
  ShowStatus(ticked ? kStatusSelecting : kStatusDeselecting);
  const auto tick = [&store, &tree = tree_, node, ticked] { TickNode(store, tree, node, ticked); };
  if (!RunsInBackground()) {
    tick();
    RefreshTicks();
    return;
  }
  SetViewsFrozen(true);
  Start(treeWorker_, tick, [this] {
    SetViewsFrozen(false);
    RefreshTicks();
  });
}

void ViewDataInControls::TickRow(int row, bool ticked) {
  if (storeBusy()) return;
  const ResultRow item = listModel_->row(row);
  if (item.folder) {
    const std::optional<TreeNodeIndex> node = tree_.NodeOfFolder(item.id);
    if (node) TickTreeNode(*node, ticked);
    return;
  }
  TickFile(host_.session().store, tree_, item.id, ticked);
  RefreshTicks();
}

void ViewDataInControls::RefreshTicks() {
  progressBar_->SetPosition(100);
  treeModel_->RefreshChecks();
  listModel_->RefreshAll();
  HideStatus();
}

// ---------------------------------------------------------------------------
// Preview and open

void ViewDataInControls::RowChosen(const QModelIndex& current) {
  if (!current.isValid() || busy()) return;
  const ResultRow item = listModel_->row(current.row());
  if (item.folder) {
    preview_->ShowIdle();
    return;
  }
  const FoundFile& file = host_.session().store.file(item.id);
  if (!ExtractForPreview(file.name, file.size)) {
    preview_->ShowNoPreview();
    return;
  }
  StartExtraction(file.insertionNumber, PreviewKindOf(file.name), false);
}

void ViewDataInControls::StartExtraction(std::uint32_t insertionNumber, PreviewKind kind, bool open) {
  if (previewing_) return;
  previewing_ = true;
  stopPreview_ = false;
  cancelExtraction_ = false;
  itemList_->setEnabled(false);
  iconList_->setEnabled(false);
  backButton_->setEnabled(false);
  saveButton_->setEnabled(false);
  preview_->ShowWaiting(true);
  auto extraction = std::make_shared<Extraction>(Extraction{std::nullopt, kind, open});
  Start(
      previewWorker_,
      [this, extraction, insertionNumber] { extraction->path = opener_->Extract(insertionNumber, &cancelExtraction_); },
      [this, extraction] { ExtractionEnded(std::move(*extraction)); });
}

void ViewDataInControls::ExtractionEnded(Extraction extraction) {
  previewing_ = false;
  preview_->ShowWaiting(false);
  itemList_->setEnabled(true);
  iconList_->setEnabled(true);
  backButton_->setEnabled(true);
  saveButton_->setEnabled(true);
  activeList()->setFocus(Qt::OtherFocusReason);
  if (stopPreview_) return;
  ShowExtraction(extraction);
}

void ViewDataInControls::ShowExtraction(const Extraction& extraction) {
  if (extraction.open) {
    if (extraction.path) opener_->Open(*extraction.path, this);
    return;
  }
  if (!extraction.path) {
    preview_->ShowNoPreview();
    return;
  }
  const QString path = QString::fromStdString(extraction.path->string());
  switch (extraction.kind) {
    case PreviewKind::Picture:
      preview_->ShowPicture(path);
      return;
    case PreviewKind::RichText:
      preview_->ShowRichText(path);
      return;
    case PreviewKind::Archive:
      preview_->ShowArchive(path);
      return;
    case PreviewKind::None:
      preview_->ShowNoPreview();
      return;
  }
}

// The extraction goes on meanwhile; its end waits for the answer, which
// decides whether anything is shown.
void ViewDataInControls::AskStopPreview() {
  if (!previewing_ || holding_) return;
  if (AskHolding(kQuestionStopPreview)) {
    stopPreview_ = true;
    cancelExtraction_ = true;
  }
  ReplayHeld();
}

bool ViewDataInControls::AskHolding(std::string_view question) {
  holding_ = true;
  const bool yes = host_.AskQuestion(question);
  holding_ = false;
  return yes;
}

void ViewDataInControls::ReplayHeld() {
  std::vector<std::function<void()>> ends = std::move(held_);
  held_.clear();
  for (const auto& end : ends) end();
}

// ---------------------------------------------------------------------------
// Rename

void ViewDataInControls::RenameData() {
  if (busy()) return;
  const std::vector<int> rows = SelectedRows();
  if (rows.size() == 1) {
    QAbstractItemView* view = activeList();
    view->edit(listModel_->index(rows.front(), static_cast<int>(ResultColumn::Name)));
    return;
  }
  if (!currentNode_ || *currentNode_ == kRootNode) return;
  folderTree_->edit(treeModel_->IndexOf(*currentNode_));
}

void ViewDataInControls::RenameRow(int row, const QString& name) {
  if (busy() || row < 0 || row >= listModel_->rowCount()) return;
  const ResultRow item = listModel_->row(row);
  Store& store = host_.session().store;
  const std::u16string text = name.toStdU16String();
  // A refused name (an empty one) leaves the record as it was; the refresh
  // shows the old name again.
  if (item.folder) {
    if (store.RenameFolder(item.id, text)) RenamedFolder(item.id, name);
  } else {
    store.RenameFile(item.id, text);
  }
  listModel_->RefreshAll();
}

void ViewDataInControls::RenameNode(TreeNodeIndex node, const QString& name) {
  if (busy() || node == kRootNode || node >= tree_.size()) return;
  const std::optional<FolderId> folder = tree_.node(node).folder;
  if (folder && host_.session().store.RenameFolder(*folder, name.toStdU16String())) {
    RenamedFolder(*folder, name);
    listModel_->RefreshAll();
    return;
  }
  treeModel_->RefreshNode(node);
}

void ViewDataInControls::RenamedFolder(FolderId folder, const QString& name) {
  const std::optional<TreeNodeIndex> node = tree_.NodeOfFolder(folder);
  if (!node) return;
  tree_.SetText(*node, name.toStdString());
  treeModel_->RefreshNode(*node);
}

// ---------------------------------------------------------------------------
// Views

void ViewDataInControls::SetListView(MenuItem view) {
  switch (view) {
    case MenuItem::LargeIcons:
      iconList_->setViewMode(QListView::IconMode);
      iconList_->setIconSize(kLargeIconSize);
      iconList_->setMovement(QListView::Static);
      listStack_->setCurrentWidget(iconList_);
      break;
    case MenuItem::SmallIcons:
      iconList_->setViewMode(QListView::ListMode);
      iconList_->setIconSize(kSmallIconSize);
      iconList_->setFlow(QListView::LeftToRight);
      iconList_->setWrapping(true);
      listStack_->setCurrentWidget(iconList_);
      break;
    case MenuItem::Details:
      listStack_->setCurrentWidget(itemList_);
      break;
    default:
      return;
  }
  listView_ = view;
}

// ---------------------------------------------------------------------------
// Commands

void ViewDataInControls::RecoverSelected() {
  if (busy()) return;
  {
    DataCopyPath dialog(host_.session(), this);
    dialog.exec();
  }
  treeModel_->RefreshChecks();
  listModel_->RefreshAll();
}

void ViewDataInControls::OpenRecoveryFilter() {
  if (busy()) return;
  {
    DataSavingSettings dialog(host_.session().saveFilters, this);
    dialog.exec();
  }
  listModel_->RefreshAll();
}

void ViewDataInControls::GoBack() {
  if (holding_) return;
  if (!AskHolding(kQuestionGoBack)) {
    ReplayHeld();
    return;
  }
  ReleaseResults();
  host_.CloseResultsPage();
}

void ViewDataInControls::SwitchToFormatted() {
  const WizardState& wizard = host_.session().wizard;
  if (wizard.formattedMode || wizard.rangeRun || holding_) return;
  const std::string question = std::string(kMsgSwitchingToFormatted) + "\n" + std::string(kQuestionStartProcess);
  if (!AskHolding(question)) {
    ReplayHeld();
    return;
  }
  ReleaseResults();
  host_.RestartAsFormatted();
}

// Leaving the page: the views let go of the store before it is emptied.
// After a range run only the files should go, but the store frees folders
// and files together, so both go.
void ViewDataInControls::ReleaseResults() {
  WaitForWorkers();
  Reset();
  SetListView(MenuItem::Details);
  Session& session = host_.session();
  session.store.ClearStore();
  if (!session.wizard.rangeRun) session.runFlags.logLoaded = false;
}

}  // namespace korv
