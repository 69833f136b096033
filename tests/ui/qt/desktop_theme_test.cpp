// The wizard under a dark desktop theme: the program starts from the
// theme's palette, the window puts its own in place, and every text shown
// on a page or dialog reads against what is drawn behind it (WCAG contrast
// of at least 4.5:1, measured on the rendered pixels).
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QTreeView>
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/progress.h"
#include "engine/analysis_progress.h"
#include "qt_test_support.h"
#include "scripted_host.h"
#include "support/test_support.h"
#include "ui/logic/wizard_flow.h"
#include "ui/qt/dialogs/message_dialogs.h"
#include "ui/qt/pages/extension_page.h"
#include "ui/qt/pages/results_page.h"
#include "ui/qt/pages/source_page.h"
#include "ui/qt/pages/wizard_window.h"
#include "ui/qt/save/data_copy_path.h"
#include "ui/qt/save/data_saving_settings.h"

namespace korv {
namespace {

using test::WaitUntil;

const std::filesystem::path kSampleDisk = KORV_SOURCE_DIR "/samples/sample.vhd";
constexpr double kLeastContrast = 4.5;

// What a dark desktop theme hands the program.
QPalette DarkThemePalette() {
  const QColor window(0x2B, 0x2B, 0x2B);
  const QColor light(0xE6, 0xE6, 0xE6);
  QPalette dark(light, QColor(0x35, 0x35, 0x35), QColor(0x50, 0x50, 0x50), QColor(0x20, 0x20, 0x20),
                QColor(0x30, 0x30, 0x30), light, window);
  dark.setColor(QPalette::Window, window);
  dark.setColor(QPalette::WindowText, light);
  dark.setColor(QPalette::Base, QColor(0x1E, 0x1E, 0x1E));
  dark.setColor(QPalette::AlternateBase, QColor(0x26, 0x26, 0x26));
  dark.setColor(QPalette::Text, light);
  dark.setColor(QPalette::Button, QColor(0x35, 0x35, 0x35));
  dark.setColor(QPalette::ButtonText, light);
  dark.setColor(QPalette::Highlight, QColor(0x3D, 0xAE, 0xE9));
  dark.setColor(QPalette::HighlightedText, QColor(0x10, 0x10, 0x10));
  return dark;
}

double Linear(int channel) {
  const double c = channel / 255.0;
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

double Luminance(QRgb colour) {
  return 0.2126 * Linear(qRed(colour)) + 0.7152 * Linear(qGreen(colour)) + 0.0722 * Linear(qBlue(colour));
}

double Contrast(QRgb a, QRgb b) {
  const double la = Luminance(a);
  const double lb = Luminance(b);
  return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// The colour most pixels of `area` have: what the text is drawn on. Close
// colours count together (a button's face is a gentle gradient), and the
// group's mean is the answer.
QRgb DominantColour(const QImage& shot, QRect area) {
  area &= shot.rect();
  struct Group {
    int count = 0;
    long long red = 0, green = 0, blue = 0;
  };
  QHash<int, Group> groups;
  int bestKey = -1;
  int bestCount = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) {
      const QRgb pixel = shot.pixel(x, y);
      const int key = (qRed(pixel) >> 4) << 8 | (qGreen(pixel) >> 4) << 4 | (qBlue(pixel) >> 4);
      Group& group = groups[key];
      ++group.count;
      group.red += qRed(pixel);
      group.green += qGreen(pixel);
      group.blue += qBlue(pixel);
      if (group.count > bestCount) {
        bestCount = group.count;
        bestKey = key;
      }
    }
  }
  if (bestKey < 0) return qRgb(0, 0, 0);
  const Group& best = groups[bestKey];
  return qRgb(static_cast<int>(best.red / best.count), static_cast<int>(best.green / best.count),
              static_cast<int>(best.blue / best.count));
}

// One text on the screen: its colour, the rectangle it is drawn in (in the
// top-level widget's coordinates) and a name for the failure message.
struct ShownText {
  QRgb ink;
  QRect area;
  std::string what;
};

std::string Describe(const QWidget* widget, const QString& text) {
  return std::string(widget->metaObject()->className()) + " '" + widget->objectName().toStdString() + "' \"" +
         text.left(40).toStdString() + "\"";
}

QString TextOf(const QWidget* widget) {
  if (const auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
  if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
  if (const auto* box = qobject_cast<const QGroupBox*>(widget)) return box->title();
  if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
  return {};
}

bool IsTextWidget(const QWidget* widget) {
  return qobject_cast<const QLabel*>(widget) != nullptr || qobject_cast<const QPushButton*>(widget) != nullptr ||
         qobject_cast<const QRadioButton*>(widget) != nullptr || qobject_cast<const QCheckBox*>(widget) != nullptr ||
         qobject_cast<const QToolButton*>(widget) != nullptr || qobject_cast<const QGroupBox*>(widget) != nullptr ||
         qobject_cast<const QLineEdit*>(widget) != nullptr;
}

// The rows an item view shows: each cell's text colour (the model's, else
// the view's palette) over the cell.
void AddViewRows(const QWidget* top, const QAbstractItemView* view, std::vector<ShownText>& texts) {
  const QAbstractItemModel* model = view->model();
  if (model == nullptr) return;
  const auto* tree = qobject_cast<const QTreeView*>(view);
  std::vector<QModelIndex> pending;
  for (int row = 0; row < model->rowCount(view->rootIndex()); ++row) pending.push_back(model->index(row, 0, view->rootIndex()));
  for (std::size_t next = 0; next < pending.size() && next < 200; ++next) {
    const QModelIndex first = pending[next];
    if (tree != nullptr && tree->isExpanded(first)) {
      for (int row = 0; row < model->rowCount(first); ++row) pending.push_back(model->index(row, 0, first));
    }
    for (int column = 0; column < model->columnCount(first.parent()); ++column) {
      const QModelIndex cell = first.siblingAtColumn(column);
      const QString text = cell.data().toString();
      const QRect rect = view->visualRect(cell) & view->viewport()->rect();
      if (text.isEmpty() || rect.isEmpty()) continue;
      const bool selected = view->selectionModel() != nullptr && view->selectionModel()->isSelected(cell);
      const QVariant foreground = cell.data(Qt::ForegroundRole);
      QColor ink = view->palette().color(selected ? QPalette::HighlightedText : QPalette::Text);
      if (!selected && foreground.isValid()) {
        ink = foreground.typeId() == QMetaType::QColor ? foreground.value<QColor>() : foreground.value<QBrush>().color();
      }
      texts.push_back({ink.rgb(), QRect(view->viewport()->mapTo(top, rect.topLeft()), rect.size()),
                       Describe(view, text)});
    }
  }
}

std::vector<ShownText> TextsShown(const QWidget* top) {
  std::vector<ShownText> texts;
  for (const QWidget* widget : top->findChildren<QWidget*>()) {
    if (!widget->isVisibleTo(top) || !widget->isEnabled()) continue;
    if (const auto* view = qobject_cast<const QAbstractItemView*>(widget)) {
      AddViewRows(top, view, texts);
      continue;
    }
    if (!IsTextWidget(widget)) continue;
    const QString text = TextOf(widget);
    if (text.isEmpty()) continue;
    const QColor ink = widget->palette().color(widget->foregroundRole());
    texts.push_back({ink.rgb(), QRect(widget->mapTo(top, QPoint(0, 0)), widget->size()), Describe(widget, text)});
  }
  return texts;
}

// The pages and dialogs the test renders, each made after the window (as
// in the program, where the window comes first).
struct Screen {
  const char* name;
  std::function<std::unique_ptr<QWidget>(WizardWindow& window, test::ScriptedHost& host)> make;
};

void PrintTo(const Screen& screen, std::ostream* out) { *out << screen.name; }

void OpenSample(Session& session, RecoveryMode mode) {
  ASSERT_TRUE(session.OpenVirtualFile(kSampleDisk).accepted);
  ChooseMode(session.wizard, mode);
}

const Screen kScreens[] = {
    {"ModePage", [](WizardWindow&, test::ScriptedHost&) { return std::unique_ptr<QWidget>(); }},
    {"SourcePage",
     [](WizardWindow&, test::ScriptedHost& host) -> std::unique_ptr<QWidget> {
       OpenSample(host.session(), RecoveryMode::DeletedData);
       auto page = std::make_unique<DeletedFilesRecovery>(host);
       page->Open();
       return page;
     }},
    {"ResultsPage",
     [](WizardWindow&, test::ScriptedHost& host) -> std::unique_ptr<QWidget> {
       Session& session = host.session();
       OpenSample(session, RecoveryMode::DeletedData);
       EXPECT_TRUE(session.SelectPartition(1));
       NullProgress sink;
       AnalysisProgress progress(sink);
       session.Analyse(RecoveryMode::DeletedData, progress);
       auto page = std::make_unique<ViewDataInControls>(host);
       page->resize(1000, 640);
       page->show();
       page->Open();
       EXPECT_TRUE(WaitUntil([&] { return !page->busy(); }));
       return page;
     }},
    {"ExtensionPage",
     [](WizardWindow&, test::ScriptedHost& host) -> std::unique_ptr<QWidget> {
       OpenSample(host.session(), RecoveryMode::RawData);
       auto page = std::make_unique<ExtensionWiseRecovery>(host);
       page->Open();
       return page;
     }},
    {"MessageDialog",
     [](WizardWindow& window, test::ScriptedHost&) -> std::unique_ptr<QWidget> {
       return std::make_unique<ViewMsgBox>(&window, kMsgTryFormatted);
     }},
    {"SaveFilterDialog",
     [](WizardWindow&, test::ScriptedHost& host) -> std::unique_ptr<QWidget> {
       return std::make_unique<DataSavingSettings>(host.session().saveFilters, nullptr);
     }},
    {"SaveDestinationDialog",
     [](WizardWindow&, test::ScriptedHost& host) -> std::unique_ptr<QWidget> {
       return std::make_unique<DataCopyPath>(host.session(), nullptr);
     }},
};

class DesktopThemeTest : public ::testing::TestWithParam<Screen> {
 protected:
  void SetUp() override {
    themePalette_ = QApplication::palette();
    QApplication::setPalette(DarkThemePalette());
  }
  void TearDown() override { QApplication::setPalette(themePalette_); }

  test::TempDir dir_;
  test::ScriptedHost host_;

 private:
  QPalette themePalette_;
};

TEST_P(DesktopThemeTest, EveryTextReadsAgainstItsBackgroundUnderADarkTheme) {
  WizardWindow::Options options;
  options.session = SessionOptions{dir_.path() / "inventory.json", false};
  options.showSplash = false;
  options.exitProcess = [] {};
  options.openUrl = [](const QUrl&) { return true; };
  WizardWindow window(std::move(options));
  window.resize(1000, 700);
  window.show();

  std::unique_ptr<QWidget> screen = GetParam().make(window, host_);
  QWidget* top = screen ? screen.get() : &window;
  top->show();
  QTest::qWait(50);
  const QImage shot = top->grab().toImage();
  if (qEnvironmentVariableIsSet("KORV_THEME_SHOTS")) shot.save(qEnvironmentVariable("KORV_THEME_SHOTS") + "/" + GetParam().name + ".png");
  ASSERT_FALSE(shot.isNull());

  const std::vector<ShownText> texts = TextsShown(top);
  ASSERT_FALSE(texts.empty()) << "the screen shows texts";
  for (const ShownText& text : texts) {
    const QRgb background = DominantColour(shot, text.area);
    EXPECT_GE(Contrast(text.ink, background), kLeastContrast)
        << text.what << ": ink #" << std::hex << (text.ink & 0xFFFFFF) << " on #" << (background & 0xFFFFFF);
  }
}

INSTANTIATE_TEST_SUITE_P(Screens, DesktopThemeTest, ::testing::ValuesIn(kScreens),
                         [](const ::testing::TestParamInfo<Screen>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korv
