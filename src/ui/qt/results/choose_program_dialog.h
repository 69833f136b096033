// The choice of a program for a file the desktop has no handler for: the
// installed applications (those that declare the file's type first, in
// bold, the first of them chosen to begin with), one picked and confirmed
// with OK or a double-click. Never a typed
// command: what starts is an application's own Exec line.
//
// Object names: "programList", "okButton", "cancelButton".
#pragma once

#include <QDialog>
#include <QString>
#include <optional>
#include <string_view>
#include <vector>

#include "ui/logic/desktop_entry.h"

class QListWidget;
class QPushButton;

namespace korv {

inline constexpr std::string_view kChooseProgramTitle = "Open With";
inline constexpr std::string_view kChooseProgramText = "Choose the program you want to use to open this file:";

class ChooseProgramDialog : public QDialog {
  Q_OBJECT
 public:
  // `applications` in the order shown (OrderForTypes).
  ChooseProgramDialog(QWidget* parent, const QString& path, std::vector<DesktopEntry> applications);

  // The application picked; nothing while no row is.
  std::optional<DesktopEntry> chosen() const;

  // Shows the dialog; the application chosen, or nothing when cancelled.
  static std::optional<DesktopEntry> Choose(QWidget* parent, const QString& path,
                                            std::vector<DesktopEntry> applications);

 private:
  std::vector<DesktopEntry> applications_;
  QListWidget* list_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace korv
