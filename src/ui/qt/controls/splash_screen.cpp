#include "ui/qt/controls/splash_screen.h"

#include <QBitmap>
#include <QGuiApplication>
#include <QPainter>
#include <QPropertyAnimation>
#include <QScreen>

#include "ui/qt/controls/embedded_art.h"

namespace korv {

namespace {

constexpr int kFadeMs = 250;

// Window opacity needs a compositing window system; of the Linux
// platforms only X11 offers it to Qt.
bool PlatformFadesWindows() { return QGuiApplication::platformName() == QLatin1String("xcb"); }

}  // namespace

CSplashScreenEx::CSplashScreenEx(QWidget* parent, const QString& text, int displayMs)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), text_(text) {
  displayTimer_.setSingleShot(true);
  displayTimer_.setInterval(displayMs);
  connect(&displayTimer_, &QTimer::timeout, this, &CSplashScreenEx::Hide);
}

void CSplashScreenEx::SetBitmap(const QPixmap& picture, const QColor& transparent) {
  picture_ = picture;
  const QImage mask = picture.toImage().createMaskFromColor(transparent.rgb(), Qt::MaskInColor);
  shape_ = QRegion(QBitmap::fromImage(mask));
  setFixedSize(picture.size());
  setMask(shape_);
}

// Centred over the parent's window, or on the screen without one; fades in
// where the platform can make windows translucent.
void CSplashScreenEx::Show() {
  const QRect around = parentWidget() != nullptr ? parentWidget()->window()->geometry()
                                                 : QGuiApplication::primaryScreen()->availableGeometry();
  QRect placed(QPoint(0, 0), size());
  placed.moveCenter(around.center());
  move(placed.topLeft());
  show();
  displayTimer_.start();
  if (!PlatformFadesWindows()) return;

  auto* fade = new QPropertyAnimation(this, "windowOpacity", this);
  fade->setDuration(kFadeMs);
  fade->setStartValue(0.0);
  fade->setEndValue(1.0);
  fade->start(QAbstractAnimation::DeleteWhenStopped);
}

void CSplashScreenEx::Hide() {
  displayTimer_.stop();
  hide();
}

void CSplashScreenEx::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.drawPixmap(0, 0, picture_);
  if (text_.isEmpty()) return;
  painter.setRenderHint(QPainter::TextAntialiasing);
  painter.setPen(Qt::white);
  painter.setFont(art::ArtFont(12, false));
  painter.drawText(rect().adjusted(16, 0, -16, -14), Qt::AlignHCenter | Qt::AlignBottom, text_);
}

}  // namespace korv
