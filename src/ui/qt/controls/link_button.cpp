#include "ui/qt/controls/link_button.h"

#include <QDesktopServices>
#include <QPainter>

#include "ui/qt/controls/embedded_art.h"

namespace korv {

CURLLinkButton::CURLLinkButton(QWidget* parent) : QAbstractButton(parent) {
  setCursor(Qt::PointingHandCursor);
  setFocusPolicy(Qt::StrongFocus);
  connect(this, &QAbstractButton::clicked, this, [this] {
    if (!target_.isValid()) return;
    if (open_) {
      open_(target_);
      return;
    }
    QDesktopServices::openUrl(target_);
  });
}

void CURLLinkButton::SetTarget(const QUrl& target) {
  target_ = target;
  setToolTip(target.toDisplayString());
  if (text().isEmpty()) setText(target.toDisplayString());
  updateGeometry();
}

QSize CURLLinkButton::sizeHint() const { return fontMetrics().size(Qt::TextShowMnemonic, text()) + QSize(4, 4); }

void CURLLinkButton::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::TextAntialiasing);
  QFont linkFont = font();
  linkFont.setUnderline(hovered_ || hasFocus());
  painter.setFont(linkFont);
  painter.setPen(QColor(art::kLink));
  painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, text());
}

void CURLLinkButton::enterEvent(QEnterEvent* event) {
  hovered_ = true;
  update();
  QAbstractButton::enterEvent(event);
}

void CURLLinkButton::leaveEvent(QEvent* event) {
  hovered_ = false;
  update();
  QAbstractButton::leaveEvent(event);
}

}  // namespace korv
