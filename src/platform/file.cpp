#include "platform/file.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csetjmp>
#include <csignal>
#include <fstream>
#include <sstream>

#include "platform/bytes.h"
#include "platform/split_read.h"

namespace korv {

namespace fs = std::filesystem;

namespace {

int OpenNoAtime(const fs::path& path, int flags) {
  int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NOATIME);
  // O_NOATIME is only allowed to the file's owner; others read without it.
  if (fd < 0 && errno == EPERM) fd = ::open(path.c_str(), flags | O_CLOEXEC);
  return fd;
}

std::uint64_t SizeOfDescriptor(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0) return 0;
  if (S_ISBLK(info.st_mode)) {
    std::uint64_t bytes = 0;
    if (::ioctl(fd, BLKGETSIZE64, &bytes) == 0) return bytes;
    return 0;
  }
  return info.st_size > 0 ? static_cast<std::uint64_t>(info.st_size) : 0;
}

// A look at mapped pages ends through here when a page is gone (the file
// was cut shorter, or the device failed to read it): the bus error then
// jumps back to the look's start instead of ending the program.
thread_local sigjmp_buf* tLookStart = nullptr;
struct sigaction gBusErrorBefore {};

void OnBusError(int signal) {
  if (tLookStart != nullptr) siglongjmp(*tLookStart, 1);
  // Not during a look: a fault of the program's own, handled as it was
  // before any look.
  ::sigaction(SIGBUS, &gBusErrorBefore, nullptr);
  std::raise(signal);
}

void CatchBusErrors() {
  static std::once_flag installed;
  std::call_once(installed, [] {
    struct sigaction action {};
    action.sa_handler = OnBusError;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_NODEFER;
    ::sigaction(SIGBUS, &action, &gBusErrorBefore);
  });
}

// False when the look was ended by a page that is gone. `at` as ByteLook's.
bool LookGuarded(std::uint64_t at, std::span<const std::uint8_t> bytes, const ByteLook& look) {
  sigjmp_buf start;
  if (sigsetjmp(start, 1) != 0) {
    tLookStart = nullptr;
    return false;
  }
  tLookStart = &start;
  look(at, bytes);
  tLookStart = nullptr;
  return true;
}

// The second half on the helper, when it is free; each thread has a guard
// of its own, as a bus error is raised on the thread that touched the page.
bool LookOnTwoThreads(std::span<const std::uint8_t> bytes, const ByteLook& look) {
  if (bytes.size() < kSplitLookMinBytes) return LookGuarded(0, bytes, look);
  const std::size_t half = HalfOnPageBoundary(bytes.size());
  bool first = false;
  bool second = false;
  RunOnTwoThreads([&] { first = LookGuarded(0, bytes.first(half), look); },
                  [&] { second = LookGuarded(half, bytes.subspan(half), look); });
  return first && second;
}

// Drops the whole pages of [start, end) of a map; the page cache keeps them.
void Unmap(const std::uint8_t* map, std::uint64_t start, std::uint64_t end) {
  const auto page = static_cast<std::uint64_t>(::sysconf(_SC_PAGESIZE));
  const std::uint64_t first = (start + page - 1) / page * page;
  const std::uint64_t last = end / page * page;
  if (last > first) ::madvise(const_cast<std::uint8_t*>(map) + first, static_cast<std::size_t>(last - first), MADV_DONTNEED);
}

// Looked-at pages are dropped in steps of this many bytes: the page cache
// maps a file in huge pages where it can, and dropping part of one splits
// it at a cost far above the look's.
constexpr std::uint64_t kUnmapStepBytes = std::uint64_t{8} << 20;

// Dropping the pages of a step costs as much as mapping them, so a drop of
// at least a step is shared out as the look is, split on a step's half.
void UnmapOnTwoThreads(const std::uint8_t* map, std::uint64_t start, std::uint64_t end) {
  if (end - start < kUnmapStepBytes) {
    Unmap(map, start, end);
    return;
  }
  const std::uint64_t middle = (start + (end - start) / 2) / (kUnmapStepBytes / 2) * (kUnmapStepBytes / 2);
  RunOnTwoThreads([&] { Unmap(map, start, middle); }, [&] { Unmap(map, middle, end); });
}

class DeviceWriter final : public WriteHandle {
 public:
  explicit DeviceWriter(int fd) : fd_(fd) {}
  ~DeviceWriter() override { ::close(fd_); }

  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> data) override {
    std::size_t done = 0;
    while (done < data.size()) {
      const ssize_t n = ::pwrite(fd_, data.data() + done, data.size() - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  bool Flush() override { return ::fsync(fd_) == 0; }

 private:
  int fd_;
};

}  // namespace

std::unique_ptr<File> File::OpenReadOnly(const fs::path& path, std::error_code* error) {
  const int fd = OpenNoAtime(path, O_RDONLY);
  if (fd < 0) {
    if (error) *error = std::error_code(errno, std::generic_category());
    return nullptr;
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || S_ISDIR(info.st_mode)) {
    if (error) *error = std::make_error_code(std::errc::is_a_directory);
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<File>(new File(fd));
}

File::~File() {
  if (map_ != nullptr) ::munmap(const_cast<std::uint8_t*>(map_), static_cast<std::size_t>(mapBytes_));
  if (fd_ >= 0) ::close(fd_);
}

std::size_t File::ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    const std::uint64_t position = offset + done;
    if (position < offset || position > static_cast<std::uint64_t>(INT64_MAX)) break;
    const ssize_t n = ::pread(fd_, out.data() + done, out.size() - done, static_cast<off_t>(position));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

std::uint64_t File::Size() { return SizeOfDescriptor(fd_); }

void File::Map() {
  const std::uint64_t bytes = SizeOfDescriptor(fd_);
  if (bytes == 0 || bytes > SIZE_MAX) return;
  void* map = ::mmap(nullptr, static_cast<std::size_t>(bytes), PROT_READ, MAP_SHARED, fd_, 0);
  if (map == MAP_FAILED) return;
  CatchBusErrors();
  map_ = static_cast<const std::uint8_t*>(map);
  mapBytes_ = bytes;
}

bool File::Look(std::uint64_t offset, std::size_t length, const ByteLook& look) {
  std::call_once(mapOnce_, [this] { Map(); });
  if (map_ == nullptr || !RangeFits(mapBytes_, offset, length)) return false;
  const bool seen = LookOnTwoThreads(std::span(map_ + offset, length), look);
  Release(offset, offset + length);
  return seen;
}

// Scans look at a file in order, so the range looked at since the last drop
// grows at its end; it is dropped up to the last whole step, and all of it
// once a look elsewhere starts a new range.
void File::Release(std::uint64_t start, std::uint64_t end) {
  std::lock_guard lock(releaseMutex_);
  if (start != lookedEnd_) {
    Unmap(map_, lookedStart_, lookedEnd_);
    lookedStart_ = start;
  }
  lookedEnd_ = end;
  const std::uint64_t step = end / kUnmapStepBytes * kUnmapStepBytes;
  if (step <= lookedStart_) return;
  UnmapOnTwoThreads(map_, lookedStart_, step);
  lookedStart_ = step;
}

bool HeldByAnotherWriter(const fs::path& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  // An open-file-description lock conflicts with every record lock but its
  // own, so a read lock over the whole file is refused exactly when some
  // other holder has a write lock on part of it.
  struct flock probe {};
  probe.l_type = F_RDLCK;
  probe.l_whence = SEEK_SET;
  probe.l_start = 0;
  probe.l_len = 0;
  const bool held = ::fcntl(fd, F_OFD_GETLK, &probe) == 0 && probe.l_type != F_UNLCK;
  ::close(fd);
  return held;
}

std::unique_ptr<ReadHandle> PosixIo::OpenRead(const fs::path& path) { return File::OpenReadOnly(path); }

std::unique_ptr<WriteHandle> PosixIo::OpenDeviceWrite(const fs::path& path) {
  if (DeviceHasMountedFileSystem(path)) return nullptr;
  // Never create: only an existing device (or, in tests, an existing file).
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return nullptr;
  return std::make_unique<DeviceWriter>(fd);
}

bool PosixIo::Exists(const fs::path& path) { return PathExists(path); }

bool PathExists(const fs::path& path) {
  std::error_code ec;
  return fs::exists(path, ec);
}

bool IsRegularFile(const fs::path& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

bool IsDirectory(const fs::path& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

bool IsSameFile(const fs::path& a, const fs::path& b) {
  if (a.empty() || b.empty()) return false;
  std::error_code ec;
  return fs::equivalent(a, b, ec) && !ec;
}

std::optional<std::uint64_t> FreeSpace(const fs::path& path) {
  std::error_code ec;
  const auto info = fs::space(path, ec);
  if (ec) return std::nullopt;
  return info.available;
}

bool NamesMayHoldColons(const fs::path& path) {
  // The magic numbers of linux/magic.h for vfat and msdos, and for exfat.
  constexpr long kFatMagic = 0x4d44;
  constexpr long kExfatMagic = 0x2011BAB0;
  struct statfs info {};
  if (::statfs(path.c_str(), &info) != 0) return true;
  const auto type = static_cast<long>(info.f_type);
  return type != kFatMagic && type != kExfatMagic;
}

static bool EqualsIgnoringAsciiCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; };
           return lower(x) == lower(y);
         });
}

std::optional<fs::path> FindInFolder(const fs::path& folder, const std::string& name) {
  if (name.empty() || name == "." || name == "..") return std::nullopt;
  const fs::path exact = folder / name;
  if (PathExists(exact)) return exact;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    if (EqualsIgnoringAsciiCase(it->path().filename().string(), name)) return it->path();
  }
  return std::nullopt;
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  if (text.size() < suffix.size()) return false;
  return std::equal(suffix.begin(), suffix.end(), text.end() - static_cast<std::ptrdiff_t>(suffix.size()),
                    [](char a, char b) {
                      return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                    });
}

std::string StoredNameLeaf(const std::string& storedName) {
  const auto cut = storedName.find_last_of("\\/");
  return cut == std::string::npos ? storedName : storedName.substr(cut + 1);
}

std::optional<fs::path> FindStoredFile(const std::string& storedName, const fs::path& referrer) {
  if (storedName.empty()) return std::nullopt;
  fs::path folder = referrer.parent_path();
  if (folder.empty()) folder = ".";
  const fs::path asPath(storedName);
  if (asPath.is_absolute()) {
    if (IsRegularFile(asPath)) return asPath;
  } else {
    // Relative to the referrer, never to our working folder.
    std::string relative = storedName;
    std::replace(relative.begin(), relative.end(), '\\', '/');
    if (IsRegularFile(folder / relative)) return folder / relative;
  }
  return FindInFolder(folder, StoredNameLeaf(storedName));
}

bool DeviceHasMountedFileSystem(const fs::path& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISBLK(info.st_mode)) return false;
  const unsigned major = ::major(info.st_rdev);
  const unsigned minor = ::minor(info.st_rdev);

  // A whole disk counts as mounted when any of its partitions is: their
  // sysfs entries sit under the disk's own directory.
  std::ifstream mounts("/proc/self/mountinfo");
  std::string line;
  const std::string sysDisk = "/sys/dev/block/" + std::to_string(major) + ":" + std::to_string(minor);
  std::error_code ec;
  const fs::path diskDir = fs::canonical(sysDisk, ec);
  while (std::getline(mounts, line)) {
    std::istringstream fields(line);
    std::string id, parent, numbers;
    fields >> id >> parent >> numbers;
    const auto colon = numbers.find(':');
    if (colon == std::string::npos) continue;
    const std::string mountedSys = "/sys/dev/block/" + numbers;
    if (numbers == std::to_string(major) + ":" + std::to_string(minor)) return true;
    if (ec) continue;
    std::error_code ec2;
    const fs::path mountedDir = fs::canonical(mountedSys, ec2);
    if (!ec2 && mountedDir.parent_path() == diskDir) return true;
  }
  return false;
}

}  // namespace korv
