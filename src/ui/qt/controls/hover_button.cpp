#include "ui/qt/controls/hover_button.h"

#include <QKeyEvent>
#include <QPainter>
#include <algorithm>

#include "ui/qt/controls/embedded_art.h"
#include "ui/qt/pictures.h"

namespace korv {

namespace {

constexpr QSize kPlainMinimum{96, 32};
constexpr int kPlainPadding = 24;
constexpr int kCaptionGap = 2;

enum Frame { kNormal = 0, kHover = 1, kPressed = 2, kDisabledFrame = 3 };

QColor PlainFill(int frame) {
  switch (frame) {
    case kHover:
      return QColor(art::kAccentLight);
    case kPressed:
      return QColor(art::kAccentDark);
    case kDisabledFrame:
      return QColor(art::kDisabled);
    default:
      return QColor(art::kAccent);
  }
}

}  // namespace

CHoverButton::CHoverButton(QWidget* parent) : QAbstractButton(parent) {
  setFocusPolicy(Qt::StrongFocus);
  setCheckable(false);
  setCursor(Qt::PointingHandCursor);
}

void CHoverButton::keyPressEvent(QKeyEvent* event) {
  const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
  if (!enter || event->modifiers() & ~Qt::KeypadModifier) {
    QAbstractButton::keyPressEvent(event);
    return;
  }
  if (!event->isAutoRepeat()) click();
  event->accept();
}

bool CHoverButton::LoadPicture(std::string_view pictureName, Frames frames) {
  SetPicture(korv::LoadPicture(pictureName), frames);
  return hasPicture();
}

void CHoverButton::SetPicture(const QPixmap& picture, Frames frames) {
  picture_ = picture;
  frames_ = frames;
  updateGeometry();
  adjustSize();
  update();
}

void CHoverButton::SetCaption(const QString& caption) {
  caption_ = caption;
  setText(caption);  // also gives the button its "&" mnemonic
  updateGeometry();
  adjustSize();
  update();
}

void CHoverButton::SetCaptionUnderPicture(bool under) {
  captionUnder_ = under;
  updateGeometry();
  adjustSize();
  update();
}

int CHoverButton::currentFrame() const {
  if (!isEnabled()) return frames_ == Frames::Four ? kDisabledFrame : kNormal;
  if (isDown()) return kPressed;
  if (hovered_) return kHover;
  return kNormal;
}

QSize CHoverButton::FrameSize() const {
  if (picture_.isNull()) return {};
  return {picture_.width() / static_cast<int>(frames_), picture_.height()};
}

int CHoverButton::CaptionHeight() const {
  if (!captionUnder_ || caption_.isEmpty()) return 0;
  return fontMetrics().height() + kCaptionGap;
}

QSize CHoverButton::sizeHint() const {
  const QSize captionSize = fontMetrics().size(Qt::TextShowMnemonic, caption_);
  if (picture_.isNull()) {
    return {std::max(kPlainMinimum.width(), captionSize.width() + kPlainPadding),
            std::max(kPlainMinimum.height(), captionSize.height() + kPlainPadding / 2)};
  }
  const QSize frame = FrameSize();
  const int captionWidth = CaptionHeight() > 0 ? captionSize.width() + 4 : 0;
  return {std::max(frame.width(), captionWidth), frame.height() + CaptionHeight()};
}

void CHoverButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setRenderHint(QPainter::TextAntialiasing);
  if (picture_.isNull()) {
    PaintPlain(painter);
  } else {
    PaintPicture(painter);
  }
  if (hasFocus()) {
    painter.setOpacity(1.0);
    painter.setPen(QPen(QColor(art::kMutedInk), 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);
  }
}

void CHoverButton::PaintPicture(QPainter& painter) {
  const QSize frame = FrameSize();
  const int index = currentFrame();
  const QRect source(index * frame.width(), 0, frame.width(), frame.height());
  const QPoint at((width() - frame.width()) / 2, 0);
  // A three-frame picture has no disabled frame: its normal one is greyed.
  if (!isEnabled() && frames_ == Frames::Three) painter.setOpacity(0.4);
  painter.drawPixmap(at, picture_, source);
  painter.setOpacity(1.0);
  if (CaptionHeight() == 0) return;
  const QRect captionArea(0, frame.height() + kCaptionGap, width(), height() - frame.height() - kCaptionGap);
  painter.setPen(isEnabled() ? QColor(art::kInk) : QColor(art::kMutedInk));
  painter.drawText(captionArea, Qt::AlignHCenter | Qt::AlignTop | Qt::TextShowMnemonic, caption_);
}

void CHoverButton::PaintPlain(QPainter& painter) {
  const int frame = currentFrame();
  painter.setPen(Qt::NoPen);
  painter.setBrush(PlainFill(frame));
  painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 6, 6);
  painter.setPen(frame == kDisabledFrame ? QColor(art::kDisabledText) : QColor(Qt::white));
  const QRect textArea = frame == kPressed ? rect().translated(1, 1) : rect();
  painter.drawText(textArea, Qt::AlignCenter | Qt::TextShowMnemonic, caption_);
}

void CHoverButton::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void CHoverButton::leaveEvent(QEvent* event) {
  hovered_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

CHoverButton* MakePageButton(std::string_view pictureName, std::string_view caption, const char* objectName,
                             QWidget* parent) {
  auto* button = new CHoverButton(parent);
  button->setObjectName(QString::fromLatin1(objectName));
  button->LoadPicture(pictureName, CHoverButton::Frames::Four);
  button->SetCaption(QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size())));
  return button;
}

}  // namespace korv
