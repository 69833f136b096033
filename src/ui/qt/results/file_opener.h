// Extracting a found file for preview or open, and opening it. Files go to
// a private temporary folder made for this run (created exclusively,
// readable only by the user, removed with the opener). Nothing runs through
// a shell: a chosen program is started with an argument list.
#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>
#include <atomic>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/session.h"
#include "ui/logic/desktop_entry.h"

class QWidget;

namespace korv {

// The private folders of this run are removed by RemovePrivateFolders on the
// way out (the exit question ends the process without running destructors).
// Each folder is held locked while its opener lives, so one left behind by a
// run that crashed is known by its free lock: RemoveStalePrivateFolders
// clears those at start.
void RemovePrivateFolders();
void RemoveStalePrivateFolders(const std::filesystem::path& temporaryRoot);

class FileOpener {
 public:
  explicit FileOpener(Session& session);
  ~FileOpener();
  FileOpener(const FileOpener&) = delete;
  FileOpener& operator=(const FileOpener&) = delete;

  // Extracts the file whose insertionNumber is `id` into the private folder
  // (a folder of its own per id, the file under a safe form of its name);
  // the path once every byte is written, nothing otherwise. The bytes go to
  // a temporary name first, so the path never shows a partial file. Runs on
  // a worker thread, while nothing else uses the store or the source.
  // Setting `stop` ends the extraction between pieces, with nothing.
  std::optional<std::filesystem::path> Extract(std::uint32_t id, const std::atomic<bool>* stop = nullptr);

  // Opens a complete extraction: with the desktop's default handler for
  // its MIME type when there is one, else with the application the user
  // picks from the installed ones (ChooseProgramDialog), started from its
  // Exec line with the path in place of the file codes. UI thread.
  void Open(const std::filesystem::path& path, QWidget* parent);

  // The private folder; empty when it could not be made.
  std::filesystem::path folder() const;

  // Tests replace how the desktop is asked, how URLs are opened and
  // programs started, and the chooser.
  std::function<QString(const QString& mimeType)> defaultHandler;
  std::function<QStringList()> applicationFolders;
  std::function<bool(const QUrl&)> openUrl;
  std::function<bool(const QString& program, const QStringList& arguments)> startProgram;
  std::function<std::optional<DesktopEntry>(QWidget* parent, const QString& path, std::vector<DesktopEntry> offered)>
      chooseProgram;

 private:
  Session& session_;
  class PrivateFolder;
  std::unique_ptr<PrivateFolder> folder_;
};

}  // namespace korv
