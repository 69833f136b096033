#include "ui/qt/controls/page_banner.h"

#include <QBoxLayout>
#include <QPainter>

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

void AddPageTop(QBoxLayout& layout, QWidget* page, QWidget* toolbar, QWidget* step) {
  layout.insertWidget(0, new PageBanner(page));
  auto* row = new QHBoxLayout;
  row->setContentsMargins(kPageSideMargin, 0, kPageSideMargin, 0);
  if (toolbar != nullptr) row->addWidget(toolbar, 0, Qt::AlignLeft | Qt::AlignTop);
  row->addStretch(1);
  if (step != nullptr) row->addWidget(step, 0, Qt::AlignRight | Qt::AlignTop);
  layout.insertLayout(1, row);
}

// The colour is the palette's: a colour set here would stay white under a
// theme's light text.
void FillPageBackground(QWidget* widget) { widget->setAutoFillBackground(true); }

}  // namespace korv
