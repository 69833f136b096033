#include "storage/volume_info.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <fstream>
#include <sstream>

#include "common/size_text.h"
#include "platform/block_devices.h"
#include "platform/file.h"

namespace korv {

namespace {

struct Mount {
  std::string fileSystem;
  std::string device;
};

// The mount whose device number is that of `root` (the last one listed wins,
// as later mounts cover earlier ones).
std::optional<Mount> FindMount(const std::filesystem::path& root) {
  struct stat info {};
  if (::stat(root.c_str(), &info) != 0) return std::nullopt;
  const std::string wanted = std::to_string(::major(info.st_dev)) + ":" + std::to_string(::minor(info.st_dev));
  std::ifstream mounts("/proc/self/mountinfo");
  std::optional<Mount> found;
  for (std::string line; std::getline(mounts, line);) {
    std::istringstream fields(line);
    std::string id, parent, numbers;
    fields >> id >> parent >> numbers;
    const auto dash = line.find(" - ");
    if (numbers != wanted || dash == std::string::npos) continue;
    std::istringstream rest(line.substr(dash + 3));
    Mount mount;
    rest >> mount.fileSystem >> mount.device;
    found = mount;
  }
  return found;
}

}  // namespace

std::vector<std::string> VolumeInfo::Lines() const {
  constexpr std::string_view kZero = "0 KB";
  return {"Volume Name : " + volumeName, "File System : " + fileSystem,
          "Capacity : " + FormatSizeText(capacity, kZero), "Used Space : " + FormatSizeText(used, kZero),
          "Free Space : " + FormatSizeText(freeBytes, kZero)};
}

std::optional<VolumeInfo> QueryVolumeInfo(CurrentSource& source, const std::filesystem::path& root,
                                          const std::string& displayName) {
  if (!IsDirectory(root)) return std::nullopt;
  const auto mount = FindMount(root);
  if (!mount) return std::nullopt;

  VolumeInfo info;
  info.volumeName = displayName.size() > 4 ? displayName.substr(0, displayName.size() - 4) : std::string();
  info.fileSystem = mount->fileSystem;
  struct statvfs space {};
  if (::statvfs(root.c_str(), &space) == 0) {
    info.capacity = std::uint64_t{space.f_blocks} * space.f_frsize;
    info.freeBytes = std::uint64_t{space.f_bavail} * space.f_frsize;
    info.used = info.capacity >= info.freeBytes ? info.capacity - info.freeBytes : 0;
  }
  if (const auto geometry = QueryDiskGeometry(mount->device); geometry && geometry->bytesPerSector != 0) {
    source.bytesPerSector = static_cast<std::int32_t>(geometry->bytesPerSector);
  }
  return info;
}

}  // namespace korv
