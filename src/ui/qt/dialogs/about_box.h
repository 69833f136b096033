// The About box: the program's title, "Version 3.2" and a link to our help
// page.
#pragma once

#include <functional>

#include <QDialog>
#include <QUrl>

namespace korv {

class AboutBox : public QDialog {
  Q_OBJECT
 public:
  // With `showHelp`, the help link closes the box and asks for the help
  // page through it instead of opening the page itself.
  explicit AboutBox(QWidget* parent, std::function<void()> showHelp = {});
};

// The local help page: `KORVANE_HELP` when set and not empty, else
// <folder of the program>/../share/korvane/help/index.html.
QUrl HelpPageUrl();

}  // namespace korv
