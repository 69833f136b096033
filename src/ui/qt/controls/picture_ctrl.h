// An image file decoded by Qt's image readers (BMP, JPEG, PNG, GIF, TIFF,
// icons), drawn scaled inside a thin frame.
#pragma once

#include <QImage>
#include <QString>
#include <QWidget>

namespace korv {

class CPictureCtrl : public QWidget {
  Q_OBJECT
 public:
  explicit CPictureCtrl(QWidget* parent = nullptr);
  // False when the file cannot be decoded; the control is then empty.
  bool Load(const QString& path);
  void SetImage(const QImage& image);
  void Clear();
  bool hasImage() const { return !image_.isNull(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QImage image_;
};

}  // namespace korv
