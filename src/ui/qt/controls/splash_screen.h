// A borderless window shaped like its picture: pixels of the transparent
// colour are cut out of it. Hidden when its display time runs out or when
// hidden explicitly; fades in where the platform composites windows.
#pragma once

#include <QColor>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

namespace korv {

class CSplashScreenEx : public QWidget {
  Q_OBJECT
 public:
  CSplashScreenEx(QWidget* parent, const QString& text, int displayMs);
  void SetBitmap(const QPixmap& picture, const QColor& transparent);
  void Show();
  void Hide();
  // The window's shape: the region the transparent colour leaves.
  QRegion shape() const { return shape_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString text_;
  QPixmap picture_;
  QRegion shape_;
  QTimer displayTimer_;
};

}  // namespace korv
