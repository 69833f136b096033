#include "volumes/source_tree.h"

#include <algorithm>

#include "common/size_text.h"
#include "storage/inventory.h"

namespace korv {

namespace {

// The file systems a partition can be listed with.
bool IsPartitionType(FileSystemKind kind) {
  return kind == FileSystemKind::Fat32 || kind == FileSystemKind::Fat16 || kind == FileSystemKind::Ntfs;
}

// The number after "Disk" in a disk node's text.
int DiskNumberOf(const std::string& text) {
  constexpr std::string_view kPrefix = "Disk";
  if (text.rfind(kPrefix, 0) != 0) return -1;
  const auto number = SourceTree::ParseRangeField(text.substr(kPrefix.size()));
  if (!number || *number >= kDiskTableSize) return -1;
  return static_cast<int>(*number);
}

std::string Pad(std::string_view label, const std::string& value) { return std::string(label) + value; }

}  // namespace

std::uint64_t SourceTree::AddNode(SourceNodeKind kind, std::string text, std::uint64_t parent) {
  SourceNode node;
  node.id = nextId_++;
  node.kind = kind;
  node.text = std::move(text);
  node.parent = parent;
  nodes_.push_back(std::move(node));
  return nodes_.back().id;
}

std::string SourceTree::Fill(const std::optional<VirtualDiskFacts>& openDisk) {
  const InventoryRefresh refresh =
      RefreshDiskInventory(inventory_, sectors_.source().devices, openDisk ? &*openDisk : nullptr);
  std::string message;
  if (!refresh.saved) message = std::string(kMsgInventoryNotWritten) + inventory_.path().string();

  nodes_.clear();
  selectedId_ = 0;
  const std::uint64_t root = AddNode(SourceNodeKind::Root, std::string(kTreeRootText), 0);
  const std::uint64_t group = AddNode(SourceNodeKind::Group, std::string(kTreeGroupText), root);

  CurrentSource& source = sectors_.source();
  for (int number = 0; number < kDiskTableSize; ++number) {
    if (ReadInventoryValue(inventory_, "", DiskValueName(number)) != kInventoryVirtualMark) continue;
    const std::uint64_t disk = AddNode(SourceNodeKind::Disk, DiskValueName(number), group);
    nodes_.back().diskNumber = number;

    // The partitions are read from the open disk file whatever source was
    // selected before.
    const SourceKind previous = source.kind;
    source.kind = source.openFileKind();
    ListPartitions(sectors_, disks_[static_cast<std::size_t>(number)], 0,
                   [&](int slot, const std::string& label) {
                     const std::uint64_t id = AddNode(SourceNodeKind::Partition, label, disk);
                     SourceNode& node = nodes_.back();
                     const PartitionList& list = disks_[static_cast<std::size_t>(number)];
                     node.diskNumber = number;
                     node.slot = slot;
                     node.fileSystem = list.fileSystems[static_cast<std::size_t>(slot)];
                     node.firstSector = list.entries[static_cast<std::size_t>(slot)].firstSector;
                     node.endSector = list.entries[static_cast<std::size_t>(slot)].endSector;
                     return id;
                   });
    source.kind = previous;
  }
  return message;
}

const SourceNode* SourceTree::Find(std::uint64_t id) const {
  const auto found = std::find_if(nodes_.begin(), nodes_.end(), [id](const SourceNode& node) { return node.id == id; });
  return found == nodes_.end() ? nullptr : &*found;
}

const SourceNode* SourceTree::FindPartition(int diskNumber, int number) const {
  for (const SourceNode& node : nodes_) {
    if (node.kind == SourceNodeKind::Partition && node.diskNumber == diskNumber && node.slot == number - 1) return &node;
  }
  return nullptr;
}

void SourceTree::Select(std::uint64_t id) {
  const SourceNode* node = Find(id);
  if (!node) return;
  selectedId_ = id;
  switch (node->kind) {
    case SourceNodeKind::Root: break;
    case SourceNodeKind::Group: SelectGroup(); break;
    case SourceNodeKind::Disk: SelectDisk(*node); break;
    case SourceNodeKind::Partition: SelectPartition(*node); break;
  }
}

void SourceTree::SelectGroup() {
  SelectedRange& range = sectors_.range();
  range.fileSystem = FileSystemKind::Unknown;
  range.firstSector = 0;
  range.endSector = 0;
  range.partitionIndex = -1;
}

// The disk's entry says whether reads go to the virtual disk or to a device.
void SourceTree::UseDisk(int diskNumber) {
  CurrentSource& source = sectors_.source();
  const std::string media = ReadInventoryValue(inventory_, kInventoryMediaType, DiskValueName(diskNumber));
  if (media.rfind(kVirtualMediaPrefix, 0) == 0) {
    source.kind = source.openFileKind();
    return;
  }
  source.kind = SourceKind::PhysicalDisk;
  if (diskNumber >= 0 && diskNumber < kDevicePathSlots) source.devices.currentDevice = static_cast<std::int16_t>(diskNumber);
}

void SourceTree::SelectDisk(const SourceNode& node) {
  SelectGroup();
  SelectedRange& range = sectors_.range();
  range.selectedText = node.text;
  range.partitionText.clear();
  range.diskNumber = static_cast<std::int16_t>(node.diskNumber);
  UseDisk(node.diskNumber);
  range.firstSector = 63;
  range.endSector = RegisteredDiskBytes(inventory_, node.diskNumber) / sectors_.sectorBytes();
  range.fileSystem = FileSystemKind::Unknown;
}

void SourceTree::SelectPartition(const SourceNode& node) {
  SelectedRange& range = sectors_.range();
  const SourceNode* disk = Find(node.parent);
  range.partitionText = node.text;
  range.selectedText = disk ? disk->text : DiskValueName(node.diskNumber);
  UseDisk(node.diskNumber);
  // The list is read again (the chart shows it), but the range is the one of
  // the partition whose node was clicked, as it was listed.
  ListPartitions(sectors_, disks_[static_cast<std::size_t>(node.diskNumber)], 0);
  range.firstSector = node.firstSector;
  range.endSector = node.endSector;
  range.fileSystem = node.fileSystem;
  range.diskNumber = static_cast<std::int16_t>(node.diskNumber);
  range.partitionIndex = static_cast<std::int16_t>(node.slot);
}

std::vector<std::string> SourceTree::PartitionInformationText() const {
  const SourceNode* node = Find(selectedId_);
  if (!node || node->kind != SourceNodeKind::Partition) return {};
  const SelectedRange& range = sectors_.range();
  const std::uint64_t sectors = range.endSector > range.firstSector ? range.endSector - range.firstSector : 0;
  return {
      Pad("Partition Type   : ", std::string(FileSystemName(range.fileSystem))),
      Pad("Start Sector     : ", std::to_string(range.firstSector)),
      Pad("End Sector       : ", std::to_string(range.endSector)),
      Pad("Partition Size   : ", FormatSizeText(sectors * sectors_.sectorBytes(), "0")),
  };
}

std::vector<ChartSlice> SourceTree::ChartShares() const {
  const SourceNode* node = Find(selectedId_);
  if (!node || node->diskNumber < 0) return {};
  const PartitionList& list = disks_[static_cast<std::size_t>(node->diskNumber)];
  const std::uint64_t diskBytes = RegisteredDiskBytes(inventory_, node->diskNumber);
  std::vector<ChartSlice> slices;
  for (int i = 0; i < list.count; ++i) {
    const PartitionEntry& entry = list.entries[static_cast<std::size_t>(i)];
    const bool selected = node->kind == SourceNodeKind::Partition && node->slot == i;
    const std::uint64_t bytes = (entry.endSector - entry.firstSector) * sectors_.sectorBytes();
    ChartSlice slice;
    slice.label = (selected ? "Selected Partition " : "Partition ") + std::to_string(i + 1);
    slice.percent = diskBytes == 0 ? 0.0 : static_cast<double>(bytes) * 100.0 / static_cast<double>(diskBytes);
    slices.push_back(slice);
  }
  return slices;
}

std::optional<std::uint32_t> SourceTree::ParseRangeField(const std::string& text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
  }
  if (value > UINT32_MAX) return std::nullopt;
  return static_cast<std::uint32_t>(value);
}

StartOutcome SourceTree::ValidateAndStart(RecoveryMode mode, const RangeFields& fields) {
  const auto refuse = [](std::string_view message) { return StartOutcome{StartAction::None, std::string(message)}; };
  const SourceNode* node = Find(selectedId_);
  if (!node || node->kind == SourceNodeKind::Root) return refuse(kMsgSelectLogicalDrive);
  if (node->kind == SourceNodeKind::Group) return refuse(kMsgSelectVirtualDisk);

  SelectedRange& range = sectors_.range();
  const int diskNumber = DiskNumberOf(range.selectedText);
  if (diskNumber >= 0) {
    range.diskNumber = static_cast<std::int16_t>(diskNumber);
    UseDisk(diskNumber);
  }

  if (!IsRangeMode(mode)) {
    if (!IsPartitionType(range.fileSystem)) return refuse(kMsgSelectPartitionType);
    if (range.endSector <= range.firstSector) return refuse(kMsgEndBiggerThanStart);
    return {StartAction::StartAnalysis, {}};
  }

  const auto start = ParseRangeField(fields.startingRange);
  if (!start) return refuse(kMsgStartNotValid);
  const auto end = ParseRangeField(fields.endingRange);
  if (!end) return refuse(kMsgEndNotValid);
  range.firstSector = *start;
  range.endSector = *end;
  if (*end <= *start) return refuse(kMsgRangeEndBiggerThanStart);

  static constexpr FileSystemKind kItems[] = {FileSystemKind::Fat16, FileSystemKind::Fat32, FileSystemKind::Ntfs};
  if (fields.fileSystemItem >= 0 && fields.fileSystemItem <= 2) {
    range.fileSystem = kItems[fields.fileSystemItem];
  } else if (fields.fileSystemItem == 3) {
    // "UNKNOWN" suits carving and imaging, which need no file system.
    if (mode == RecoveryMode::PartitionData) return refuse(kMsgSelectPartitionTypeDot);
  } else if (fields.fileSystemItem != -1) {
    return refuse(kMsgSelectPartitionTypeDot);
  }

  switch (mode) {
    case RecoveryMode::RawData: return {StartAction::OpenExtensionPage, {}};
    case RecoveryMode::CreateDiskImage: return {StartAction::OpenImagingPage, {}};
    default: return {StartAction::RunPartitionScan, {}};
  }
}

}  // namespace korv
