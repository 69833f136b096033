#include "ui/qt/log/log_commands.h"

#include <QFileDialog>
#include <filesystem>
#include <string>

#include "app/session.h"
#include "engine/recovery_log.h"
#include "ui/qt/pictures.h"
#include "ui/qt/recent_folders.h"
#include "ui/qt/wizard_host.h"

namespace korv {

namespace {

QString LogFilter() { return ToQString(kLogFileFilter); }

// A path chosen (even an empty one, which the caller refuses) also becomes
// the folder the next log dialog starts in.
LogPathChoice ChoiceOf(const QString& path) {
  if (path.isNull()) return std::nullopt;
  RememberFolder(FolderUse::Log, path);
  return path;
}

}  // namespace

LogPathChoice AskSaveLogPath(QWidget* parent) {
  return ChoiceOf(QFileDialog::getSaveFileName(parent, QString(), LastFolder(FolderUse::Log), LogFilter()));
}

LogPathChoice AskOpenLogPath(QWidget* parent) {
  return ChoiceOf(QFileDialog::getOpenFileName(parent, QString(), LastFolder(FolderUse::Log), LogFilter()));
}

LogSaver::LogSaver(WizardHost& host, QObject* parent) : QObject(parent), host_(host) {
  choosePath = [this] { return AskSaveLogPath(host_.dialogParent()); };
}

LogSaver::~LogSaver() { Wait(); }

void LogSaver::Wait() {
  if (worker_.joinable()) worker_.join();
}

void LogSaver::Save(bool fromVolumeList) {
  if (saving_.load()) return;
  const LogPathChoice chosen = choosePath();
  if (!chosen) return;
  if (chosen->isEmpty()) {
    host_.ShowMessage(kMsgLogNoPath);
    return;
  }
  Wait();
  saving_ = true;
  const std::filesystem::path path(chosen->toStdString());
  worker_ = std::thread([this, path, fromVolumeList] {
    const std::optional<std::string_view> refusal = host_.session().SaveLog(path, fromVolumeList);
    // The message is a constant of the engine: it outlives the hop.
    QMetaObject::invokeMethod(
        this,
        [this, refusal] {
          saving_ = false;
          if (refusal) host_.ShowMessage(*refusal);
          emit finished();
        },
        Qt::QueuedConnection);
  });
}

}  // namespace korv
