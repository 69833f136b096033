// The texts of the volume list a partition scan ends on: its tree, its
// information fields and its messages, without a window.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/volume_candidate.h"

namespace korv {

inline constexpr std::string_view kVolumeTreeRoot = "File System";
inline constexpr std::string_view kVolumeListNote =
    "This mode is showing you all the partitions simulated in that range. It is recommended to save log at this stage.";
inline constexpr std::string_view kMsgNoPartitionRecognised =
    "Korvane has not recognised any partition till now. It is recommended to complete this process.";
inline constexpr std::string_view kLabelPartitionType = "Partition Type :";
inline constexpr std::string_view kLabelPartitionSize = "Partition Size  :";
inline constexpr std::string_view kLabelStartSector = "Start Sector    :";
inline constexpr std::string_view kLabelEndSector = "End Sector     :";

// "File System 2 - FAT32": the node of volume `number` (from 1).
std::string VolumeNodeText(std::size_t number, const VolumeCandidate& volume);

// The size of a volume from its first to its end sector, 512 bytes each:
// whole gigabytes followed by " GB" from 1 GB and 512 bytes on, whole
// megabytes followed by " MB" from 1 MB on, nothing below.
std::string VolumeSizeText(const VolumeCandidate& volume);

// (end - first) × 512 bytes; 0 when the end is not past the first sector.
std::uint64_t VolumeBytes(const VolumeCandidate& volume);

}  // namespace korv
