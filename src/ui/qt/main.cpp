// korvane: the desktop wizard. `korvane [IMAGE]` starts with IMAGE already
// chosen in the virtual file selection.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStringList>

#include "ui/logic/wizard_flow.h"
#include "ui/qt/pages/wizard_window.h"
#include "ui/qt/pictures.h"
#include "ui/qt/results/file_opener.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(korv::ToQString(korv::kProgramTitle));
  QApplication::setDesktopFileName(QStringLiteral("korvane"));
  // Files a crashed run extracted for preview do not outlive it.
  korv::RemoveStalePrivateFolders(QFile::encodeName(QDir::tempPath()).toStdString());

  korv::WizardWindow::Options options;
  const QStringList arguments = QApplication::arguments();
  if (arguments.size() > 1) options.preselectedPath = arguments.at(1);

  korv::WizardWindow window(std::move(options));
  window.Launch();
  return QApplication::exec();
}
