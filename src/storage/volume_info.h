// What the source page shows for a logical drive (a mounted volume here).
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "storage/current_source.h"

namespace korv {

struct VolumeInfo {
  std::string volumeName;
  std::string fileSystem;
  std::uint64_t capacity = 0;
  std::uint64_t used = 0;
  std::uint64_t freeBytes = 0;

  // "Volume Name : ", "File System : ", "Capacity : ", "Used Space : ",
  // "Free Space : ", each followed by its value.
  std::vector<std::string> Lines() const;
};

// The volume mounted at `root`, named `displayName` less its last four
// characters (the " (X:)" of a drive name); nullopt when `root` is not a
// folder or its file system is unknown. Takes the volume device's own sector
// size into `source`.
std::optional<VolumeInfo> QueryVolumeInfo(CurrentSource& source, const std::filesystem::path& root,
                                          const std::string& displayName);

}  // namespace korv
