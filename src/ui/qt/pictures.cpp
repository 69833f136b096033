#include "ui/qt/pictures.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdlib>

#include "ui/logic/item_texts.h"
#include "ui/logic/wizard_flow.h"

namespace korv {

QString DisplayQString(std::string_view text) { return ToQString(DisplayText(text)); }

QString PictureFolderPath() {
  const std::string folder =
      PictureFolder(std::getenv("KORVANE_PICTURES"), QCoreApplication::applicationDirPath().toStdString());
  return QString::fromStdString(folder);
}

QPixmap LoadPicture(std::string_view pictureName) {
  const QString path = QString::fromStdString(PicturePath(PictureFolderPath().toStdString(), pictureName));
  if (!QFile::exists(path)) return {};
  QPixmap picture;
  if (!picture.load(path)) return {};
  return picture;
}

}  // namespace korv
