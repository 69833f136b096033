// What a Linux desktop user expects of any Qt program: Enter presses the
// focused tile and the default button of a dialog, Tab walks from control to
// control rather than through a list's cells, and file dialogs start in the
// folder used last.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableView>
#include <QTimer>
#include <memory>

#include "common/progress.h"
#include "engine/analysis_progress.h"
#include "qt_test_support.h"
#include "scripted_host.h"
#include "support/test_support.h"
#include "ui/logic/wizard_flow.h"
#include "ui/qt/controls/hover_button.h"
#include "ui/qt/log/log_commands.h"
#include "ui/qt/controls/page_banner.h"
#include "ui/qt/pages/analysis_page.h"
#include "ui/qt/pages/mode_page.h"
#include "ui/qt/pages/results_page.h"
#include "ui/qt/pages/source_page.h"
#include "ui/qt/pages/volume_list_page.h"
#include "ui/qt/pictures.h"
#include "ui/qt/recent_folders.h"
#include "ui/qt/save/data_copy_path.h"

namespace korv {
namespace {

using test::WaitUntil;
using test::WhenDialogOpens;

const std::filesystem::path kSampleDisk = KORV_SOURCE_DIR "/samples/sample.vhd";

QString Q(const std::filesystem::path& path) { return QString::fromStdString(path.string()); }

TEST(DesktopKeysTest, ReturnAndEnterPressAFocusedModeTile) {
  CRecoveryMode page;
  page.show();
  QSignalSpy chosen(&page, &CRecoveryMode::modeChosen);
  page.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
  CHoverButton* tile = page.modeButton(RecoveryMode::FormattedData);
  ASSERT_NE(tile, nullptr);
  tile->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(tile->hasFocus());
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) QTest::keyClick(tile, key);
  QTest::keyClick(tile, Qt::Key_Space);
  ASSERT_EQ(chosen.count(), 3);
  for (const QList<QVariant>& signal : chosen) {
    EXPECT_EQ(signal.at(0).toInt(), static_cast<int>(RecoveryMode::FormattedData));
  }
  // Another key does nothing; a tile without the focus is not pressed.
  QTest::keyClick(tile, Qt::Key_A);
  EXPECT_EQ(chosen.count(), 3);
}

// Enter in the path field presses OK, which accepts the folder (a raw run's
// dialog only picks it) and keeps it for the next destination dialog.
TEST(DesktopKeysTest, EnterInTheDestinationFieldPressesOkAndTheFolderIsKept) {
  test::ScriptedHost host;
  host.session().runFlags.rawRun = true;
  test::TempDir out;
  const std::filesystem::path folder = out.path() / "carved";
  {
    DataCopyPath dialog(host.session(), nullptr);
    QTimer::singleShot(0, &dialog, [&] {
      auto* path = dialog.findChild<QLineEdit*>(QStringLiteral("pathEdit"));
      path->setText(Q(folder));
      path->setFocus(Qt::TabFocusReason);
      QTest::keyClick(path, Qt::Key_Return);
      if (dialog.isVisible()) dialog.reject();
    });
    ASSERT_EQ(dialog.exec(), QDialog::Accepted);
    ASSERT_TRUE(dialog.carvingFolder().has_value());
    EXPECT_EQ(*dialog.carvingFolder(), folder);
  }
  EXPECT_EQ(LastFolder(FolderUse::SaveDestination), Q(folder));
  DataCopyPath next(host.session(), nullptr);
  EXPECT_EQ(next.findChild<QLineEdit*>(QStringLiteral("pathEdit"))->text(), Q(folder));
}

TEST(DesktopKeysTest, TabLeavesTheResultsListForTheNextControlsUpToSave) {
  test::ScriptedHost host;
  Session& session = host.session();
  test::RunDeletedRecovery(session, kSampleDisk, 1);
  if (HasFatalFailure()) return;
  ViewDataInControls page(host);
  page.resize(1000, 640);
  page.show();
  page.Open();
  auto* list = page.findChild<QTableView*>(QStringLiteral("itemList"));
  ASSERT_TRUE(WaitUntil([&] { return !page.busy() && list->model()->rowCount() > 1; }));
  page.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&page));
  list->setFocus(Qt::TabFocusReason);
  list->setCurrentIndex(list->model()->index(0, 0));
  ASSERT_TRUE(list->hasFocus());

  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_FALSE(list->hasFocus()) << "Tab walked into the next cell";
  QWidget* save = page.findChild<QWidget*>(QStringLiteral("saveButton"));
  for (int presses = 0; presses < 20 && !save->hasFocus(); ++presses) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  EXPECT_TRUE(save->hasFocus());
}

// The log dialogs start in the folder a log was last chosen in, and a file
// accepted elsewhere moves that folder.
TEST(RecentFoldersTest, TheLogDialogStartsInTheLastFolderAndKeepsTheOneAccepted) {
  test::TempDir first;
  test::TempDir second;
  RememberFolder(FolderUse::Log, Q(first.path() / "old.kvfr"));
  EXPECT_EQ(LastFolder(FolderUse::Log), Q(first.path()));

  const QString chosen = Q(second.path() / "kept.kvfr");
  QFile file(chosen);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  QString startedIn;
  WhenDialogOpens([&](QWidget* dialog) {
    auto* files = qobject_cast<QFileDialog*>(dialog);
    ASSERT_NE(files, nullptr);
    startedIn = files->directory().absolutePath();
    auto* name = files->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(name, nullptr);
    name->setText(chosen);
    QTest::keyClick(name, Qt::Key_Return);
  });
  const LogPathChoice choice = AskOpenLogPath(nullptr);
  EXPECT_EQ(startedIn, Q(first.path()));
  ASSERT_TRUE(choice.has_value());
  EXPECT_EQ(*choice, chosen);
  EXPECT_EQ(LastFolder(FolderUse::Log), Q(second.path()));

  // A folder removed since is forgotten: the dialog starts where Qt would.
  const QString gone = Q(second.path() / "gone");
  ASSERT_TRUE(QDir().mkpath(gone));
  RememberFolder(FolderUse::ImagingTarget, gone);
  EXPECT_EQ(LastFolder(FolderUse::ImagingTarget), gone);
  ASSERT_TRUE(QDir(gone).removeRecursively());
  EXPECT_TRUE(LastFolder(FolderUse::ImagingTarget).isEmpty());
}

// The step picture sits in one place on every page that shows one: at the
// right of the row under the banner, at its top.
TEST(PageLayoutTest, TheStepPictureSitsInOnePlaceOnEveryPage) {
  test::ScriptedHost host;
  std::vector<std::unique_ptr<QWidget>> pages;
  pages.push_back(std::make_unique<DeletedFilesRecovery>(host));
  pages.push_back(std::make_unique<ExhaustiveDisplayPartitionInformation>(host));
  pages.push_back(std::make_unique<RecoveryAnalysis>(host));
  pages.push_back(std::make_unique<ViewDataInControls>(host));
  const QPixmap step = LoadPicture(picture::kStep2);
  ASSERT_FALSE(step.isNull());
  std::vector<QPoint> corners;
  for (const auto& page : pages) {
    auto* picture = page->findChild<QLabel*>(QStringLiteral("stepPicture"));
    ASSERT_NE(picture, nullptr) << page->metaObject()->className();
    picture->setPixmap(step);
    page->resize(1000, 700);
    page->show();
    QTest::qWait(10);
    // The top right corner, in the page's coordinates.
    corners.push_back(picture->mapTo(page.get(), QPoint(picture->width(), 0)));
  }
  for (std::size_t i = 0; i < corners.size(); ++i) {
    EXPECT_EQ(corners[i], corners.front()) << pages[i]->metaObject()->className();
  }
  EXPECT_EQ(corners.front().x(), 1000 - kPageSideMargin);
}

}  // namespace
}  // namespace korv
