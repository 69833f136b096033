#include "platform/block_devices.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/hdreg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace korv {

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kDefaultHeads = 255;
constexpr std::uint32_t kDefaultSectorsPerTrack = 63;
constexpr std::uint32_t kDefaultSectorBytes = 512;

std::string ReadSysfsLine(const fs::path& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  const auto last = line.find_last_not_of(" \t\r\n");
  line.erase(last == std::string::npos ? 0 : last + 1);
  const auto first = line.find_first_not_of(" \t");
  return first == std::string::npos ? std::string() : line.substr(first);
}

// The sysfs folder of a block device, empty for anything else.
fs::path SysfsFolder(const fs::path& devicePath) {
  struct stat info {};
  if (::stat(devicePath.c_str(), &info) != 0 || !S_ISBLK(info.st_mode)) return {};
  return fs::path("/sys/dev/block") / (std::to_string(::major(info.st_rdev)) + ":" + std::to_string(::minor(info.st_rdev)));
}

bool IsVirtualKernelDevice(const std::string& name) {
  for (const char* prefix : {"loop", "ram", "zram", "dm-", "md", "nbd", "sr"}) {
    if (name.rfind(prefix, 0) == 0) return true;
  }
  return false;
}

class Descriptor {
 public:
  explicit Descriptor(const fs::path& path) : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

}  // namespace

std::vector<std::string> ListPhysicalDisks() {
  std::vector<std::string> disks;
  std::error_code ec;
  for (fs::directory_iterator it("/sys/block", ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (IsVirtualKernelDevice(name)) continue;
    std::error_code exists;
    if (!fs::exists(it->path() / "device", exists)) continue;
    disks.push_back("/dev/" + name);
  }
  std::sort(disks.begin(), disks.end());
  return disks;
}

std::optional<DiskGeometry> QueryDiskGeometry(const fs::path& devicePath) {
  const Descriptor device(devicePath);
  if (device.get() < 0) return std::nullopt;
  struct stat info {};
  if (::fstat(device.get(), &info) != 0) return std::nullopt;

  std::uint64_t bytes = 0;
  DiskGeometry geometry;
  geometry.bytesPerSector = kDefaultSectorBytes;
  geometry.tracksPerCylinder = kDefaultHeads;
  geometry.sectorsPerTrack = kDefaultSectorsPerTrack;
  if (S_ISBLK(info.st_mode)) {
    if (::ioctl(device.get(), BLKGETSIZE64, &bytes) != 0) return std::nullopt;
    int sectorBytes = 0;
    if (::ioctl(device.get(), BLKSSZGET, &sectorBytes) == 0 && sectorBytes > 0) {
      geometry.bytesPerSector = static_cast<std::uint32_t>(sectorBytes);
    }
    hd_geometry reported{};
    if (::ioctl(device.get(), HDIO_GETGEO, &reported) == 0 && reported.heads != 0 && reported.sectors != 0) {
      geometry.tracksPerCylinder = reported.heads;
      geometry.sectorsPerTrack = reported.sectors;
    }
    if (ReadSysfsLine(SysfsFolder(devicePath) / "removable") == "1") geometry.mediaType = kMediaRemovable;
  } else if (S_ISREG(info.st_mode)) {
    bytes = static_cast<std::uint64_t>(info.st_size);
  } else {
    return std::nullopt;
  }
  const std::uint64_t cylinderBytes =
      std::uint64_t{geometry.tracksPerCylinder} * geometry.sectorsPerTrack * geometry.bytesPerSector;
  geometry.cylinders = static_cast<std::int64_t>(bytes / cylinderBytes);
  return geometry;
}

std::string QueryDiskModel(const fs::path& devicePath) {
  const fs::path folder = SysfsFolder(devicePath);
  if (folder.empty()) return {};
  return ReadSysfsLine(folder / "device" / "model");
}

}  // namespace korv
