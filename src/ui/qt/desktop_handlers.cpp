#include "ui/qt/desktop_handlers.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMimeType>
#include <QProcess>
#include <QStandardPaths>

namespace korv {

QString QueryDefaultHandler(const QString& mimeType) {
  const QString program = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
  if (program.isEmpty() || mimeType.isEmpty()) return {};
  QProcess query;
  query.setProcessChannelMode(QProcess::SeparateChannels);
  query.start(program, {QStringLiteral("query"), QStringLiteral("default"), mimeType});
  if (!query.waitForStarted(kHandlerQueryTimeoutMs)) return {};
  if (!query.waitForFinished(kHandlerQueryTimeoutMs)) {
    query.kill();
    query.waitForFinished(kHandlerQueryTimeoutMs);
    return {};
  }
  if (query.exitStatus() != QProcess::NormalExit || query.exitCode() != 0) return {};
  // One line, the desktop id; a handler's id is never long.
  return QString::fromUtf8(query.readAllStandardOutput().left(1024)).section(QLatin1Char('\n'), 0, 0).trimmed();
}

QStringList ApplicationFolders() {
  return QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation);
}

std::vector<DesktopEntry> ReadApplications(const QStringList& folders) {
  std::vector<DesktopEntry> entries;
  int filesRead = 0;
  for (const QString& folder : folders) {
    const QDir root(folder);
    QDirIterator files(folder, {QStringLiteral("*.desktop")}, QDir::Files | QDir::Readable,
                       QDirIterator::Subdirectories | QDirIterator::FollowSymlinks);
    while (files.hasNext() && filesRead < kMaxDesktopEntryFiles) {
      const QString path = files.next();
      ++filesRead;
      QFile file(path);
      if (!file.open(QIODevice::ReadOnly)) continue;
      const QByteArray text = file.read(static_cast<qint64>(kMaxDesktopEntryBytes));
      // The desktop id: the path below the folder, "/" turned into "-".
      const QString id = root.relativeFilePath(path).replace(QLatin1Char('/'), QLatin1Char('-'));
      auto entry = ParseDesktopEntry(std::string_view(text.constData(), static_cast<std::size_t>(text.size())),
                                     id.toStdString());
      if (entry) entries.push_back(std::move(*entry));
    }
  }
  return entries;
}

std::vector<std::string> TypesTaking(const QMimeType& type) {
  std::vector<std::string> types;
  if (!type.isValid()) return types;
  types.push_back(type.name().toStdString());
  for (const QString& other : type.aliases() + type.allAncestors()) types.push_back(other.toStdString());
  return types;
}

}  // namespace korv
