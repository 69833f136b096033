// The choice of a program for a file the desktop has no handler for: a
// program typed or picked with "&Browse...", confirmed with OK.
//
// Object names: "programEdit", "browseButton", "okButton", "cancelButton".
#pragma once

#include <QDialog>
#include <QString>
#include <string_view>

class QLineEdit;
class QPushButton;

namespace korv {

inline constexpr std::string_view kChooseProgramTitle = "Open With";
inline constexpr std::string_view kChooseProgramText = "Choose the program you want to use to open this file:";

class ChooseProgramDialog : public QDialog {
  Q_OBJECT
 public:
  ChooseProgramDialog(QWidget* parent, const QString& path);

  // The program as typed or picked, without surrounding blanks.
  QString program() const;

  // Shows the dialog; the chosen program, or an empty text when cancelled.
  static QString Choose(QWidget* parent, const QString& path);

 private:
  void Browse();

  QLineEdit* program_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace korv
