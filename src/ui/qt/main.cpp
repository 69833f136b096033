// korvane: the desktop wizard. `korvane [IMAGE]` starts with IMAGE already
// chosen in the virtual file selection.
#include <cstdio>
#include <cstring>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStringList>

#include "ui/logic/wizard_flow.h"
#include "ui/qt/pages/wizard_window.h"
#include "ui/qt/pictures.h"
#include "ui/qt/results/file_opener.h"

namespace {

constexpr const char* kUsage =
    "Usage: korvane [IMAGE]\n"
    "Korvane Vireon: recovers files from virtual-machine disk files.\n"
    "\n"
    "Starts the recovery wizard, with IMAGE (a virtual disk file, a .vbox naming one,\n"
    "a raw disk image or an image folder) already chosen when given.\n"
    "\n"
    "Options:\n"
    "  -h, --help     Print this help message and exit\n"
    "  --version      Display program version information and exit\n"
    "\n"
    "The command line korvane-cli does the same work without a window.\n";

// --help and --version answer without a display, before Qt starts.
bool AnsweredWithoutWindow(int argc, char** argv) {
  if (argc < 2) return false;
  if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
    std::fputs(kUsage, stdout);
    return true;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("korvane %s\n", KORV_VERSION);
    return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnsweredWithoutWindow(argc, argv)) return 0;
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
