// A text drawn like a hyperlink: underlined while the mouse is over it, with
// the hand cursor; a click opens its target with the desktop's handler, or
// hands it to the opener its owner gave.
#pragma once

#include <QAbstractButton>
#include <QUrl>
#include <functional>

namespace korv {

class CURLLinkButton : public QAbstractButton {
  Q_OBJECT
 public:
  explicit CURLLinkButton(QWidget* parent = nullptr);
  void SetTarget(const QUrl& target);
  void SetOpener(std::function<void(const QUrl&)> open) { open_ = std::move(open); }
  QUrl target() const { return target_; }
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  QUrl target_;
  std::function<void(const QUrl&)> open_;
  bool hovered_ = false;
};

}  // namespace korv
