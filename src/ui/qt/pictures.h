// Where the pages' pictures come from, and the one conversion of the
// system's UTF-8 texts into Qt's strings.
#pragma once

#include <QPixmap>
#include <QString>
#include <string_view>

namespace korv {

// The system's texts are UTF-8.
inline QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
// A text of a dialog or label: "&&" shows as one "&".
QString DisplayQString(std::string_view text);

// The picture folder of this run (see PictureFolder in ui/logic/wizard_flow.h).
QString PictureFolderPath();
// A picture from the picture folder by its name ("\Next-btn.bmp"); a null
// pixmap when the file is missing or cannot be decoded. Nothing is reported.
QPixmap LoadPicture(std::string_view pictureName);

}  // namespace korv
