// What every page of the wizard shares in its look: the header picture drawn
// to the page's width, and the white page background the pictures are drawn
// for.
#pragma once

#include <QPixmap>
#include <QWidget>

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

// Gives a page (or dialog) the white background its pictures expect.
void UseWhiteBackground(QWidget* widget);

}  // namespace korv
