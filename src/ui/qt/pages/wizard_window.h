// The one window of the wizard. It hosts the pages in a stack that mirrors
// the chain of pages: opening the next page pushes it, closing a page pops
// it, and the page that started a chain shows again when the chain
// returns. It owns the session, the main menu, the exit question, the
// start-up splash and the virtual file selection offered on first show.
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "app/session.h"
#include "ui/logic/wizard_flow.h"
#include "ui/qt/qt_prompts.h"
#include "ui/qt/wizard_host.h"

class QAction;
class QStackedWidget;

namespace korv {

class CRecoveryMode;
class CSplashScreenEx;
class HelpViewer;
class CreateDiskImage;
class DeletedFilesRecovery;
class ExtensionWiseRecovery;
class ExhaustiveDisplayPartitionInformation;
class RecoveryAnalysis;
class ViewDataInControls;
class VPath;

class WizardWindow : public QMainWindow, public WizardHost {
  Q_OBJECT
 public:
  struct Options {
    SessionOptions session;
    // `korvane IMAGE`: the file already chosen in the file selection.
    QString preselectedPath;
    bool showSplash = true;
    // How Yes to the exit question ends the process; tests record it.
    std::function<void()> exitProcess;
    // How help pages are opened; tests record them.
    std::function<bool(const QUrl&)> openUrl;
    // The desktop's default handler of a MIME type (xdg-mime); with none
    // for web pages, help shows in the program's own viewer.
    std::function<QString(const QString& mimeType)> defaultHandler;
  };

  explicit WizardWindow(Options options);
  ~WizardWindow() override;

  // Shows the window, the splash for 1.5 s, then the file selection.
  void Launch();

  // WizardHost
  Session& session() override { return session_; }
  QWidget* dialogParent() override { return this; }
  void ShowMessage(std::string_view message) override;
  bool AskQuestion(std::string_view question) override;
  void AskExit() override;
  void ShowHelp() override;
  void ShowAbout() override;
  void CloseSourcePage() override;
  void OpenAnalysisPage() override;
  void OpenExtensionPage() override;
  void CloseExtensionPage() override;
  void OpenImagingPage() override;
  void CloseImagingPage() override;
  void OpenImagingRun(std::function<AnalysisOutcome(Session&, AnalysisProgress&)> run) override;
  void OpenVolumeScan() override;
  void OpenLogReplay() override;
  void OpenVolumeCopy(std::int64_t number) override;
  void CloseVolumeList() override;
  void AnalysisEnded(AnalysisOutcome outcome) override;
  void CloseResultsPage() override;
  void RestartAsFormatted() override;

  WizardPage currentPage() const { return chain_.back(); }
  QAction* menuAction(MenuItem item) const;
  CRecoveryMode* modePage() const { return modePage_; }
  DeletedFilesRecovery* sourcePage() const { return sourcePage_; }
  RecoveryAnalysis* analysisPage() const { return analysisPage_; }
  ExtensionWiseRecovery* extensionPage() const { return extensionPage_; }
  ViewDataInControls* resultsPage() const { return resultsPage_; }
  ExhaustiveDisplayPartitionInformation* volumePage() const { return volumePage_; }
  CreateDiskImage* imagingPage() const { return imagingPage_; }
  CSplashScreenEx* splash() const { return splash_; }
  // The built-in help window while it is open.
  HelpViewer* helpViewer() const;
  VPath* fileSelection() const { return fileSelection_.get(); }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildMenu();
  void ConnectResultsCommands();
  void PlaceOnScreen();
  void ShowPage(WizardPage page);
  void PushPage(WizardPage page);
  void PopPage();
  void RefreshMenu();
  void OnModeChosen(RecoveryMode mode);
  void OfferFileSelection();
  void AddExitShortcut(QWidget* page);
  // The page the chain returned to is told so.
  void NotifyReturned();

  QtPrompts prompts_;
  Session session_;
  Options options_;
  QStackedWidget* stack_ = nullptr;
  CRecoveryMode* modePage_ = nullptr;
  DeletedFilesRecovery* sourcePage_ = nullptr;
  RecoveryAnalysis* analysisPage_ = nullptr;
  ExtensionWiseRecovery* extensionPage_ = nullptr;
  ViewDataInControls* resultsPage_ = nullptr;
  ExhaustiveDisplayPartitionInformation* volumePage_ = nullptr;
  CreateDiskImage* imagingPage_ = nullptr;
  CSplashScreenEx* splash_ = nullptr;
  std::unique_ptr<VPath> fileSelection_;
  std::map<MenuItem, QAction*> menuActions_;
  std::map<WizardPage, QWidget*> pages_;
  std::vector<WizardPage> chain_{WizardPage::Mode};
  // The built-in help window while it is open.
  QPointer<HelpViewer> helpViewer_;
  // The file selection is offered once per arming: at start and after the
  // source page of Deleted Data Recovery returns.
  bool fileSelectionShown_ = false;
};

}  // namespace korv
