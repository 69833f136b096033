#include "ui/qt/pages/wizard_window.h"

#include <unistd.h>

#include <QActionGroup>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QMenuBar>
#include <QScreen>
#include <QShortcut>
#include <QStackedWidget>
#include <QTimer>

#include "ui/qt/controls/embedded_art.h"
#include "ui/qt/controls/splash_screen.h"
#include "ui/qt/controls/wizard_palette.h"
#include "ui/qt/desktop_handlers.h"
#include "ui/qt/dialogs/about_box.h"
#include "ui/qt/dialogs/help_viewer.h"
#include "ui/qt/dialogs/message_dialogs.h"
#include "ui/qt/dialogs/vpath_dialog.h"
#include "ui/qt/pages/analysis_page.h"
#include "ui/qt/pages/extension_page.h"
#include "ui/qt/pages/imaging_page.h"
#include "ui/qt/pages/mode_page.h"
#include "ui/qt/pages/results_page.h"
#include "ui/qt/pages/source_page.h"
#include "ui/qt/pages/volume_list_page.h"
#include "ui/qt/pictures.h"
#include "ui/qt/results/file_opener.h"

namespace korv {

namespace {

// The menu as it reads, with nullopt for a separator.
struct MenuEntry {
  bool separator = false;
  MenuItem item = MenuItem::Exit;
};
constexpr MenuEntry kSeparator{true};

constexpr MenuEntry kDataMenu[] = {
    {false, MenuItem::FormattedDataRecovery},
    {false, MenuItem::RecoverSelected},
    {false, MenuItem::RecoveryFilter},
    kSeparator,
    {false, MenuItem::SaveLog},
    {false, MenuItem::LoadLog},
    kSeparator,
    {false, MenuItem::SearchData},
    {false, MenuItem::RenameData},
    {false, MenuItem::CreateDiskImage},
    kSeparator,
    {false, MenuItem::Exit},
};
constexpr MenuEntry kViewMenu[] = {
    {false, MenuItem::LargeIcons}, {false, MenuItem::Details}, {false, MenuItem::SmallIcons}};
constexpr MenuEntry kHelpMenu[] = {{false, MenuItem::ViewHelp}, {false, MenuItem::About}};

}  // namespace

WizardWindow::WizardWindow(Options options) : session_(prompts_, options.session), options_(std::move(options)) {
  // Before any page is made: a dark desktop theme would otherwise give the
  // pages light text on the white surface the pictures are drawn for.
  ApplyWizardPalette();
  prompts_.SetDialogParent(this);
  if (!options_.exitProcess) {
    options_.exitProcess = [] {
      RemovePrivateFolders();
      _exit(0);
    };
  }
  if (!options_.openUrl) options_.openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  if (!options_.defaultHandler) options_.defaultHandler = [](const QString& type) { return QueryDefaultHandler(type); };

  setWindowIcon(ApplicationIcon());
  stack_ = new QStackedWidget(this);
  setCentralWidget(stack_);

  modePage_ = new CRecoveryMode(stack_);
  sourcePage_ = new DeletedFilesRecovery(*this, stack_);
  analysisPage_ = new RecoveryAnalysis(*this, stack_);
  resultsPage_ = new ViewDataInControls(*this, stack_);
  extensionPage_ = new ExtensionWiseRecovery(*this, stack_);
  volumePage_ = new ExhaustiveDisplayPartitionInformation(*this, stack_);
  imagingPage_ = new CreateDiskImage(*this, stack_);
  pages_ = {{WizardPage::Mode, modePage_},
            {WizardPage::Source, sourcePage_},
            {WizardPage::Analysis, analysisPage_},
            {WizardPage::Results, resultsPage_},
            {WizardPage::ExtensionChoice, extensionPage_},
            {WizardPage::PartitionResults, volumePage_},
            {WizardPage::Imaging, imagingPage_}};
  for (const auto& [page, widget] : pages_) stack_->addWidget(widget);
  AddExitShortcut(modePage_);
  AddExitShortcut(sourcePage_);
  AddExitShortcut(resultsPage_);
  AddExitShortcut(extensionPage_);
  AddExitShortcut(volumePage_);
  AddExitShortcut(imagingPage_);

  connect(modePage_, &CRecoveryMode::modeChosen, this,
          [this](int mode) { OnModeChosen(static_cast<RecoveryMode>(mode)); });
  connect(modePage_, &CRecoveryMode::helpRequested, this, [this] { ShowHelp(); });

  fileSelection_ = std::make_unique<VPath>(session_, this);
  if (!options_.preselectedPath.isEmpty()) fileSelection_->ChoosePath(options_.preselectedPath);

  BuildMenu();
  PlaceOnScreen();
  ShowPage(WizardPage::Mode);
}

WizardWindow::~WizardWindow() {
  // The pages are children of the window and would outlive the session
  // member; their workers must end while the session still exists.
  delete analysisPage_;
  delete extensionPage_;
  delete resultsPage_;
}

void WizardWindow::AddExitShortcut(QWidget* page) {
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), page);
  escape->setContext(Qt::WidgetWithChildrenShortcut);
  connect(escape, &QShortcut::activated, this, [this] { AskExit(); });
}

void WizardWindow::BuildMenu() {
  const auto addMenu = [this](std::string_view title, auto& entries) {
    QMenu* menu = menuBar()->addMenu(ToQString(title));
    for (const MenuEntry& entry : entries) {
      if (entry.separator) {
        menu->addSeparator();
        continue;
      }
      menuActions_[entry.item] = menu->addAction(ToQString(MenuItemText(entry.item)));
    }
  };
  addMenu(kMenuData, kDataMenu);
  addMenu(kMenuView, kViewMenu);
  addMenu(kMenuHelp, kHelpMenu);

  auto* views = new QActionGroup(this);
  for (MenuItem item : {MenuItem::LargeIcons, MenuItem::Details, MenuItem::SmallIcons}) {
    menuActions_[item]->setCheckable(true);
    views->addAction(menuActions_[item]);
  }
  menuActions_[MenuItem::Details]->setChecked(true);

  connect(menuActions_[MenuItem::Exit], &QAction::triggered, this, [this] { AskExit(); });
  connect(menuActions_[MenuItem::ViewHelp], &QAction::triggered, this, [this] { ShowHelp(); });
  connect(menuActions_[MenuItem::About], &QAction::triggered, this, [this] { ShowAbout(); });
  // The mode page keeps its imaging button hidden; the menu chooses the mode.
  connect(menuActions_[MenuItem::CreateDiskImage], &QAction::triggered, this, [this] {
    if (currentPage() == WizardPage::Mode) OnModeChosen(RecoveryMode::CreateDiskImage);
  });
  ConnectResultsCommands();
}

// The Data and View commands act on the results page; elsewhere they are
// greyed.
void WizardWindow::ConnectResultsCommands() {
  const auto onResults = [this](MenuItem item, auto command) {
    connect(menuActions_[item], &QAction::triggered, this, [this, command] {
      if (currentPage() == WizardPage::Results) command(*resultsPage_);
    });
  };
  onResults(MenuItem::FormattedDataRecovery, [](ViewDataInControls& page) { page.SwitchToFormatted(); });
  onResults(MenuItem::RecoverSelected, [](ViewDataInControls& page) { page.RecoverSelected(); });
  onResults(MenuItem::RecoveryFilter, [](ViewDataInControls& page) { page.OpenRecoveryFilter(); });
  onResults(MenuItem::RenameData, [](ViewDataInControls& page) { page.RenameData(); });
  onResults(MenuItem::SearchData, [](ViewDataInControls& page) { page.SearchData(); });
  // The log's commands belong to the pages that offer them.
  connect(menuActions_[MenuItem::SaveLog], &QAction::triggered, this, [this] {
    if (currentPage() == WizardPage::Results) resultsPage_->SaveLog();
    if (currentPage() == WizardPage::PartitionResults) volumePage_->SaveLog();
  });
  connect(menuActions_[MenuItem::LoadLog], &QAction::triggered, this, [this] {
    if (currentPage() == WizardPage::Source) sourcePage_->LoadLog();
  });
  for (MenuItem view : {MenuItem::LargeIcons, MenuItem::Details, MenuItem::SmallIcons}) {
    onResults(view, [view](ViewDataInControls& page) { page.SetListView(view); });
  }
  // The check marks follow the list, also when the page resets its view.
  connect(resultsPage_, &ViewDataInControls::listViewChanged, this, [this](int view) {
    if (QAction* action = menuAction(static_cast<MenuItem>(view))) action->setChecked(true);
  });
  connect(resultsPage_, &ViewDataInControls::inputEnabledChanged, this, [this] { RefreshMenu(); });
}

void WizardWindow::PlaceOnScreen() {
  const QScreen* screen = this->screen();
  if (screen == nullptr) return;
  const QRect desktop = screen->availableGeometry();
  const WindowRect place = MainWindowRect({desktop.x(), desktop.y(), desktop.width(), desktop.height()});
  setGeometry(place.x, place.y, place.width, place.height);
}

QAction* WizardWindow::menuAction(MenuItem item) const {
  const auto found = menuActions_.find(item);
  return found == menuActions_.end() ? nullptr : found->second;
}

void WizardWindow::RefreshMenu() {
  for (const auto& [item, action] : menuActions_) {
    action->setEnabled(MenuItemEnabled(item, currentPage(), session_.wizard, BuiltCapabilities()));
  }
  // The restart would empty the store a file is being extracted from; the
  // item comes back when the extraction ends, however it ended.
  if (currentPage() == WizardPage::Results && resultsPage_->busy()) {
    menuActions_[MenuItem::FormattedDataRecovery]->setEnabled(false);
  }
}

void WizardWindow::ShowPage(WizardPage page) {
  stack_->setCurrentWidget(pages_.at(page));
  setWindowTitle(ToQString(WindowTitle(page, session_.wizard.mode)));
  RefreshMenu();
}

void WizardWindow::PushPage(WizardPage page) {
  chain_.push_back(page);
  ShowPage(page);
}

void WizardWindow::PopPage() {
  if (chain_.size() > 1) chain_.pop_back();
  ShowPage(chain_.back());
}

void WizardWindow::Launch() {
  show();
  if (!options_.showSplash) {
    QTimer::singleShot(0, this, [this] { OfferFileSelection(); });
    return;
  }
  splash_ = new CSplashScreenEx(this, QString(), kSplashDisplayMs);
  splash_->SetBitmap(StartupBitmap(), QColor(kSplashTransparentRed, kSplashTransparentGreen, kSplashTransparentBlue));
  splash_->Show();
  QTimer::singleShot(kSplashShownMs, this, [this] {
    splash_->Hide();
    QTimer::singleShot(0, this, [this] { OfferFileSelection(); });
  });
}

void WizardWindow::OfferFileSelection() {
  if (fileSelectionShown_ || currentPage() != WizardPage::Mode) return;
  fileSelectionShown_ = true;
  if (fileSelection_->exec() != QDialog::Accepted) AskExit();
}

void WizardWindow::OnModeChosen(RecoveryMode mode) {
  ChooseMode(session_.wizard, mode);
  PushPage(WizardPage::Source);
  sourcePage_->Open();
}

void WizardWindow::CloseSourcePage() {
  const RecoveryMode finished = session_.wizard.mode;
  PopPage();
  if (!ReofferFileSelectionAfter(finished)) return;
  fileSelectionShown_ = false;
  QTimer::singleShot(0, this, [this] { OfferFileSelection(); });
}

void WizardWindow::OpenAnalysisPage() {
  PushPage(WizardPage::Analysis);
  analysisPage_->Start();
}

void WizardWindow::OpenExtensionPage() {
  PushPage(WizardPage::ExtensionChoice);
  extensionPage_->Open();
}

void WizardWindow::CloseExtensionPage() {
  PopPage();
  sourcePage_->Returned();
}

void WizardWindow::OpenImagingPage() {
  PushPage(WizardPage::Imaging);
  imagingPage_->Open();
}

void WizardWindow::CloseImagingPage() {
  PopPage();
  sourcePage_->Returned();
}

void WizardWindow::OpenImagingRun(std::function<AnalysisOutcome(Session&, AnalysisProgress&)> run) {
  PushPage(WizardPage::Analysis);
  analysisPage_->Start(std::move(run));
}

void WizardWindow::OpenVolumeScan() {
  PushPage(WizardPage::Analysis);
  analysisPage_->Start(
      [](Session& session, AnalysisProgress& progress) { return session.ScanRangeForVolumes(progress); });
}

void WizardWindow::OpenLogReplay() {
  PushPage(WizardPage::Analysis);
  analysisPage_->Start([](Session& session, AnalysisProgress& progress) { return session.ReplayLog(progress); });
}

void WizardWindow::OpenVolumeCopy(std::int64_t number) {
  PushPage(WizardPage::Analysis);
  analysisPage_->Start(
      [number](Session& session, AnalysisProgress& progress) { return session.CopyFoundVolume(number, progress); });
}

void WizardWindow::CloseVolumeList() {
  PopPage();
  NotifyReturned();
}

void WizardWindow::AnalysisEnded(AnalysisOutcome outcome) {
  // The analysis page gives way to what its run found; when that closes,
  // the chain returns to the page that started the run.
  PopPage();
  if (outcome == AnalysisOutcome::DeletedRunEnded || outcome == AnalysisOutcome::ResultsReady) {
    PushPage(WizardPage::Results);
    resultsPage_->Open();
    return;
  }
  if (outcome == AnalysisOutcome::CloseForVolumeList) {
    PushPage(WizardPage::PartitionResults);
    volumePage_->Open();
    return;
  }
  NotifyReturned();
}

void WizardWindow::CloseResultsPage() {
  PopPage();
  NotifyReturned();
}

void WizardWindow::NotifyReturned() {
  // The imaging page stays as the user left it, ready for another copy.
  if (currentPage() == WizardPage::Imaging) return;
  if (currentPage() == WizardPage::PartitionResults) {
    volumePage_->Returned();
    return;
  }
  sourcePage_->Returned();
  // A loaded log's chain gives the source page back its own mode.
  ShowPage(currentPage());
}

void WizardWindow::RestartAsFormatted() {
  PopPage();
  session_.wizard.formattedMode = true;
  OpenAnalysisPage();
}

void WizardWindow::ShowMessage(std::string_view message) { ShowMessageBox(this, message); }

bool WizardWindow::AskQuestion(std::string_view question) { return AskQuestionBox(this, question); }

void WizardWindow::AskExit() {
  if (AskQuestion(kQuestionExit)) options_.exitProcess();
}

HelpViewer* WizardWindow::helpViewer() const { return helpViewer_.data(); }

// openUrl answers true as soon as xdg-open starts, so the handler is asked
// first; with none the page shows in the program's own viewer.
void WizardWindow::ShowHelp() {
  const QUrl page = HelpPageUrl();
  if (!options_.defaultHandler(QStringLiteral("text/html")).isEmpty() && options_.openUrl(page)) return;
  if (helpViewer_ == nullptr) helpViewer_ = new HelpViewer(this, page);
  helpViewer_->show();
  helpViewer_->raise();
  helpViewer_->activateWindow();
}

// The About box's help link takes the same way as "View Help", once the
// box is closed (a viewer opened under it could not be used).
void WizardWindow::ShowAbout() {
  bool helpAsked = false;
  AboutBox about(this, [&helpAsked] { helpAsked = true; });
  about.exec();
  if (helpAsked) ShowHelp();
}

void WizardWindow::closeEvent(QCloseEvent* event) {
  event->ignore();
  AskExit();
}

}  // namespace korv
