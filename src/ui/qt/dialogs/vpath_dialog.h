// The virtual file selection dialog: Browse picks a file and probes it, OK
// accepts it into the session (the accepted file becomes the current
// source); a refusal shows its message and the dialog stays open.
//
// Controls by object name: "pathEdit" (read-only, the chosen path),
// "browseButton", "okButton", "cancelButton".
//
// One dialog can be opened again and again: it keeps the chosen path and
// probes it afresh on the next OK, so a ".vbox" chosen earlier is resolved
// again to the disk it names by then.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>
#include <string_view>

#include "vdisk/selection.h"

class QLineEdit;
class QPushButton;

namespace korv {

class Session;

inline constexpr std::string_view kVirtualPathTitle = " Virtual Path Selection";
inline constexpr std::string_view kVirtualPathPrompt = "Select Virtual File Path ";
inline constexpr std::string_view kVirtualPathHeading = "Please choose virtual path for data recovery";
inline constexpr std::string_view kBrowseCaption = "&Browse...";
inline constexpr std::string_view kOkCaption = "&OK";
inline constexpr std::string_view kCancelCaption = "&Cancel";

class VPath : public QDialog {
  Q_OBJECT
 public:
  VPath(Session& session, QWidget* parent);
  ~VPath() override;

  // What Browse does once a file is chosen: shows the path and probes it
  // (a ".vbox" is resolved to the disk it names).
  void ChoosePath(const QString& path);

  // The path shown, as the user chose it (a ".vbox" stays a ".vbox").
  QString chosenPath() const { return chosenPath_; }

  // The file dialog of Browse; an empty path means it was cancelled.
  // Replaceable, so tests can script it.
  std::function<QString()> chooseFile;

 protected:
  // Closing without OK lets go of the probed file.
  void done(int result) override;

 private:
  QString AskForFile();
  void Browse();
  void Accept();

  Session& session_;
  QLineEdit* pathEdit_ = nullptr;
  QString chosenPath_;
  // The probe of the chosen path, until OK hands it to the session.
  std::optional<VirtualFileProbe> probe_;
};

}  // namespace korv
