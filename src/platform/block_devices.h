// Linux block devices as disks: which ones exist, their geometry and model.
// Queries never write and never wait on a device: devices are opened
// read-only and non-blocking, and only ask the kernel what it already knows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace korv {

// The media type of a fixed hard disk; any other value counts as removable.
constexpr std::uint32_t kMediaFixedHardDisk = 12;
constexpr std::uint32_t kMediaRemovable = 11;

struct DiskGeometry {
  std::int64_t cylinders = 0;
  std::uint32_t mediaType = kMediaFixedHardDisk;
  std::uint32_t tracksPerCylinder = 0;
  std::uint32_t sectorsPerTrack = 0;
  std::uint32_t bytesPerSector = 0;
};

// The whole disks the kernel lists (no partitions, loop, RAM or
// device-mapper devices), as /dev paths in name order.
std::vector<std::string> ListPhysicalDisks();

// Geometry of a block device, or of a plain file standing in for one (tests):
// size and logical sector size from the kernel, 255 heads and 63 sectors per
// track where the device reports none, removable from sysfs. nullopt when the
// path cannot be opened or asked.
std::optional<DiskGeometry> QueryDiskGeometry(const std::filesystem::path& devicePath);

// The device's model name from sysfs, trimmed; empty when it has none.
std::string QueryDiskModel(const std::filesystem::path& devicePath);

}  // namespace korv
