// What every page of the wizard shares in its look: the header picture drawn
// to the page's width, and the page filled with the palette's window colour
// (the wizard's white surface, see wizard_palette.h).
#pragma once

#include <QPixmap>
#include <QWidget>

class QBoxLayout;

namespace korv {

class PageBanner : public QWidget {
  Q_OBJECT
 public:
  explicit PageBanner(QWidget* parent, int height = 72);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QPixmap picture_;
};

inline constexpr int kPageSideMargin = 12;

// The top of a page, the same on every page: the banner, then one row with
// the page's toolbar (when it has one) at the left and its step picture
// (when it has one) at the right, both at the row's top. Added first to
// `layout`, which must have no margins at its top and sides.
void AddPageTop(QBoxLayout& layout, QWidget* page, QWidget* toolbar, QWidget* step);

// Has a page (or dialog) paint its background, the surface its pictures
// are drawn for.
void FillPageBackground(QWidget* widget);

}  // namespace korv
