#include "ui/qt/controls/label.h"

#include <QApplication>

namespace korv {

CLabel::CLabel(QWidget* parent) : QLabel(parent) {}

QFont ScaledFont(QFont base, double factor) {
  if (base.pointSizeF() > 0) {
    base.setPointSizeF(base.pointSizeF() * factor);
  } else if (base.pixelSize() > 0) {
    base.setPixelSize(qRound(base.pixelSize() * factor));
  }
  return base;
}

CLabel& CLabel::SetFontScale(double factor) {
  setFont(ScaledFont(QApplication::font(this), factor));
  return *this;
}

CLabel& CLabel::SetBold(bool bold) {
  QFont changed = font();
  changed.setBold(bold);
  setFont(changed);
  return *this;
}

CLabel& CLabel::SetTextColor(const QColor& colour) {
  QPalette changed = palette();
  changed.setColor(QPalette::WindowText, colour);
  setPalette(changed);
  return *this;
}

// A label fills its background only when it is not transparent.
CLabel& CLabel::SetTransparent(bool transparent) {
  setAutoFillBackground(!transparent);
  return *this;
}

CTransparentStatic::CTransparentStatic(QWidget* parent) : QLabel(parent) { setAutoFillBackground(false); }

// The old text stays on the page until the parent repaints under it.
void CTransparentStatic::SetText(const QString& text) {
  setText(text);
  if (parentWidget() != nullptr) parentWidget()->update(geometry());
}

}  // namespace korv
