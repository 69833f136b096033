#include "ui/qt/controls/page_banner.h"

#include <QPainter>
#include <QPalette>

#include "ui/qt/controls/embedded_art.h"

namespace korv {

PageBanner::PageBanner(QWidget* parent, int height) : QWidget(parent) {
  setObjectName(QStringLiteral("banner"));
  setFixedHeight(height);
}

void PageBanner::paintEvent(QPaintEvent*) {
  // Redrawn only when the page's width changes.
  if (picture_.size() != size()) picture_ = HeaderBitmap(size());
  QPainter(this).drawPixmap(0, 0, picture_);
}

void UseWhiteBackground(QWidget* widget) {
  widget->setAutoFillBackground(true);
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, Qt::white);
  widget->setPalette(palette);
}

}  // namespace korv
