#include "ui/qt/pages/results_page.h"

#include <QAbstractItemView>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QSplitter>
#include <QTreeView>
#include <QVBoxLayout>
#include <string>

#include "app/session.h"
#include "engine/analysis_driver.h"
#include "engine/analysis_job.h"
#include "ui/qt/controls/hover_button.h"
#include "ui/qt/controls/page_banner.h"
#include "ui/qt/controls/page_toolbar.h"
#include "ui/qt/log/log_commands.h"
#include "ui/qt/pages/source_page.h"
#include "ui/qt/pictures.h"
#include "ui/qt/results/folder_tree_model.h"
#include "ui/qt/results/folder_tree_pane.h"
#include "ui/qt/results/item_list_model.h"
#include "ui/qt/results/preview_controller.h"
#include "ui/qt/results/preview_pane.h"
#include "ui/qt/results/results_list_area.h"
#include "ui/qt/results/results_renamer.h"
#include "ui/qt/results/results_status.h"
#include "ui/qt/results/results_ticks.h"
#include "ui/qt/results/row_actions.h"
#include "ui/qt/save/data_copy_path.h"
#include "ui/qt/save/data_saving_settings.h"
#include "ui/qt/search/advance_search_file.h"
#include "ui/qt/wizard_host.h"

namespace korv {

ViewDataInControls::ViewDataInControls(WizardHost& host, QWidget* parent)
    : QWidget(parent), host_(host), workers_(*this), listModel_(std::make_unique<ItemListModel>(host.session().store)) {
  BuildControls();
  MakeParts();
  ConnectParts();
}

ViewDataInControls::~ViewDataInControls() {
  workers_.TearDown();
  preview_->Cancel();
  WaitForWorkers();
  // The views go before the models they show; the tree's goes with its pane.
  delete listArea_;
  listArea_ = nullptr;
}

void ViewDataInControls::BuildControls() {
  FillPageBackground(this);

  toolbar_ = new PageToolbar(this);
  toolbar_->setObjectName(QStringLiteral("pageToolbar"));
  connect(toolbar_, &PageToolbar::clicked, this, &ViewDataInControls::ToolbarClicked);

  stepPicture_ = new QLabel(this);
  stepPicture_->setObjectName(QStringLiteral("stepPicture"));
  QWidget* views = MakeViews();

  auto* hint = new QLabel(DisplayQString(kResultsHint), this);
  hint->setObjectName(QStringLiteral("hintLine"));
  hint->setWordWrap(true);
  status_ = std::make_unique<ResultsStatus>(this);

  auto* body = new QVBoxLayout;
  body->setContentsMargins(kPageSideMargin, 0, kPageSideMargin, 0);
  body->addWidget(views, 1);
  body->addWidget(hint);
  body->addLayout(status_->row());
  body->addWidget(MakeButtonRow());

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 12);
  AddPageTop(*layout, this, toolbar_, stepPicture_);
  layout->addLayout(body, 1);
  status_->Hide();
}

// The tree beside the list over the preview.
QWidget* ViewDataInControls::MakeViews() {
  folderTree_ = new QTreeView(this);
  folderTree_->setObjectName(QStringLiteral("folderTree"));

  previewPane_ = new PreviewPane(this);
  previewPane_->setObjectName(QStringLiteral("previewPane"));

  auto* right = new QSplitter(Qt::Vertical, this);
  listArea_ = new ResultsListArea(*listModel_, this);
  right->addWidget(listArea_);
  right->addWidget(previewPane_);
  right->setStretchFactor(0, 3);
  right->setStretchFactor(1, 2);
  auto* split = new QSplitter(Qt::Horizontal, this);
  split->addWidget(folderTree_);
  split->addWidget(right);
  split->setStretchFactor(0, 1);
  split->setStretchFactor(1, 3);
  return split;
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

void ViewDataInControls::MakeParts() {
  Session& session = host_.session();
  tree_ = std::make_unique<FolderTreePane>(session, folderTree_, *listArea_, *listModel_, workers_, *status_);
  ticks_ = std::make_unique<ResultsTicks>(session.store, *tree_, *listModel_, workers_, *status_);
  renamer_ =
      std::make_unique<ResultsRenamer>(session.store, *tree_, *listArea_, *listModel_, [this] { return busy(); });
  preview_ = std::make_unique<PreviewController>(
      host_, *previewPane_, workers_, [this](bool enabled) { SetInputEnabled(enabled); },
      [this] { listArea_->activeList()->setFocus(Qt::OtherFocusReason); }, this);
  rowActions_ = std::make_unique<RowActions>(session.store, *tree_, *preview_, [this] { return busy(); });
  rowActions_->ConnectListArea(*listArea_, *listModel_);
  logSaver_ = std::make_unique<LogSaver>(host_);
  connect(logSaver_.get(), &LogSaver::finished, this, [this] { SetInputEnabled(true); });
}

void ViewDataInControls::ConnectParts() {
  connect(previewPane_, &PreviewPane::stopRequested, this, [this] { preview_->AskStop(); });
  // A list filled afresh shows another folder: the last preview was of a
  // row no longer there.
  connect(listModel_.get(), &QAbstractItemModel::modelReset, this, [this] { previewPane_->ShowIdle(); });
  connect(tree_.get(), &FolderTreePane::built, this, &ViewDataInControls::TreeShown);
  folderTree_->installEventFilter(this);
  for (QAbstractItemView* list : listArea_->lists()) list->installEventFilter(this);
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
    case ToolbarButton::SaveLog:
      SaveLog();
      return;
    case ToolbarButton::Search:
      SearchData();
      return;
    case ToolbarButton::LoadLog:
      return;
  }
}

// The views also pass through here while they are deleted, so the list
// area is asked for its views only on F2.
bool ViewDataInControls::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() != QEvent::KeyPress || static_cast<QKeyEvent*>(event)->key() != Qt::Key_F2) {
    return QWidget::eventFilter(watched, event);
  }
  const auto lists = listArea_->lists();
  if (watched != folderTree_ && watched != lists[0] && watched != lists[1]) return QWidget::eventFilter(watched, event);
  RenameData();
  return true;
}

void ViewDataInControls::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape) {
    QWidget::keyPressEvent(event);
    return;
  }
  host_.AskExit();
}

bool ViewDataInControls::busy() const {
  return tree_->storeBusy() || preview_->previewing() || logSaver_->saving();
}

std::optional<TreeNodeIndex> ViewDataInControls::currentNode() const { return tree_->currentNode(); }

MenuItem ViewDataInControls::listView() const { return listArea_->listView(); }

FileOpener& ViewDataInControls::fileOpener() { return preview_->opener(); }

void ViewDataInControls::SaveLog() {
  if (busy() || logSaver_->saving()) return;
  SetInputEnabled(false);
  logSaver_->Save(false);
  if (!logSaver_->saving()) SetInputEnabled(true);
}

void ViewDataInControls::WaitForWorkers() {
  logSaver_->Wait();
  workers_.WaitAll();
  tree_->EndWork();
  preview_->EndWork();
}

void ViewDataInControls::SetInputEnabled(bool enabled) {
  listArea_->SetListsEnabled(enabled);
  backButton_->setEnabled(enabled);
  saveButton_->setEnabled(enabled);
  emit inputEnabledChanged(enabled);
}

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
  tree_->Open();
}

void ViewDataInControls::Reset() {
  listArea_->ForgetPendingPreview();
  listModel_->Clear();
  tree_->Clear();
  preview_->Reset();
  SetInputEnabled(true);
  status_->Hide();
}

void ViewDataInControls::TreeShown() {
  const WizardState& wizard = host_.session().wizard;
  if (!wizard.formattedMode && !wizard.rangeRun) host_.ShowMessage(kMsgTryFormatted);
}

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

void ViewDataInControls::SetListView(MenuItem view) {
  listArea_->SetListView(view);
  emit listViewChanged(static_cast<int>(listArea_->listView()));
}

void ViewDataInControls::RenameData() { renamer_->RenameData(); }

void ViewDataInControls::RecoverSelected() {
  if (busy()) return;
  {
    DataCopyPath dialog(host_.session(), this);
    dialog.exec();
  }
  tree_->model().RefreshChecks();
  listModel_->RefreshAll();
}

void ViewDataInControls::SearchData() {
  if (busy()) return;
  {
    AdvanceSearchFile dialog(host_, *tree_, *ticks_, this);
    dialog.exec();
  }
  tree_->model().RefreshChecks();
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

bool ViewDataInControls::AskHolding(std::string_view question) {
  return workers_.AskHolding([this, question] { return host_.AskQuestion(question); });
}

void ViewDataInControls::GoBack() {
  if (workers_.holding()) return;
  if (!AskHolding(kQuestionGoBack)) {
    workers_.ReplayHeld();
    return;
  }
  ReleaseResults();
  host_.CloseResultsPage();
}

void ViewDataInControls::SwitchToFormatted() {
  const WizardState& wizard = host_.session().wizard;
  // A file being extracted to open reads the store the restart empties.
  if (wizard.formattedMode || wizard.rangeRun || workers_.holding() || busy()) return;
  const std::string question = std::string(kMsgSwitchingToFormatted) + "\n" + std::string(kQuestionStartProcess);
  if (!AskHolding(question)) {
    workers_.ReplayHeld();
    return;
  }
  ReleaseResults();
  host_.RestartAsFormatted();
}

}  // namespace korv
