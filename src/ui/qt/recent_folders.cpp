#include "ui/qt/recent_folders.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace korv {

namespace {

QString KeyOf(FolderUse use) {
  switch (use) {
    case FolderUse::DiskFile:
      return QStringLiteral("folders/diskFile");
    case FolderUse::Log:
      return QStringLiteral("folders/log");
    case FolderUse::ImagingTarget:
      return QStringLiteral("folders/imagingTarget");
    case FolderUse::SaveDestination:
      return QStringLiteral("folders/saveDestination");
  }
  return {};
}

const QString kSettingsName = QStringLiteral("korvane");

}  // namespace

QString LastFolder(FolderUse use) {
  const QSettings settings(kSettingsName, kSettingsName);
  const QString folder = settings.value(KeyOf(use)).toString();
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) return {};
  return folder;
}

void RememberFolder(FolderUse use, const QString& path) {
  if (path.isEmpty()) return;
  const QFileInfo chosen(path);
  const QString folder = chosen.isDir() ? chosen.absoluteFilePath() : chosen.absolutePath();
  QSettings settings(kSettingsName, kSettingsName);
  settings.setValue(KeyOf(use), QDir::cleanPath(folder));
}

}  // namespace korv
