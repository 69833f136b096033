// Renders the wizard's pages into the folder KORV_SCREENSHOT_DIR names, for
// the README (docs/make-screenshots.sh). Skipped when it is not set.
#include <gtest/gtest.h>

#include <QDir>
#include <QTreeWidget>

#include "qt_test_support.h"
#include "support/test_support.h"
#include "ui/qt/controls/hover_button.h"
#include "ui/qt/dialogs/about_box.h"
#include "ui/qt/pages/analysis_page.h"
#include "ui/qt/pages/mode_page.h"
#include "ui/qt/pages/source_page.h"
#include "ui/qt/pages/wizard_window.h"

namespace korv {
namespace {

using test::ClickNamed;
using test::WaitUntil;
using test::WhenDialogOpens;

class Screenshots {
 public:
  explicit Screenshots(QString folder) : folder_(std::move(folder)) { QDir().mkpath(folder_); }
  void Save(QWidget* widget, const char* name) {
    EXPECT_TRUE(widget->grab().save(folder_ + QLatin1Char('/') + QLatin1String(name) + QStringLiteral(".png"))) << name;
  }

 private:
  QString folder_;
};

TEST(ScreenshotsTest, EveryPageOfTheWizard) {
  const QString folder = qEnvironmentVariable("KORV_SCREENSHOT_DIR");
  if (folder.isEmpty()) GTEST_SKIP() << "KORV_SCREENSHOT_DIR is not set";
  Screenshots shots(folder);
  test::TempDir dir;

  WizardWindow::Options options;
  options.session = SessionOptions{dir.path() / "inventory.json", false};
  options.preselectedPath = QStringLiteral(KORV_SOURCE_DIR "/samples/sample.vhd");
  options.showSplash = false;
  options.exitProcess = [] {};
  options.openUrl = [](const QUrl&) { return true; };
  WizardWindow window(std::move(options));
  window.resize(1080, 668);

  bool selected = false;
  WhenDialogOpens(
      [&](QWidget* selection) {
        shots.Save(selection, "file-selection");
        ClickNamed(selection, "okButton");
      },
      &selected);
  window.Launch();
  ASSERT_TRUE(WaitUntil([&] { return selected && QApplication::activeModalWidget() == nullptr; }));
  shots.Save(&window, "mode-page");

  QTest::mouseClick(window.modePage()->modeButton(RecoveryMode::DeletedData), Qt::LeftButton);
  auto* tree = window.sourcePage()->findChild<QTreeWidget*>(QStringLiteral("sourceTree"));
  ASSERT_TRUE(WaitUntil([&] { return tree->topLevelItemCount() > 0; }));
  const auto partitions =
      tree->findItems(QStringLiteral("Partition - 1 ( NTFS )"), Qt::MatchExactly | Qt::MatchRecursive);
  ASSERT_FALSE(partitions.isEmpty());
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(partitions.first()).center());
  QTest::qWait(50);
  shots.Save(&window, "source-page");

  bool reported = false;
  WhenDialogOpens(
      [&](QWidget* message) {
        shots.Save(window.analysisPage(), "analysis-page");
        shots.Save(message, "results-hint");
        ClickNamed(message, "okButton");
      },
      &reported);
  QTest::mouseClick(window.sourcePage()->findChild<QAbstractButton*>(QStringLiteral("nextButton")), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return reported && QApplication::activeModalWidget() == nullptr; }));
  ASSERT_EQ(window.currentPage(), WizardPage::Results);
  QTest::qWait(100);
  shots.Save(&window, "results-page");

  AboutBox about(&window);
  about.show();
  QTest::qWait(50);
  shots.Save(&about, "about-box");
}

}  // namespace
}  // namespace korv
