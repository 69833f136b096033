// The wizard's controls and dialogs: picture buttons in every state, the
// progress text, the message, question and bad-sector dialogs, the splash's
// shape and time, and the pictures the build draws.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QEnterEvent>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>
#include <array>
#include <string_view>
#include <utility>

#include "qt_test_support.h"
#include "ui/logic/wizard_flow.h"
#include "ui/qt/controls/embedded_art.h"
#include "ui/qt/controls/gradient_progress.h"
#include "ui/qt/controls/hover_button.h"
#include "ui/qt/controls/page_toolbar.h"
#include "ui/qt/controls/picture_ctrl.h"
#include "ui/qt/controls/splash_screen.h"
#include "ui/qt/dialogs/about_box.h"
#include "ui/qt/dialogs/bad_sector_dialog.h"
#include "ui/qt/dialogs/message_dialogs.h"
#include "ui/qt/pictures.h"

namespace korv {
namespace {

using test::ClickNamed;
using test::DialogText;
using test::WaitUntil;
using test::WhenDialogOpens;

constexpr std::array<QRgb, 4> kFrameColours = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFF808080};
constexpr QSize kFrame{10, 8};

// A picture of `frames` frames, each one plain colour.
QPixmap FramePicture(int frames) {
  QImage image(kFrame.width() * frames, kFrame.height(), QImage::Format_RGB32);
  QPainter painter(&image);
  for (int frame = 0; frame < frames; ++frame) {
    painter.fillRect(QRect(frame * kFrame.width(), 0, kFrame.width(), kFrame.height()), QColor(kFrameColours[frame]));
  }
  painter.end();
  return QPixmap::fromImage(image);
}

void Hover(QWidget* widget, bool inside) {
  if (inside) {
    QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), QPointF(1, 1));
    QApplication::sendEvent(widget, &enter);
  } else {
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(widget, &leave);
  }
}

QRgb CentrePixel(QWidget* widget) {
  const QImage shot = widget->grab().toImage();
  return shot.pixel(shot.width() / 2, shot.height() / 2);
}

TEST(HoverButtonTest, FourFramePictureShowsTheFrameOfEachState) {
  CHoverButton button;
  button.SetPicture(FramePicture(4), CHoverButton::Frames::Four);
  EXPECT_EQ(button.sizeHint(), kFrame);

  EXPECT_EQ(button.currentFrame(), 0);
  EXPECT_EQ(CentrePixel(&button), kFrameColours[0]);
  Hover(&button, true);
  EXPECT_EQ(button.currentFrame(), 1);
  EXPECT_EQ(CentrePixel(&button), kFrameColours[1]);
  button.setDown(true);
  EXPECT_EQ(button.currentFrame(), 2);
  EXPECT_EQ(CentrePixel(&button), kFrameColours[2]);
  button.setDown(false);
  button.setEnabled(false);
  EXPECT_EQ(button.currentFrame(), 3);
  EXPECT_EQ(CentrePixel(&button), kFrameColours[3]);
  button.setEnabled(true);
  Hover(&button, false);
  EXPECT_EQ(button.currentFrame(), 0);
}

TEST(HoverButtonTest, ThreeFramePictureGreysItsNormalFrameWhenDisabled) {
  CHoverButton button;
  button.SetPicture(FramePicture(3), CHoverButton::Frames::Three);
  EXPECT_EQ(button.sizeHint(), kFrame);
  Hover(&button, true);
  EXPECT_EQ(button.currentFrame(), 1);
  button.setDown(true);
  EXPECT_EQ(button.currentFrame(), 2);
  button.setDown(false);
  button.setEnabled(false);
  EXPECT_EQ(button.currentFrame(), 0);
  const QColor shown = QColor::fromRgb(CentrePixel(&button));
  EXPECT_NE(shown.rgb(), kFrameColours[0]);  // faded, not the plain frame
  EXPECT_GT(shown.red(), shown.green());     // but the normal frame, not another
  EXPECT_EQ(shown.green(), shown.blue());
}

TEST(HoverButtonTest, ToolbarCaptionAddsItsLineUnderThePicture) {
  CHoverButton button;
  button.SetPicture(FramePicture(4), CHoverButton::Frames::Four);
  button.SetCaption(QStringLiteral("Help"));
  EXPECT_EQ(button.sizeHint(), kFrame);  // drawn into the picture, not added
  button.SetCaptionUnderPicture(true);
  EXPECT_GE(button.sizeHint().height(), kFrame.height() + button.fontMetrics().height());
  EXPECT_GE(button.sizeHint().width(), button.fontMetrics().horizontalAdvance(QStringLiteral("Help")));
}

TEST(HoverButtonTest, ButtonWithoutItsPictureStillShowsItsCaptionAndWorks) {
  QWidget window;
  auto* other = new CHoverButton(&window);
  auto* button = new CHoverButton(&window);
  EXPECT_FALSE(button->LoadPicture("\\no-such-picture.bmp", CHoverButton::Frames::Four));
  EXPECT_FALSE(button->hasPicture());
  button->SetCaption(QStringLiteral("&Next"));
  EXPECT_GE(button->sizeHint().width(), 96);
  EXPECT_GE(button->sizeHint().height(), 32);
  button->move(0, 40);
  window.resize(200, 100);
  window.show();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  other->setFocus();

  // Light pixels in the middle of the dark button are the caption's.
  const QImage shot = button->grab().toImage();
  int light = 0;
  for (int y = shot.height() / 4; y < shot.height() * 3 / 4; ++y) {
    for (int x = shot.width() / 4; x < shot.width() * 3 / 4; ++x) light += qGray(shot.pixel(x, y)) > 180 ? 1 : 0;
  }
  EXPECT_GT(light, 10) << "the caption is drawn in white on the button";

  QSignalSpy clicks(button, &QAbstractButton::clicked);
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(clicks.count(), 1);
  EXPECT_TRUE(button->hasFocus());
}

TEST(GradientProgressTest, TextIsThePercentInAThreeCharacterFieldAndPositionIsClamped) {
  CGradientProgressCtrl bar;
  EXPECT_EQ(bar.text(), QStringLiteral("  0 %"));
  bar.SetPosition(7);
  EXPECT_EQ(bar.text(), QStringLiteral("  7 %"));
  bar.SetPosition(100);
  EXPECT_EQ(bar.text(), QStringLiteral("100 %"));
  bar.SetPosition(250);
  EXPECT_EQ(bar.position(), 100);
  bar.SetPosition(-3);
  EXPECT_EQ(bar.position(), 0);
  bar.resize(120, 20);
  bar.SetPosition(50);
  EXPECT_FALSE(bar.grab().isNull());
}

TEST(MessageDialogTest, MessageShowsOneAmpersandAndTakesTheWindowsTitle) {
  QWidget window;
  window.setWindowTitle(QStringLiteral("Korvane Vireon - Deleted Data Recovery"));
  auto* inner = new QWidget(&window);
  ViewMsgBox box(inner, "Files && folders\nsecond line");
  EXPECT_EQ(box.messageText(), QStringLiteral("Files & folders\nsecond line"));
  EXPECT_EQ(box.windowTitle(), window.windowTitle());
  EXPECT_FALSE(box.windowIcon().isNull());

  ViewMsgBox orphan(nullptr, "text");
  EXPECT_EQ(orphan.windowTitle(), ToQString(kProgramTitle));
}

TEST(MessageDialogTest, OkClosesTheMessageAndItsButtonHasThePicture) {
  std::string shown;
  bool hadPicture = false;
  WhenDialogOpens([&](QWidget* dialog) {
    shown = DialogText(dialog);
    auto* ok = dialog->findChild<CHoverButton*>(QStringLiteral("okButton"));
    hadPicture = ok != nullptr && ok->hasPicture();
    ClickNamed(dialog, "okButton");
  });
  ShowMessageBox(nullptr, "a && b");
  EXPECT_EQ(shown, "a & b");
  EXPECT_TRUE(hadPicture);
}

TEST(MessageDialogTest, QuestionIsYesOnlyForTheYesButton) {
  WhenDialogOpens([](QWidget* dialog) { ClickNamed(dialog, "yesButton"); });
  EXPECT_TRUE(AskQuestionBox(nullptr, "Go on?"));
  WhenDialogOpens([](QWidget* dialog) { ClickNamed(dialog, "noButton"); });
  EXPECT_FALSE(AskQuestionBox(nullptr, "Go on?"));
  WhenDialogOpens([](QWidget* dialog) { dialog->close(); });
  EXPECT_FALSE(AskQuestionBox(nullptr, "Go on?"));
  WhenDialogOpens([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
  EXPECT_FALSE(AskQuestionBox(nullptr, "Go on?"));
}

TEST(MessageDialogTest, ButtonsAnswerToTheirMnemonics) {
  WhenDialogOpens([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_N, Qt::AltModifier); });
  EXPECT_FALSE(AskQuestionBox(nullptr, "Go on?"));
  WhenDialogOpens([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Y, Qt::AltModifier); });
  EXPECT_TRUE(AskQuestionBox(nullptr, "Go on?"));
}

TEST(BadSectorDialogTest, EachButtonGivesItsAnswerAndEscapeDismisses) {
  const std::pair<const char*, BadSectorAnswer> buttons[] = {
      {"retryButton", BadSectorAnswer::Retry},
      {"retryAllButton", BadSectorAnswer::RetryAll},
      {"skipButton", BadSectorAnswer::Skip},
      {"skipAllButton", BadSectorAnswer::SkipAll},
  };
  QWidget window;
  window.setWindowTitle(QStringLiteral("Some page"));
  for (const auto& [name, answer] : buttons) {
    QString title;
    WhenDialogOpens([&, name = name](QWidget* dialog) {
      title = dialog->windowTitle();
      ClickNamed(dialog, name);
    });
    EXPECT_EQ(SectorsBadStatusAction::Ask(&window, "Error found while reading lSectorNoRead."), answer) << name;
    EXPECT_EQ(title, ToQString(kProgramTitle));
  }
  WhenDialogOpens([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
  EXPECT_EQ(SectorsBadStatusAction::Ask(&window, "text"), BadSectorAnswer::Dismissed);
}

TEST(SplashScreenTest, ShapeLeavesOutTheTransparentColourAndHidesAfterItsTime) {
  const QColor transparent(kSplashTransparentRed, kSplashTransparentGreen, kSplashTransparentBlue);
  QImage image(20, 10, QImage::Format_RGB32);
  image.fill(transparent);
  QPainter(&image).fillRect(QRect(0, 0, 10, 10), Qt::blue);

  CSplashScreenEx splash(nullptr, QString(), 100);
  splash.SetBitmap(QPixmap::fromImage(image), transparent);
  EXPECT_TRUE(splash.shape().contains(QPoint(2, 5)));
  EXPECT_FALSE(splash.shape().contains(QPoint(15, 5)));
  EXPECT_EQ(splash.size(), QSize(20, 10));

  splash.Show();
  EXPECT_TRUE(splash.isVisible());
  EXPECT_TRUE(WaitUntil([&] { return !splash.isVisible(); }, 3000));
}

TEST(SplashScreenTest, StartupPictureHasTheTransparentColourOnlyOutsideItsShape) {
  const QImage startup = StartupBitmap().toImage();
  const QRgb transparent = qRgb(kSplashTransparentRed, kSplashTransparentGreen, kSplashTransparentBlue);
  EXPECT_EQ(startup.pixel(0, 0), transparent);
  EXPECT_NE(startup.pixel(startup.width() / 2, startup.height() / 2), transparent);
}

TEST(PageToolbarTest, ButtonsCarryTheirNamesAndReportClicks) {
  PageToolbar toolbar;
  toolbar.show();
  QSignalSpy clicks(&toolbar, &PageToolbar::clicked);
  for (ToolbarButton which : kAllToolbarButtons) {
    CHoverButton* button = toolbar.button(which);
    ASSERT_NE(button, nullptr);
    EXPECT_TRUE(button->hasPicture()) << button->objectName().toStdString();
    EXPECT_EQ(button->caption(), ToQString(ToolbarCaption(which)));
  }
  ASSERT_TRUE(ClickNamed(&toolbar, "toolbarSearch"));
  ASSERT_EQ(clicks.count(), 1);
  EXPECT_EQ(clicks.at(0).at(0).toInt(), static_cast<int>(ToolbarButton::Search));

  toolbar.SetButtonEnabled(ToolbarButton::SaveLog, false);
  EXPECT_EQ(toolbar.button(ToolbarButton::SaveLog)->currentFrame(), 3);
  ClickNamed(&toolbar, "toolbarSaveLog");
  EXPECT_EQ(clicks.count(), 1);
}

TEST(PictureCtrlTest, UndecodableFileFailsAndLeavesTheControlEmpty) {
  const QString path = QDir::temp().filePath(QStringLiteral("korv-ctrl-not-a-picture.bmp"));
  {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("BM this is not a bitmap");
  }
  CPictureCtrl control;
  control.SetImage(ApplicationIconImage(16));
  EXPECT_FALSE(control.Load(path));
  EXPECT_FALSE(control.hasImage());
  QFile::remove(path);
}

TEST(AboutBoxTest, HelpPageFollowsTheEnvironment) {
  qputenv("KORVANE_HELP", "/opt/help/index.html");
  EXPECT_EQ(HelpPageUrl(), QUrl::fromLocalFile(QStringLiteral("/opt/help/index.html")));
  qunsetenv("KORVANE_HELP");
  EXPECT_TRUE(HelpPageUrl().toLocalFile().endsWith(QStringLiteral("/share/korvane/help/index.html")));
}

// The pictures the build draws: each exists, decodes, and splits into its
// frames evenly.
TEST(GeneratedPicturesTest, EveryPageAndDialogPictureDecodesWithWholeFrames) {
  const std::pair<std::string_view, int> pictures[] = {
      {picture::kDeletedDataRecovery, 3},
      {picture::kFormattedDataRecovery, 3},
      {picture::kPartitionDataRecovery, 3},
      {picture::kRawDataRecovery, 3},
      {picture::kCreateDiskImage, 3},
      {picture::kHelpToolbar, 4},
      {picture::kLoadLogToolbar, 4},
      {picture::kSaveLogToolbar, 4},
      {picture::kSettingsToolbar, 4},
      {picture::kSearchToolbar, 4},
      {picture::kStep1, 1},
      {picture::kStep2, 1},
      {picture::kStep3, 1},
      {picture::kStep4, 1},
      {picture::kNext, 4},
      {picture::kBack, 4},
      {picture::kStop, 4},
      {picture::kSave, 4},
      {picture::kPreview, 1},
      {picture::kNoPreview, 1},
      {picture::kSearchAdvanced, 4},
      {picture::kInformation, 1},
      {picture::kQuestion, 1},
      {picture::kOk, 4},
      {picture::kYes, 4},
      {picture::kNo, 4},
      {picture::kRetry, 4},
      {picture::kRetryAll, 4},
      {picture::kSkip, 4},
      {picture::kSkipAll, 4},
  };
  for (const auto& [name, frames] : pictures) {
    const QPixmap picture = LoadPicture(name);
    ASSERT_FALSE(picture.isNull()) << name;
    EXPECT_EQ(picture.width() % frames, 0) << name;
    EXPECT_GE(picture.width() / frames, 32) << name;
  }
  const QString icon = PictureFolderPath() + QStringLiteral("/../../icons/hicolor/256x256/apps/korvane.png");
  EXPECT_EQ(QImage(icon).size(), QSize(256, 256));
}

}  // namespace
}  // namespace korv
