// The recovery modes the user chooses on the first page.
#pragma once

namespace korv {

enum class RecoveryMode : int {
  None = 0,
  DeletedData = 1,
  FormattedData = 2,
  PartitionData = 3,
  RawData = 4,
  CreateDiskImage = 5,
};

// The modes that work on a typed sector range instead of a partition.
constexpr bool IsRangeMode(RecoveryMode mode) {
  return mode == RecoveryMode::PartitionData || mode == RecoveryMode::RawData || mode == RecoveryMode::CreateDiskImage;
}

}  // namespace korv
