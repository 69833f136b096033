// The help page in the program's own window, for a desktop with no program
// for web pages: a QTextBrowser over the installed page, its links followed
// inside it. Not modal, so the wizard stays usable beside it.
//
// Object names: "helpViewer" (the window), "helpBrowser".
#pragma once

#include <QDialog>
#include <QUrl>

class QTextBrowser;

namespace korv {

class HelpViewer : public QDialog {
  Q_OBJECT
 public:
  HelpViewer(QWidget* parent, const QUrl& page);
  QTextBrowser* browser() const { return browser_; }

 private:
  QTextBrowser* browser_ = nullptr;
};

}  // namespace korv
