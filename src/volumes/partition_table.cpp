#include "volumes/partition_table.h"

#include "platform/read_buffer.h"

#include <set>
#include <vector>

namespace korv {

namespace {

constexpr std::uint64_t kMbrEntriesOffset = 446;
constexpr std::uint64_t kMbrEntryBytes = 16;
constexpr std::uint8_t kTypeGptProtective = 0xEE;
constexpr std::uint64_t kGptEntrySectors = 31;
constexpr std::uint64_t kGptEntryBytes = 128;
constexpr std::uint64_t kTableBytes = 512;  // tables are read from the first 512 bytes of a sector
// An extended chain longer than this is damaged (or a loop).
constexpr int kMaxExtendedRecords = 26;

bool IsExtended(std::uint8_t type) { return type == 0x05 || type == 0x0F; }

// The name a partition-table type lists under, or nullopt when it is not
// listed. Type 0x01 is admitted only inside the extended chain.
std::optional<FileSystemKind> KindForType(std::uint8_t type, bool inExtendedChain) {
  switch (type) {
    case 0x01: return inExtendedChain ? std::optional(FileSystemKind::Fat16) : std::nullopt;
    case 0x04:
    case 0x06:
    case 0x0E: return FileSystemKind::Fat16;
    case 0x0B:
    case 0x0C: return FileSystemKind::Fat32;
    case 0x07: return FileSystemKind::Ntfs;
    default: return std::nullopt;
  }
}

std::uint8_t TypeForKind(FileSystemKind kind) {
  if (kind == FileSystemKind::Fat32) return 0x0B;
  if (kind == FileSystemKind::Fat16) return 0x06;
  return 0x07;
}

// A FAT volume's sector count: the 32-bit field, or the 16-bit one small
// volumes use instead.
std::uint64_t FatVolumeSectors(ByteView sector) {
  const std::uint32_t large = sector.u32le(32).value_or(0);
  if (large != 0) return large;
  return sector.u16le(19).value_or(0);
}

struct MbrEntry {
  std::uint8_t type = 0;
  std::uint32_t firstLba = 0;
  std::uint32_t sectorCount = 0;
};

MbrEntry EntryAt(ByteView sector, int slot) {
  const std::uint64_t at = kMbrEntriesOffset + kMbrEntryBytes * static_cast<std::uint64_t>(slot);
  return {sector.u8(at + 4).value_or(0), sector.u32le(at + 8).value_or(0), sector.u32le(at + 12).value_or(0)};
}

class PartitionLister {
 public:
  PartitionLister(SectorSource& sectors, PartitionList& list, const PartitionNodeAdder& addNode)
      : sectors_(sectors), list_(list), addNode_(addNode), buffer_(sectors.sectorBytes()) {}

  bool Run(std::uint64_t tableSector) {
    const ReadBuffer table = Read(tableSector);
    const ByteView view(table);
    if (view.u8(510) != 0x55 || view.u8(511) != 0xAA) return false;
    list_ = PartitionList{};

    if (const auto volume = GuessVolume(view)) {
      Add(volume->fileSystem, 0, volume->sectors);
      return true;
    }
    std::optional<std::uint64_t> extendedBase;
    for (int slot = 0; slot < 4; ++slot) {
      const MbrEntry entry = EntryAt(view, slot);
      if (entry.type == 0) continue;
      if (entry.type == kTypeGptProtective) {
        ListGpt(entry.firstLba);
      } else if (IsExtended(entry.type)) {
        extendedBase = entry.firstLba;
      } else {
        ListTableEntry(entry, 0, /*inExtendedChain=*/false);
      }
    }
    if (extendedBase) ListExtendedChain(*extendedBase);
    return true;
  }

 private:
  ReadBuffer Read(std::uint64_t sector) {
    std::fill(buffer_.begin(), buffer_.end(), std::uint8_t{0});
    sectors_.ReadCurrentAnywhere(sector, 1, buffer_);
    return buffer_;
  }

  bool Full() const { return list_.count >= kMaxPartitionsPerDisk; }

  void Add(FileSystemKind kind, std::uint64_t firstSector, std::uint64_t sectors) {
    if (Full()) return;
    const int slot = list_.count;
    list_.fileSystems[slot] = kind;
    PartitionEntry& entry = list_.entries[slot];
    entry.index = slot;
    entry.firstSector = firstSector;
    entry.endSector = firstSector + sectors;
    list_.count = slot + 1;
    if (addNode_) entry.treeNode = addNode_(slot, PartitionLabel(slot + 1, kind));
  }

  // A primary or logical entry: the boot sector's own name wins over the
  // table's type byte.
  void ListTableEntry(const MbrEntry& entry, std::uint64_t base, bool inExtendedChain) {
    const std::uint64_t first = base + entry.firstLba;
    std::uint8_t type = entry.type;
    const ReadBuffer bootSector = Read(first);
    if (const auto kind = IdentifyBootSector(ByteView(bootSector))) type = TypeForKind(*kind);
    if (const auto kind = KindForType(type, inExtendedChain)) Add(*kind, first, entry.sectorCount);
  }

  void ListExtendedChain(std::uint64_t base) {
    std::set<std::uint64_t> visited;
    std::optional<std::uint64_t> next = 0;
    for (int records = 0; next && records < kMaxExtendedRecords && !Full(); ++records) {
      const std::uint64_t record = base + *next;
      if (!visited.insert(record).second) return;  // the chain points back
      next.reset();
      const ReadBuffer sector = Read(record);
      const ByteView view(sector);
      for (int slot = 0; slot < 4; ++slot) {
        const MbrEntry entry = EntryAt(view, slot);
        if (entry.type == 0) continue;
        if (IsExtended(entry.type)) {
          next = entry.firstLba;  // relative to the extended partition's start
        } else {
          ListTableEntry(entry, record, /*inExtendedChain=*/true);
        }
      }
    }
  }

  void ListGpt(std::uint64_t headerSector) {
    const ReadBuffer header = Read(headerSector);
    if (!ByteView(header).matches(0, "EFI PART")) return;
    std::uint64_t entryBytes = ByteView(header).u32le(84).value_or(0);
    if (entryBytes != 128 && entryBytes != 256 && entryBytes != 512) entryBytes = kGptEntryBytes;

    for (std::uint64_t j = 1; j <= kGptEntrySectors; ++j) {
      const ReadBuffer sector = Read(headerSector + j);
      const ByteView view(sector);
      for (std::uint64_t offset = 0; offset + kGptEntryBytes <= kTableBytes; offset += entryBytes) {
        const ByteView entry = view.sub(offset, kGptEntryBytes);
        const std::uint64_t typeLow = entry.u64le(0).value_or(0);
        const std::uint64_t typeHigh = entry.u64le(8).value_or(0);
        const std::uint64_t firstLba = entry.u64le(32).value_or(0);
        if (typeLow == 0 || typeHigh == 0 || firstLba == 0) return;  // the end of the entries
        ListGptEntry(firstLba);
        if (Full()) return;
      }
    }
  }

  void ListGptEntry(std::uint64_t firstLba) {
    constexpr std::uint64_t kLimit = 1ULL << 32;
    // Positions are kept in 32 bits in tables the rest of the program reads;
    // a partition beyond them is left out rather than misplaced.
    if (firstLba >= kLimit) return;
    const ReadBuffer bootSector = Read(firstLba);
    const auto volume = GuessVolume(ByteView(bootSector));
    if (!volume || firstLba + volume->sectors >= kLimit) return;
    Add(volume->fileSystem, firstLba, volume->sectors);
  }

  SectorSource& sectors_;
  PartitionList& list_;
  const PartitionNodeAdder& addNode_;
  ReadBuffer buffer_;
};

}  // namespace

bool ListPartitions(SectorSource& sectors, PartitionList& list, std::uint64_t tableSector,
                    const PartitionNodeAdder& addNode) {
  return PartitionLister(sectors, list, addNode).Run(tableSector);
}

std::string PartitionLabel(int number, FileSystemKind fileSystem) {
  return "Partition - " + std::to_string(number) + " ( " + std::string(FileSystemName(fileSystem)) + " )";
}

std::optional<FileSystemKind> IdentifyBootSector(ByteView sector) {
  if (sector.matches(82, "FAT32")) return FileSystemKind::Fat32;
  if (sector.matches(54, "FAT16")) return FileSystemKind::Fat16;
  if (sector.matches(3, "NTFS")) return FileSystemKind::Ntfs;
  return std::nullopt;
}

std::optional<VolumeGuess> GuessVolume(ByteView sector) {
  std::optional<VolumeGuess> guess;
  if (sector.matches(57, "16")) guess = VolumeGuess{FileSystemKind::Fat16, FatVolumeSectors(sector)};
  if (sector.matches(85, "32")) guess = VolumeGuess{FileSystemKind::Fat32, FatVolumeSectors(sector)};
  if (sector.matches(3, "NTFS")) {
    guess = VolumeGuess{FileSystemKind::Ntfs, sector.u64le(40).value_or(0) & 0xFFFFFFFFu};
  }
  return guess;
}

}  // namespace korv
