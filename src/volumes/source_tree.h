// The tree of sources the user picks from ("This PC" > "Virtual Disks" >
// "Disk" + N > its partitions), what selecting a node sets, and the checks
// of Next. Toolkit-free: the source page and the command line both show it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/recovery_mode.h"
#include "platform/inventory_store.h"
#include "storage/sector_source.h"
#include "storage/virtual_disk.h"
#include "volumes/partition_table.h"

namespace korv {

inline constexpr std::string_view kTreeRootText = "This PC";
inline constexpr std::string_view kTreeGroupText = "Virtual Disks";

inline constexpr std::string_view kMsgSelectLogicalDrive = "Please select Logical Drive.";
inline constexpr std::string_view kMsgSelectVirtualDisk = "Please select Virtual Disk.";
inline constexpr std::string_view kMsgSelectPartitionType = "Select partition type";
inline constexpr std::string_view kMsgEndBiggerThanStart = "End lSectorNoRead should be bigger than Start lSectorNoRead";
inline constexpr std::string_view kMsgStartNotValid = "Start lSectorNoRead is not valid.";
inline constexpr std::string_view kMsgEndNotValid = "End lSectorNoRead is not valid.";
inline constexpr std::string_view kMsgRangeEndBiggerThanStart =
    "End lSectorNoRead should be bigger than start lSectorNoRead.";
inline constexpr std::string_view kMsgSelectPartitionTypeDot = "Select partition type.";
inline constexpr std::string_view kMsgInventoryNotWritten = "The disk inventory file cannot be written: ";

enum class SourceNodeKind { Root, Group, Disk, Partition };

struct SourceNode {
  std::uint64_t id = 0;  // never 0 for a real node
  SourceNodeKind kind = SourceNodeKind::Root;
  std::string text;
  std::uint64_t parent = 0;
  int diskNumber = -1;
  int slot = -1;  // partitions: the slot in the disk's list
  // Partitions: what was listed when the node was made.
  FileSystemKind fileSystem = FileSystemKind::Unknown;
  std::uint64_t firstSector = 0;
  std::uint64_t endSector = 0;
};

struct ChartSlice {
  std::string label;  // "Partition 1", or "Selected Partition 1"
  double percent = 0;
};

// The range fields and the file-system choice of the range modes.
struct RangeFields {
  std::string startingRange;
  std::string endingRange;
  int fileSystemItem = -1;  // 0 FAT16, 1 FAT32, 2 NTFS, 3 UNKNOWN, -1 none chosen
};

enum class StartAction { None, StartAnalysis, RunPartitionScan, OpenExtensionPage, OpenImagingPage };

struct StartOutcome {
  StartAction action = StartAction::None;
  std::string message;  // why not, when action is None
};

class SourceTree {
 public:
  SourceTree(InventoryStore& inventory, SectorSource& sectors, DiskTable& disks)
      : inventory_(inventory), sectors_(sectors), disks_(disks) {}

  // Rebuilds the inventory and the tree. Returns a message for the user when
  // the inventory could not be written (the tree is filled all the same).
  // `openDisk` is what the inventory records of the open disk file (a
  // virtual disk or an image), nothing before one is open.
  std::string Fill(const std::optional<VirtualDiskFacts>& openDisk);

  const std::vector<SourceNode>& nodes() const { return nodes_; }
  const SourceNode* Find(std::uint64_t id) const;
  // The node of partition `number` (from 1) of disk `diskNumber`, or nullptr.
  const SourceNode* FindPartition(int diskNumber, int number) const;

  // Selecting a node, as a click does: sets the selected range.
  void Select(std::uint64_t id);

  // The four lines of the information panel for the selected partition.
  std::vector<std::string> PartitionInformationText() const;
  // The disk's partitions as shares of its size.
  std::vector<ChartSlice> ChartShares() const;

  // Next: the checks in their order, and what to start when they pass.
  StartOutcome ValidateAndStart(RecoveryMode mode, const RangeFields& fields);

  // Parses a range field: digits only, at most 4,294,967,295.
  static std::optional<std::uint32_t> ParseRangeField(const std::string& text);

 private:
  std::uint64_t AddNode(SourceNodeKind kind, std::string text, std::uint64_t parent);
  void SelectGroup();
  void SelectDisk(const SourceNode& node);
  void SelectPartition(const SourceNode& node);
  void UseDisk(int diskNumber);

  InventoryStore& inventory_;
  SectorSource& sectors_;
  DiskTable& disks_;
  std::vector<SourceNode> nodes_;
  std::uint64_t nextId_ = 1;
  std::uint64_t selectedId_ = 0;
};

}  // namespace korv
