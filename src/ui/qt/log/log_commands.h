// "Save Log" and "Load log": the file dialogs of the recovery log, and the
// short worker that writes it. The dialogs run on the UI thread; the log is
// written on a thread of its own, one at a time, and its message comes back
// to the UI thread.
#pragma once

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <optional>
#include <thread>

namespace korv {

class WizardHost;

// What a log dialog gave: nothing when cancelled; an empty path when closed
// without one.
using LogPathChoice = std::optional<QString>;

// The standard dialogs with the filter "*.kvfr".
LogPathChoice AskSaveLogPath(QWidget* parent);
LogPathChoice AskOpenLogPath(QWidget* parent);

class LogSaver final : public QObject {
  Q_OBJECT
 public:
  explicit LogSaver(WizardHost& host, QObject* parent = nullptr);
  ~LogSaver() override;

  // Asks for the file, then writes the log on the worker. Ignored while a
  // save runs. `fromVolumeList`: the log carries the scan lists.
  void Save(bool fromVolumeList);
  bool saving() const { return saving_.load(); }
  // Waits for a running save to end (its message still to be shown).
  void Wait();

  // Tests answer the dialog.
  std::function<LogPathChoice()> choosePath;

 signals:
  void finished();

 private:
  WizardHost& host_;
  std::thread worker_;
  std::atomic<bool> saving_{false};
};

}  // namespace korv
