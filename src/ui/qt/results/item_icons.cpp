#include "ui/qt/results/item_icons.h"

#include <QApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QStyle>

#include "ui/qt/controls/embedded_art.h"

namespace korv {

namespace {

QIcon StyleIcon(QStyle::StandardPixmap which) {
  return qApp != nullptr ? QApplication::style()->standardIcon(which) : QIcon();
}

QIcon FolderIcon() {
  static const QIcon icon = [] {
    QIcon folder = QFileIconProvider().icon(QFileIconProvider::Folder);
    return folder.isNull() ? StyleIcon(QStyle::SP_DirIcon) : folder;
  }();
  return icon;
}

QIcon PlainFileIcon() {
  static const QIcon icon = [] {
    QIcon file = QFileIconProvider().icon(QFileIconProvider::File);
    return file.isNull() ? StyleIcon(QStyle::SP_FileIcon) : file;
  }();
  return icon;
}

// The extension of a found name, lower case, without the dot; empty when
// the name has none.
QString ExtensionOf(const std::u16string& name) {
  const auto dot = name.rfind(u'.');
  if (dot == std::u16string::npos || dot + 1 == name.size()) return {};
  return QString::fromUtf16(name.data() + dot + 1, static_cast<qsizetype>(name.size() - dot - 1)).toLower();
}

// The desktop's icon for files of an extension: the icon provider's, else
// the icon theme's for the extension's type, else the plain file icon.
QIcon IconForExtension(const QString& extension) {
  const QString sample = QStringLiteral("file.") + extension;
  QIcon icon = QFileIconProvider().icon(QFileInfo(sample));
  if (!icon.isNull()) return icon;
  const QMimeType type = QMimeDatabase().mimeTypeForFile(sample, QMimeDatabase::MatchExtension);
  icon = QIcon::fromTheme(type.iconName(), QIcon::fromTheme(type.genericIconName()));
  return icon.isNull() ? PlainFileIcon() : icon;
}

}  // namespace

QIcon ItemIcons::IconOf(const Store& store, const ResultRow& row) const {
  if (row.folder) return FolderIcon();
  const QString extension = ExtensionOf(store.file(row.id).name);
  const auto known = iconByExtension_.constFind(extension);
  if (known != iconByExtension_.constEnd()) return *known;
  return *iconByExtension_.insert(extension, IconForExtension(extension));
}

QColor ItemColour(bool deleted) { return QColor(deleted ? art::kDeletedInk : art::kInk); }

QFont ItemFont() {
  QFont font;
  font.setBold(false);
  return font;
}

}  // namespace korv
