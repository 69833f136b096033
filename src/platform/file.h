// Files and devices as the rest of the program sees them.
//
// Source files (virtual disks, image pieces, devices) are only ever opened
// through File, which has no way to write. The one writer, DeviceWriter,
// exists for disk-to-disk imaging and refuses devices that hold a mounted
// file system.
//
// IoProvider is the seam that tests use to put failing reads under the code
// that reads devices and image pieces.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <system_error>

namespace korv {

// Is shown bytes in place, in the file's own pages: it may only read them
// (no allocation, no locks), since a page that turns out to be gone ends
// the look midway. `at` is where `bytes` start in the range looked at. A
// large range is shown in parts on two threads at once, in no set order,
// so a look that keeps anything must keep it by `at` and race-free.
using ByteLook = std::function<void(std::uint64_t at, std::span<const std::uint8_t> bytes)>;

// Looks at least this long are shared out between two threads.
constexpr std::size_t kSplitLookMinBytes = 2 * 1024 * 1024;

// A handle that reads at explicit positions. A read that returns fewer bytes
// than asked for is a failed read; callers decide what the unread part holds.
class ReadHandle {
 public:
  virtual ~ReadHandle() = default;
  // Bytes actually read into `out` (0 on error).
  virtual std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
  virtual std::uint64_t Size() = 0;
  // True when reads may run on several threads at once and keep no state
  // between them, so a large one may be shared out between threads.
  virtual bool ReadsFromAnyThread() const { return false; }
  // Shows bytes [offset, offset + length) to `look` without copying them.
  // False when this handle cannot, or the range is not (or no longer) all
  // there; `look` may then have seen part of it.
  virtual bool Look(std::uint64_t /*offset*/, std::size_t /*length*/, const ByteLook& /*look*/) { return false; }

  bool ReadExactAt(std::uint64_t offset, std::span<std::uint8_t> out) { return ReadAt(offset, out) == out.size(); }
};

class WriteHandle {
 public:
  virtual ~WriteHandle() = default;
  virtual bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> data) = 0;
  virtual bool Flush() = 0;
};

// A file or device opened read-only (O_RDONLY, and O_NOATIME where the
// system allows it so that reading leaves the access time alone).
class File final : public ReadHandle {
 public:
  static std::unique_ptr<File> OpenReadOnly(const std::filesystem::path& path, std::error_code* error = nullptr);
  ~File() override;
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override;
  // Regular files: their length; block devices: their capacity in bytes.
  std::uint64_t Size() override;
  // A pread on one descriptor.
  bool ReadsFromAnyThread() const override { return true; }
  // Through a read-only map of the whole file, made on the first look: a
  // scan that needs a few bytes of each sector then costs no copy of the
  // rest. A file cut shorter since is caught, not a crash. The pages looked
  // at are unmapped again, so looking costs no resident memory. Mapping the
  // pages is most of a look's cost, so a long look is split between the
  // caller and the helper of ReadAtOnTwoThreads, each half guarded.
  bool Look(std::uint64_t offset, std::size_t length, const ByteLook& look) override;

 private:
  explicit File(int fd) : fd_(fd) {}
  void Map();
  void Release(std::uint64_t start, std::uint64_t end);

  int fd_ = -1;
  std::once_flag mapOnce_;
  const std::uint8_t* map_ = nullptr;  // nullptr when the file cannot be mapped
  std::uint64_t mapBytes_ = 0;
  std::mutex releaseMutex_;
  std::uint64_t lookedStart_ = 0;  // looked at and still mapped: [start, end)
  std::uint64_t lookedEnd_ = 0;
};

// What the storage layer opens devices and image pieces through.
class IoProvider {
 public:
  virtual ~IoProvider() = default;
  virtual std::unique_ptr<ReadHandle> OpenRead(const std::filesystem::path& path) = 0;
  // Opens an existing device for writing; nullptr when it cannot be opened or
  // holds a mounted file system.
  virtual std::unique_ptr<WriteHandle> OpenDeviceWrite(const std::filesystem::path& path) = 0;
  virtual bool Exists(const std::filesystem::path& path) = 0;
};

// The real file system.
class PosixIo final : public IoProvider {
 public:
  std::unique_ptr<ReadHandle> OpenRead(const std::filesystem::path& path) override;
  std::unique_ptr<WriteHandle> OpenDeviceWrite(const std::filesystem::path& path) override;
  bool Exists(const std::filesystem::path& path) override;
};

// File tests that never throw.
bool PathExists(const std::filesystem::path& path);
bool IsRegularFile(const std::filesystem::path& path);
bool IsDirectory(const std::filesystem::path& path);
// Whether both paths name one existing file or folder (links followed);
// false when either cannot be looked at.
bool IsSameFile(const std::filesystem::path& a, const std::filesystem::path& b);
// Bytes free for an unprivileged writer on the volume holding `path`.
// Whether another process holds a write lock on any part of the file (as a
// running hypervisor does on its disk): such a file counts as in use.
bool HeldByAnotherWriter(const std::filesystem::path& path);

std::optional<std::uint64_t> FreeSpace(const std::filesystem::path& path);

// False when the file system holding `path` is FAT or exFAT (as the kernel's
// own drivers mount them), which refuse ":" in a name; true otherwise,
// and when it cannot be told.
bool NamesMayHoldColons(const std::filesystem::path& path);

// `name` inside `folder`: the exact entry when it exists, otherwise the first
// entry whose name matches without regard to ASCII case; nullopt when neither.
std::optional<std::filesystem::path> FindInFolder(const std::filesystem::path& folder, const std::string& name);

// The last component of a name stored inside a disk file, split on both "\"
// and "/".
std::string StoredNameLeaf(const std::string& storedName);

// Whether a name ends in `suffix` (an extension, say), ASCII letters
// compared without regard to case.
bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix);

// A file named inside another one (a parent disk, an extent, the disk of a
// machine file), looked up for the file at `referrer`: the name itself when
// it is an existing absolute path; otherwise the name relative to the
// referrer's folder (with "\" read as "/"); otherwise the name's last
// component in that folder, matched without regard to case when the exact
// name is missing. nullopt when none exists.
std::optional<std::filesystem::path> FindStoredFile(const std::string& storedName,
                                                    const std::filesystem::path& referrer);

// True when the block device at `path`, or a partition of it, is mounted.
bool DeviceHasMountedFileSystem(const std::filesystem::path& path);

}  // namespace korv
