#include "ui/qt/controls/picture_ctrl.h"

#include <QImageReader>
#include <QPainter>

#include "ui/qt/controls/embedded_art.h"

namespace korv {

CPictureCtrl::CPictureCtrl(QWidget* parent) : QWidget(parent) {}

bool CPictureCtrl::Load(const QString& path) {
  QImageReader reader(path);
  reader.setAutoTransform(true);
  const QImage decoded = reader.read();
  SetImage(decoded);
  return !decoded.isNull();
}

void CPictureCtrl::SetImage(const QImage& image) {
  image_ = image;
  update();
}

void CPictureCtrl::Clear() { SetImage({}); }

// Shrunk to fit inside the frame, never enlarged, and centred.
void CPictureCtrl::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(QColor(art::kDisabled));
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  if (image_.isNull()) return;
  const QRect inside = rect().adjusted(2, 2, -2, -2);
  QSize shown = image_.size();
  if (shown.width() > inside.width() || shown.height() > inside.height()) {
    shown.scale(inside.size(), Qt::KeepAspectRatio);
  }
  QRect target(QPoint(0, 0), shown);
  target.moveCenter(inside.center());
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(target, image_);
}

}  // namespace korv
