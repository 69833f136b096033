// Reading a disk's partition tables (MBR, the chain of extended boot records,
// GPT under a protective entry, or a volume with no table at all) into the
// list of partitions the source tree shows.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "platform/bytes.h"
#include "storage/sector_source.h"

namespace korv {

constexpr int kDiskTableSize = 26;
constexpr int kMaxPartitionsPerDisk = 26;

struct PartitionEntry {
  std::int32_t index = 0;
  std::uint64_t treeNode = 0;  // the partition's node in the source tree, 0 when none was added
  std::uint64_t firstSector = 0;
  std::uint64_t endSector = 0;  // the first sector after the partition
};

struct PartitionList {
  std::int32_t count = 0;
  std::array<FileSystemKind, kMaxPartitionsPerDisk> fileSystems{};
  std::array<PartitionEntry, kMaxPartitionsPerDisk> entries{};
};

using DiskTable = std::array<PartitionList, kDiskTableSize>;

// Called for each partition listed, with its slot and label; returns the
// tree node made for it.
using PartitionNodeAdder = std::function<std::uint64_t(int slot, const std::string& label)>;

// Reads the table at `tableSector` of the current source into `list`
// (rebuilt from scratch) and, when `addNode` is given, makes a node for each
// partition. False only when the sector has no boot signature (the list is
// then left as it was). At most 26 partitions are listed.
bool ListPartitions(SectorSource& sectors, PartitionList& list, std::uint64_t tableSector,
                    const PartitionNodeAdder& addNode = {});

// "Partition - " + number + " ( " + file system + " )".
std::string PartitionLabel(int number, FileSystemKind fileSystem);

// The file system a partition's first sector names in full ("FAT32" at 82,
// "FAT16" at 54, "NTFS" at 3; first hit wins), or nullopt.
std::optional<FileSystemKind> IdentifyBootSector(ByteView sector);

struct VolumeGuess {
  FileSystemKind fileSystem = FileSystemKind::Unknown;
  std::uint64_t sectors = 0;
};

// The short test for a volume without a partition table or under GPT: "16"
// at 57, "32" at 85, "NTFS" at 3, a later hit overriding an earlier one, with
// the volume's length from its boot sector.
std::optional<VolumeGuess> GuessVolume(ByteView sector);

}  // namespace korv
