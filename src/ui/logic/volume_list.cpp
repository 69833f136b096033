#include "ui/logic/volume_list.h"

namespace korv {

namespace {

constexpr std::uint64_t kSectorBytes = 512;
constexpr std::uint64_t kMegabyte = std::uint64_t{1} << 20;
constexpr std::uint64_t kGigabyte = std::uint64_t{1} << 30;

}  // namespace

std::string VolumeNodeText(std::size_t number, const VolumeCandidate& volume) {
  return std::string(kVolumeTreeRoot) + " " + std::to_string(number) + " - " +
         std::string(FileSystemName(volume.fileSystem));
}

std::uint64_t VolumeBytes(const VolumeCandidate& volume) {
  if (volume.endSector <= volume.firstSector) return 0;
  return (volume.endSector - volume.firstSector) * kSectorBytes;
}

std::string VolumeSizeText(const VolumeCandidate& volume) {
  const std::uint64_t bytes = VolumeBytes(volume);
  // Exactly 1 GB still shows in megabytes.
  if (bytes > kGigabyte) return std::to_string(bytes / kGigabyte) + " GB";
  if (bytes >= kMegabyte) return std::to_string(bytes / kMegabyte) + " MB";
  return {};
}

}  // namespace korv
