// The save flow's dialogs over the engine's save walk: the destination
// dialog (DataCopyPath) with "&Browse..." and "&Settings...", and behind its
// "&OK" the evaluation (CalculateDataSize), the free-space question, the
// progress dialog (DataCopyProgress) with its replace (FileReplaceOptions)
// and copy-error (ErrorCopying) dialogs, and the verdict. The evaluation
// and the save run on worker threads; their questions come to the UI thread
// and the worker waits for the answer. During a raw run the dialog only
// picks the carving folder: "&OK" checks and creates it, keeps it and
// closes.
#pragma once

#include <QDialog>
#include <filesystem>
#include <functional>
#include <optional>

class QLineEdit;

namespace korv {

class Prompts;
class Session;

class DataCopyPath : public QDialog {
  Q_OBJECT
 public:
  // Creating the dialog resets the save's counters and its replace answer.
  DataCopyPath(Session& session, QWidget* parent);

  // Tests replace the folder picker and the free-space query.
  std::function<QString()> chooseFolder;
  std::function<std::optional<std::uint64_t>(const std::filesystem::path&)> freeSpace;

  // Object names: "pathEdit", "browseButton", "settingsButton", "okButton",
  // "cancelButton".

  // The folder "&OK" accepted in a raw run; nothing otherwise.
  const std::optional<std::filesystem::path>& carvingFolder() const { return carvingFolder_; }

 private:
  void Browse();
  void OpenSettings();
  // "&OK": the path's checks, the evaluation, the free-space question, then
  // the save; the dialog stays open when one of them says no.
  void Accept();
  void Evaluate();
  void Save(const std::filesystem::path& destination);

  Session& session_;
  // Where this dialog's messages and questions go: the wizard's dialogs.
  Prompts* prompts_ = nullptr;
  QLineEdit* pathEdit_ = nullptr;
  std::optional<std::filesystem::path> carvingFolder_;
};

}  // namespace korv
