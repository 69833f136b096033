#include "ui/qt/results/file_opener.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QMimeType>
#include <QProcess>
#include <QTemporaryDir>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>
#include <system_error>

#include "save/extraction.h"
#include "save/safe_names.h"
#include "ui/qt/desktop_handlers.h"
#include "ui/qt/results/choose_program_dialog.h"

namespace korv {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kFolderTemplate = "/korvane-XXXXXX";
constexpr std::string_view kFolderPrefix = "korvane-";
constexpr std::size_t kFolderSuffixLength = 6;  // mkdtemp's XXXXXX
constexpr std::string_view kPartialTemplate = ".partial-XXXXXX";
constexpr mode_t kPrivateMode = 0700;

QString PathText(const fs::path& path) { return QFile::decodeName(QByteArray(path.c_str())); }

// A folder of our own inside the private folder: made here, or left by an
// earlier extraction of the same file. Nobody else can write to the private
// folder, so what is there is ours; a link is still refused.
bool MakeOwnFolder(const fs::path& path) {
  if (::mkdir(path.c_str(), kPrivateMode) == 0) return true;
  if (errno != EEXIST) return false;
  std::error_code error;
  return fs::symlink_status(path, error).type() == fs::file_type::directory;
}

// An empty file with a name of its own in `folder`, made exclusively.
std::optional<fs::path> MakePartialFile(const fs::path& folder) {
  std::string name = (folder / std::string(kPartialTemplate)).string();
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return std::nullopt;
  ::close(fd);
  return fs::path(name);
}

// The private folders of the openers alive now.
struct LiveFolders {
  std::mutex mutex;
  std::vector<fs::path> paths;
};

LiveFolders& Live() {
  static LiveFolders live;
  return live;
}

// A folder we may take for one of ours: named as we name them, a real
// folder (not a link) of this user.
bool LooksOurs(const fs::directory_entry& entry) {
  const std::string name = entry.path().filename().string();
  if (name.size() != kFolderPrefix.size() + kFolderSuffixLength || !name.starts_with(kFolderPrefix)) return false;
  struct stat info {};
  if (::lstat(entry.path().c_str(), &info) != 0) return false;
  return S_ISDIR(info.st_mode) && info.st_uid == ::getuid();
}

}  // namespace

void RemovePrivateFolders() {
  LiveFolders& live = Live();
  std::lock_guard lock(live.mutex);
  for (const fs::path& path : live.paths) {
    std::error_code error;
    fs::remove_all(path, error);
  }
  live.paths.clear();
}

void RemoveStalePrivateFolders(const fs::path& temporaryRoot) {
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(temporaryRoot, error)) {
    if (!LooksOurs(entry)) continue;
    const int fd = ::open(entry.path().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    // A live run holds its folder's lock; a free lock is a run that ended
    // without clearing up.
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) fs::remove_all(entry.path(), error);
    ::close(fd);
  }
}

// mkdtemp under the user's temporary folder: a new folder, mode 0700, that
// no other user can see into; held locked while it lives, and removed with
// all it holds.
class FileOpener::PrivateFolder {
 public:
  PrivateFolder() : folder_(QDir::tempPath() + QString::fromLatin1(kFolderTemplate.data(), kFolderTemplate.size())) {
    if (!folder_.isValid()) return;
    lock_ = ::open(path().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (lock_ >= 0) ::flock(lock_, LOCK_EX | LOCK_NB);
    LiveFolders& live = Live();
    std::lock_guard guard(live.mutex);
    live.paths.push_back(path());
  }
  ~PrivateFolder() {
    if (folder_.isValid()) {
      LiveFolders& live = Live();
      std::lock_guard guard(live.mutex);
      std::erase(live.paths, path());
    }
    if (lock_ >= 0) ::close(lock_);
  }
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;

  fs::path path() const {
    if (!folder_.isValid()) return {};
    return fs::path(QFile::encodeName(folder_.path()).toStdString());
  }

 private:
  QTemporaryDir folder_;
  int lock_ = -1;
};

FileOpener::FileOpener(Session& session) : session_(session), folder_(std::make_unique<PrivateFolder>()) {
  openUrl = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
  startProgram = [](const QString& program, const QStringList& arguments) {
    return QProcess::startDetached(program, arguments);
  };
  defaultHandler = [](const QString& mimeType) { return QueryDefaultHandler(mimeType); };
  applicationFolders = [] { return ApplicationFolders(); };
  chooseProgram = [](QWidget* parent, const QString& path, std::vector<DesktopEntry> offered) {
    return ChooseProgramDialog::Choose(parent, path, std::move(offered));
  };
}

FileOpener::~FileOpener() = default;

fs::path FileOpener::folder() const { return folder_->path(); }

std::optional<fs::path> FileOpener::Extract(std::uint32_t id, const std::atomic<bool>* stop) {
  const fs::path root = folder();
  if (root.empty()) return std::nullopt;
  const FoundFile* file = session_.store.FileByInsertionNumber(id);
  if (file == nullptr) return std::nullopt;

  const fs::path own = root / std::to_string(id);
  const fs::path target = own / SafeHostName(file->name, file->insertionNumber);
  if (!LiesInside(root, target) || !MakeOwnFolder(own)) return std::nullopt;
  const auto partial = MakePartialFile(own);
  if (!partial) return std::nullopt;

  ExtractionSource source(session_.sectors, session_.analysisParameters);
  std::error_code error;
  if (!ExtractFoundFile(source, *file, *partial, stop)) {
    fs::remove(*partial, error);
    return std::nullopt;
  }
  fs::rename(*partial, target, error);
  if (error) {
    fs::remove(*partial, error);
    return std::nullopt;
  }
  return target;
}

void FileOpener::Open(const fs::path& path, QWidget* parent) {
  const QString shown = PathText(path);
  const QMimeType type = QMimeDatabase().mimeTypeForFile(shown);
  if (!defaultHandler(type.name()).isEmpty() && openUrl(QUrl::fromLocalFile(shown))) return;
  const auto chosen =
      chooseProgram(parent, shown, OrderForTypes(ReadApplications(applicationFolders()), TypesTaking(type)));
  if (!chosen) return;
  const std::vector<std::string> command = ExecArguments(chosen->exec, shown.toStdString());
  if (command.empty()) return;
  QStringList arguments;
  for (std::size_t i = 1; i < command.size(); ++i) arguments << QString::fromStdString(command[i]);
  startProgram(QString::fromStdString(command.front()), arguments);
}

}  // namespace korv
