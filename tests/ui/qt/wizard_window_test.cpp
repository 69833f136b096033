// The wizard as a user meets it: start, the file selection, the mode and
// source pages, a whole analysis, the menu and the exit question.
#include "ui/qt/pages/wizard_window.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTextBrowser>
#include <QTreeWidget>

#include "qt_test_support.h"
#include "support/test_support.h"
#include "ui/qt/controls/hover_button.h"
#include "ui/qt/controls/splash_screen.h"
#include "ui/qt/dialogs/help_viewer.h"
#include "ui/qt/dialogs/vpath_dialog.h"
#include "ui/qt/log/log_commands.h"
#include "ui/qt/pages/extension_page.h"
#include "ui/qt/pages/imaging_page.h"
#include "ui/qt/pages/mode_page.h"
#include "ui/qt/pages/results_page.h"
#include "ui/qt/pages/source_page.h"
#include "ui/qt/results/file_opener.h"

namespace korv {
namespace {

using test::ClickNamed;
using test::DialogText;
using test::WaitUntil;
using test::WhenDialogOpens;

const QString kSampleDisk = QStringLiteral(KORV_SOURCE_DIR "/samples/sample.vhd");

struct WizardHarness {
  test::TempDir dir;
  int exits = 0;
  std::vector<QUrl> opened;
  std::vector<QString> typesAsked;
  QString htmlHandler = QStringLiteral("browser.desktop");

  WizardWindow::Options Options(QString preselected = {}) {
    WizardWindow::Options options;
    options.session = SessionOptions{dir.path() / "inventory.json", false};
    options.preselectedPath = std::move(preselected);
    options.showSplash = false;
    options.exitProcess = [this] { ++exits; };
    options.openUrl = [this](const QUrl& url) {
      opened.push_back(url);
      return true;
    };
    options.defaultHandler = [this](const QString& type) {
      typesAsked.push_back(type);
      return htmlHandler;
    };
    return options;
  }
};

// Accepts the file selection (with the sample disk preselected), then waits
// for the mode page.
void AcceptFileSelection(WizardWindow& window) {
  bool answered = false;
  WhenDialogOpens([](QWidget* dialog) { ClickNamed(dialog, "okButton"); }, &answered);
  window.Launch();
  ASSERT_TRUE(WaitUntil([&] { return answered && QApplication::activeModalWidget() == nullptr; }));
}

void ClickMode(WizardWindow& window, RecoveryMode mode) {
  QTest::mouseClick(window.modePage()->modeButton(mode), Qt::LeftButton);
}

QTreeWidgetItem* FindTreeItem(QTreeWidget* tree, const QString& text) {
  const auto found = tree->findItems(text, Qt::MatchExactly | Qt::MatchRecursive);
  return found.isEmpty() ? nullptr : found.first();
}

// Waits for the sample disk's FAT32 partition in the source tree and clicks
// it, as the user picks it.
void ClickSamplePartition(QTreeWidget* tree) {
  ASSERT_TRUE(WaitUntil([&] { return FindTreeItem(tree, QStringLiteral("Partition - 2 ( FAT32 )")) != nullptr; }));
  QTreeWidgetItem* partition = FindTreeItem(tree, QStringLiteral("Partition - 2 ( FAT32 )"));
  tree->scrollToItem(partition);
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(partition).center());
}

TEST(WizardWindowTest, CancellingTheFileSelectionAsksToExitAndNoKeepsTheModePage) {
  WizardHarness harness;
  WizardWindow window(harness.Options());
  std::string question;
  bool cancelled = false;
  WhenDialogOpens(
      [&](QWidget* selection) {
        WhenDialogOpens([&](QWidget* ask) {
          question = DialogText(ask);
          ClickNamed(ask, "noButton");
        });
        ClickNamed(selection, "cancelButton");
      },
      &cancelled);
  window.Launch();
  ASSERT_TRUE(WaitUntil([&] { return !question.empty() && QApplication::activeModalWidget() == nullptr; }));
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(question, "Do you want to exit from Korvane.");
  EXPECT_EQ(harness.exits, 0);
  EXPECT_EQ(window.currentPage(), WizardPage::Mode);
  EXPECT_EQ(window.windowTitle(), "Korvane Vireon");
  EXPECT_EQ(window.session().source.virtualDisk, nullptr);
}

TEST(WizardWindowTest, ExitQuestionYesEndsTheProcessFromMenuAndCloseBox) {
  WizardHarness harness;
  WizardWindow window(harness.Options(kSampleDisk));
  AcceptFileSelection(window);
  WhenDialogOpens([](QWidget* ask) { ClickNamed(ask, "yesButton"); });
  window.menuAction(MenuItem::Exit)->trigger();
  EXPECT_EQ(harness.exits, 1);

  WhenDialogOpens([](QWidget* ask) { ClickNamed(ask, "noButton"); });
  window.close();
  EXPECT_EQ(harness.exits, 1);
  EXPECT_TRUE(window.isVisible()) << "No keeps the program running";

  // The close box of a question counts as No.
  WhenDialogOpens([](QWidget* ask) { ask->close(); });
  window.menuAction(MenuItem::Exit)->trigger();
  EXPECT_EQ(harness.exits, 1);
}

TEST(WizardWindowTest, ModeButtonsOpenTheSourcePageWithTheirStateAndTitle) {
  WizardHarness harness;
  WizardWindow window(harness.Options(kSampleDisk));
  AcceptFileSelection(window);
  ASSERT_NE(window.session().source.virtualDisk, nullptr);

  EXPECT_FALSE(window.modePage()->modeButton(RecoveryMode::CreateDiskImage)->isVisible());
  EXPECT_TRUE(window.modePage()->modeButton(RecoveryMode::PartitionData)->isEnabled());
  EXPECT_TRUE(window.modePage()->modeButton(RecoveryMode::RawData)->isEnabled());

  ClickMode(window, RecoveryMode::FormattedData);
  EXPECT_EQ(window.currentPage(), WizardPage::Source);
  EXPECT_EQ(window.windowTitle(), "Korvane Vireon - Formatted Data Recovery");
  EXPECT_EQ(window.session().wizard.mode, RecoveryMode::FormattedData);
  EXPECT_TRUE(window.session().wizard.formattedMode);
  EXPECT_EQ(window.session().wizard.activePage, ActivePage::Source);

  // Back from Formatted Data Recovery: the file selection is not offered again.
  QTest::mouseClick(window.sourcePage()->findChild<QAbstractButton*>(QStringLiteral("backButton")), Qt::LeftButton);
  EXPECT_EQ(window.currentPage(), WizardPage::Mode);
  EXPECT_EQ(window.windowTitle(), "Korvane Vireon");
  QTest::qWait(100);
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

  ClickMode(window, RecoveryMode::DeletedData);
  EXPECT_EQ(window.windowTitle(), "Korvane Vireon - Deleted Data Recovery");
  EXPECT_FALSE(window.session().wizard.formattedMode);

  // Back from Deleted Data Recovery offers the file selection again.
  bool offered = false;
  WhenDialogOpens([](QWidget* selection) { ClickNamed(selection, "okButton"); }, &offered);
  QTest::mouseClick(window.sourcePage()->findChild<QAbstractButton*>(QStringLiteral("backButton")), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return offered && QApplication::activeModalWidget() == nullptr; }));
  EXPECT_EQ(window.currentPage(), WizardPage::Mode);
}

TEST(WizardWindowTest, MenuOffersOnlyWhatEachPageAndThisBuildCanDo) {
  WizardHarness harness;
  WizardWindow window(harness.Options(kSampleDisk));
  AcceptFileSelection(window);
  const auto enabled = [&](MenuItem item) { return window.menuAction(item)->isEnabled(); };
  for (WizardPage page : {WizardPage::Mode, WizardPage::Source}) {
    if (page == WizardPage::Source) ClickMode(window, RecoveryMode::DeletedData);
    for (MenuItem item : kAllMenuItems) {
      const bool always = item == MenuItem::Exit || item == MenuItem::ViewHelp || item == MenuItem::About;
      const bool sourceLoadsLogs = page == WizardPage::Source && item == MenuItem::LoadLog;
      const bool modeOffersImaging = page == WizardPage::Mode && item == MenuItem::CreateDiskImage;
      EXPECT_EQ(enabled(item), always || sourceLoadsLogs || modeOffersImaging) << MenuItemText(item);
    }
  }
  EXPECT_TRUE(window.menuAction(MenuItem::Details)->isChecked());

  window.menuAction(MenuItem::ViewHelp)->trigger();
  ASSERT_EQ(harness.opened.size(), 1u);
  EXPECT_TRUE(harness.opened[0].isLocalFile());
  EXPECT_TRUE(harness.opened[0].toLocalFile().endsWith(QStringLiteral("help/index.html")));
}

// With no program for web pages, "View Help" shows the page in the
// program's own viewer (not modal: the wizard stays usable), once.
TEST(WizardWindowTest, HelpWithoutAHandlerShowsInTheProgramsOwnViewer) {
  test::TempDir pages;
  const std::filesystem::path help = pages.path() / "index.html";
  const std::string html = "<html><body><h1>Getting started</h1></body></html>";
  test::WriteFileBytes(help, std::vector<std::uint8_t>(html.begin(), html.end()));
  qputenv("KORVANE_HELP", QByteArray::fromStdString(help.string()));
  WizardHarness harness;
  harness.htmlHandler.clear();
  WizardWindow window(harness.Options());
  window.show();

  window.menuAction(MenuItem::ViewHelp)->trigger();
  qunsetenv("KORVANE_HELP");
  EXPECT_EQ(harness.typesAsked, std::vector<QString>{QStringLiteral("text/html")});
  EXPECT_TRUE(harness.opened.empty());
  HelpViewer* viewer = window.helpViewer();
  ASSERT_NE(viewer, nullptr);
  EXPECT_TRUE(viewer->isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  EXPECT_EQ(viewer->browser()->source(), QUrl::fromLocalFile(QString::fromStdString(help.string())));
  EXPECT_TRUE(viewer->browser()->toPlainText().contains(QStringLiteral("Getting started")));

  // Asked again while it is open: the same window comes to the front.
  window.menuAction(MenuItem::ViewHelp)->trigger();
  EXPECT_EQ(window.helpViewer(), viewer);
  EXPECT_EQ(window.findChildren<HelpViewer*>().size(), 1);

  // The About box's link: the box closes and the same viewer shows.
  viewer->hide();
  WhenDialogOpens([](QWidget* about) { ClickNamed(about, "helpLink"); });
  window.menuAction(MenuItem::About)->trigger();
  EXPECT_TRUE(viewer->isVisible());
  EXPECT_TRUE(harness.opened.empty());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST(WizardWindowTest, AnAnalysisLeadsToTheResultsPageAndItsCommands) {
  WizardHarness harness;
  WizardWindow window(harness.Options(kSampleDisk));
  AcceptFileSelection(window);
  ClickMode(window, RecoveryMode::DeletedData);

  auto* tree = window.sourcePage()->findChild<QTreeWidget*>(QStringLiteral("sourceTree"));
  ASSERT_NE(tree, nullptr);
  ClickSamplePartition(tree);
  EXPECT_EQ(window.session().range.fileSystem, FileSystemKind::Fat32);

  // After Deleted Data Recovery the results page points at the formatted scan.
  std::string hint;
  WhenDialogOpens([&](QWidget* message) {
    hint = DialogText(message);
    ClickNamed(message, "okButton");
  });
  QTest::mouseClick(window.sourcePage()->findChild<QAbstractButton*>(QStringLiteral("nextButton")), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return !hint.empty() && QApplication::activeModalWidget() == nullptr; }));
  EXPECT_EQ(hint,
            "If you are unable to find the deleted/lost file's & folder's in the directory tree.\n\n"
            "Please choose 'Formatted Data Recovery' under Data menu.");
  EXPECT_EQ(window.currentPage(), WizardPage::Results);
  EXPECT_EQ(window.session().wizard.activePage, ActivePage::Results);
  EXPECT_EQ(window.windowTitle(), "Korvane Vireon - Deleted Data Recovery");
  EXPECT_GT(window.session().store.fileCount(), 0);
  EXPECT_TRUE(window.menuAction(MenuItem::FormattedDataRecovery)->isEnabled());
  EXPECT_TRUE(window.menuAction(MenuItem::RecoverSelected)->isEnabled());
  EXPECT_FALSE(window.menuAction(MenuItem::LoadLog)->isEnabled());
  EXPECT_TRUE(window.menuAction(MenuItem::SaveLog)->isEnabled());

  // The switch to formatted recovery runs a new analysis of the same
  // partition and comes back to a results page that no longer offers it.
  bool confirmed = false;
  WhenDialogOpens([&](QWidget* ask) {
    confirmed = true;
    ClickNamed(ask, "yesButton");
  });
  window.menuAction(MenuItem::FormattedDataRecovery)->trigger();
  ASSERT_TRUE(confirmed);
  ASSERT_TRUE(WaitUntil([&] { return window.currentPage() == WizardPage::Results; }));
  EXPECT_TRUE(window.session().wizard.formattedMode);
  EXPECT_EQ(window.session().wizard.mode, RecoveryMode::DeletedData);
  EXPECT_FALSE(window.menuAction(MenuItem::FormattedDataRecovery)->isEnabled());

  // Back, confirmed, returns to the source page with the store emptied.
  WhenDialogOpens([](QWidget* ask) { ClickNamed(ask, "yesButton"); });
  QTest::mouseClick(window.resultsPage()->findChild<QAbstractButton*>(QStringLiteral("backButton")), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return window.currentPage() == WizardPage::Source; }));
  EXPECT_EQ(window.session().wizard.activePage, ActivePage::Source);
  EXPECT_EQ(window.session().store.fileCount(), 0);
}

// The View menu's marks follow the list whenever the results page sets it
// (its reset to Details on every opening too), and "&Formatted Data
// Recovery" is greyed while a file is extracted to be opened, back when the
// extraction ends.
TEST(WizardWindowTest, TheViewMarksAndTheFormattedItemFollowTheResultsPage) {
  WizardHarness harness;
  WizardWindow window(harness.Options(kSampleDisk));
  AcceptFileSelection(window);
  ClickMode(window, RecoveryMode::DeletedData);
  auto* tree = window.sourcePage()->findChild<QTreeWidget*>(QStringLiteral("sourceTree"));
  ClickSamplePartition(tree);
  WhenDialogOpens([](QWidget* message) { ClickNamed(message, "okButton"); });
  QTest::mouseClick(window.sourcePage()->findChild<QAbstractButton*>(QStringLiteral("nextButton")), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] {
    return window.currentPage() == WizardPage::Results && !window.resultsPage()->busy() &&
           QApplication::activeModalWidget() == nullptr;
  }));
  ViewDataInControls& page = *window.resultsPage();

  window.menuAction(MenuItem::LargeIcons)->trigger();
  EXPECT_EQ(page.listView(), MenuItem::LargeIcons);
  EXPECT_TRUE(window.menuAction(MenuItem::LargeIcons)->isChecked());

  // Opening a file: the item greys while it is extracted.
  QAction* formatted = window.menuAction(MenuItem::FormattedDataRecovery);
  ASSERT_TRUE(formatted->isEnabled());
  std::vector<bool> states;
  QObject::connect(formatted, &QAction::enabledChanged, [&](bool enabled) { states.push_back(enabled); });
  std::vector<QUrl> opened;
  page.fileOpener().defaultHandler = [](const QString&) { return QStringLiteral("viewer.desktop"); };
  page.fileOpener().openUrl = [&](const QUrl& url) {
    opened.push_back(url);
    return true;
  };
  auto* icons = page.findChild<QAbstractItemView*>(QStringLiteral("iconList"));
  int fileRow = -1;
  for (int row = 0; row < icons->model()->rowCount() && fileRow < 0; ++row) {
    if (icons->model()->index(row, 0).data().toString().contains(QLatin1Char('.'))) fileRow = row;
  }
  ASSERT_GE(fileRow, 0);
  const QModelIndex file = icons->model()->index(fileRow, 0);
  icons->setCurrentIndex(file);
  ASSERT_TRUE(WaitUntil([&] { return !page.busy(); }));
  states.clear();
  emit icons->doubleClicked(file);
  ASSERT_TRUE(WaitUntil([&] { return !opened.empty() && !page.busy(); }));
  ASSERT_FALSE(states.empty());
  EXPECT_FALSE(states.front());
  EXPECT_TRUE(states.back());
  EXPECT_TRUE(formatted->isEnabled());

  // The switch reopens the page, which shows Details again: so does the menu.
  WhenDialogOpens([](QWidget* ask) { ClickNamed(ask, "yesButton"); });
  formatted->trigger();
  ASSERT_TRUE(WaitUntil([&] { return window.currentPage() == WizardPage::Results && !page.busy(); }));
  EXPECT_EQ(page.listView(), MenuItem::Details);
  EXPECT_TRUE(window.menuAction(MenuItem::Details)->isChecked());
  EXPECT_FALSE(window.menuAction(MenuItem::LargeIcons)->isChecked());
}

// The recovery log in the whole wizard: "&Save Log" on the results page
// writes it on its worker, and "&Load Log" on the source page brings the
// same results back without analysing.
TEST(WizardWindowTest, ASavedLogLoadsBackToTheSameResults) {
  WizardHarness harness;
  WizardWindow window(harness.Options(kSampleDisk));
  AcceptFileSelection(window);
  ClickMode(window, RecoveryMode::DeletedData);
  auto* tree = window.sourcePage()->findChild<QTreeWidget*>(QStringLiteral("sourceTree"));
  ClickSamplePartition(tree);
  const auto showResults = [&](auto&& start) {
    bool hinted = false;
    WhenDialogOpens([&](QWidget* message) { ClickNamed(message, "okButton"); }, &hinted);
    start();
    ASSERT_TRUE(WaitUntil([&] { return hinted && QApplication::activeModalWidget() == nullptr; }));
    ASSERT_EQ(window.currentPage(), WizardPage::Results);
  };
  showResults([&] {
    QTest::mouseClick(window.sourcePage()->findChild<QAbstractButton*>(QStringLiteral("nextButton")), Qt::LeftButton);
  });
  const int folders = window.session().store.folderCount();
  const int files = window.session().store.fileCount();

  const std::filesystem::path chosen = harness.dir / "monday";
  window.resultsPage()->logSaver().choosePath = [&] { return LogPathChoice(QString::fromStdString(chosen.string())); };
  window.menuAction(MenuItem::SaveLog)->trigger();
  ASSERT_TRUE(WaitUntil([&] { return !window.resultsPage()->logSaver().saving(); }));
  EXPECT_TRUE(std::filesystem::exists(harness.dir / "monday.kvfr"));

  WhenDialogOpens([](QWidget* ask) { ClickNamed(ask, "yesButton"); });
  QTest::mouseClick(window.resultsPage()->findChild<QAbstractButton*>(QStringLiteral("backButton")), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return window.currentPage() == WizardPage::Source; }));
  ASSERT_EQ(window.session().store.fileCount(), 0);

  window.sourcePage()->chooseLogFile = [&] {
    return LogPathChoice(QString::fromStdString((harness.dir / "monday.kvfr").string()));
  };
  showResults([&] { window.menuAction(MenuItem::LoadLog)->trigger(); });
  EXPECT_TRUE(window.session().runFlags.logLoaded);
  EXPECT_EQ(window.session().store.folderCount(), folders);
  EXPECT_EQ(window.session().store.fileCount(), files);
  EXPECT_EQ(window.windowTitle(), "Korvane Vireon - Deleted Data Recovery");

  WhenDialogOpens([](QWidget* ask) { ClickNamed(ask, "yesButton"); });
  QTest::mouseClick(window.resultsPage()->findChild<QAbstractButton*>(QStringLiteral("backButton")), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return window.currentPage() == WizardPage::Source; }));
  EXPECT_FALSE(window.session().runFlags.logLoaded);
}

// Raw Data Recovery: the source page's Next opens the extension page over
// it, and the page's Back returns to the source page.
TEST(WizardWindowTest, RawRecoveryOpensTheExtensionPageFromTheSourcePage) {
  WizardHarness harness;
  WizardWindow window(harness.Options(kSampleDisk));
  AcceptFileSelection(window);
  ClickMode(window, RecoveryMode::RawData);
  ASSERT_EQ(window.currentPage(), WizardPage::Source);
  auto* ending = window.sourcePage()->findChild<QLineEdit*>(QStringLiteral("endingRange"));
  ASSERT_TRUE(WaitUntil([&] { return !ending->text().isEmpty(); }));

  QTest::mouseClick(window.sourcePage()->findChild<QAbstractButton*>(QStringLiteral("nextButton")), Qt::LeftButton);
  ASSERT_EQ(window.currentPage(), WizardPage::ExtensionChoice);
  EXPECT_EQ(window.windowTitle(), "Korvane Vireon - Raw Data Recovery");
  EXPECT_EQ(window.session().wizard.activePage, ActivePage::ExtensionChoice);
  EXPECT_TRUE(window.session().runFlags.rawRun);

  QTest::mouseClick(window.extensionPage()->findChild<QAbstractButton*>(QStringLiteral("backButton")), Qt::LeftButton);
  EXPECT_EQ(window.currentPage(), WizardPage::Source);
  EXPECT_EQ(window.session().wizard.activePage, ActivePage::Source);
  EXPECT_FALSE(window.session().runFlags.rawRun);
}

TEST(WizardWindowTest, SplashShowsForOneAndAHalfSecondsThenTheFileSelection) {
  WizardHarness harness;
  WizardWindow::Options options = harness.Options();
  options.showSplash = true;
  WizardWindow window(std::move(options));
  QElapsedTimer clock;
  qint64 selectionAt = -1;
  WhenDialogOpens([&](QWidget* selection) {
    selectionAt = clock.elapsed();
    WhenDialogOpens([](QWidget* ask) { ClickNamed(ask, "noButton"); });
    ClickNamed(selection, "cancelButton");
  });
  clock.start();
  window.Launch();
  ASSERT_NE(window.splash(), nullptr);
  EXPECT_TRUE(window.splash()->isVisible());
  ASSERT_TRUE(WaitUntil([&] { return selectionAt >= 0 && QApplication::activeModalWidget() == nullptr; }));
  EXPECT_FALSE(window.splash()->isVisible());
  EXPECT_GE(selectionAt, 1400);
}

// The Data menu's Create Disk Image: the source page in its range mode, the
// imaging page, the copy on the analysis page, and the page again.
TEST(WizardWindowTest, CreateDiskImageFromTheDataMenuCopiesThePartition) {
  WizardHarness harness;
  WizardWindow window(harness.Options(kSampleDisk));
  AcceptFileSelection(window);
  ASSERT_TRUE(window.menuAction(MenuItem::CreateDiskImage)->isEnabled());
  window.menuAction(MenuItem::CreateDiskImage)->trigger();
  ASSERT_EQ(window.currentPage(), WizardPage::Source);
  EXPECT_EQ(window.windowTitle(), "Korvane Vireon - Create Disk Image");

  auto* tree = window.sourcePage()->findChild<QTreeWidget*>(QStringLiteral("sourceTree"));
  ClickSamplePartition(tree);
  const SelectedRange range = window.session().range;
  QTest::mouseClick(window.sourcePage()->findChild<QAbstractButton*>(QStringLiteral("nextButton")), Qt::LeftButton);
  ASSERT_EQ(window.currentPage(), WizardPage::Imaging);

  CreateDiskImage* page = window.imagingPage();
  EXPECT_EQ(page->findChild<QComboBox*>(QStringLiteral("imageTypeCombo"))->currentText(), "Image");
  const test::TempDir target;
  page->chooseFolder = [&] { return QString::fromStdString(target.path().string()); };
  ASSERT_TRUE(ClickNamed(page, "browseButton"));
  EXPECT_EQ(page->findChild<QLineEdit*>(QStringLiteral("pathField"))->text().toStdString(),
            (target.path() / "DiskImage.dmg").string());

  std::string end;
  WhenDialogOpens([&](QWidget* message) {
    end = DialogText(message);
    ClickNamed(message, "okButton");
  }, nullptr, 60000);
  ASSERT_TRUE(ClickNamed(page, "startButton"));
  ASSERT_TRUE(WaitUntil([&] { return !end.empty() && window.currentPage() == WizardPage::Imaging; }, 60000));
  EXPECT_EQ(end.rfind("Disk Image created successfully.\nSHA-256: ", 0), 0u) << end;

  // The piece holds the partition's sectors, as a read of the disk gives them.
  const auto image = test::ReadFileBytes(target.path() / "DiskImage0.dmg");
  ASSERT_EQ(image.size(), (range.endSector - range.firstSector) * 512);
  std::vector<std::uint8_t> first(512 * 64);
  window.session().sectors.ReadCurrentAnywhere(range.firstSector, 64, first);
  EXPECT_TRUE(std::equal(first.begin(), first.end(), image.begin()));
}

}  // namespace
}  // namespace korv
