// The About box: the program's title, "Version 3.2" and a link to our help
// page.
#pragma once

#include <QDialog>
#include <QUrl>

namespace korv {

class AboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit AboutBox(QWidget* parent);
};

// The local help page: `KORVANE_HELP` when set and not empty, else
// <folder of the program>/../share/korvane/help/index.html.
QUrl HelpPageUrl();

}  // namespace korv
