// A bar filled with a colour gradient up to its position (0 to 100), with
// the percentage centred on it as "%3.0f %%". Drawn into an off-screen
// pixmap first and copied, so it does not flicker.
#pragma once

#include <QWidget>

namespace korv {

class CGradientProgressCtrl : public QWidget {
  Q_OBJECT
 public:
  explicit CGradientProgressCtrl(QWidget* parent = nullptr);
  void SetPosition(int position);  // clamped to 0..100
  int position() const { return position_; }
  QString text() const;  // what is drawn on the bar
  QSize sizeHint() const override { return {200, 22}; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int position_ = 0;
};

}  // namespace korv
