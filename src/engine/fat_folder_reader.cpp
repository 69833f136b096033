#include "engine/fat_folder_reader.h"

#include <algorithm>
#include <optional>
#include <string>

#include "fs/fat/fat_boot.h"
#include "fs/fat/fat_long_name.h"
#include "fs/fat/fat_sector.h"

namespace korv {

namespace {

// Folders are read in runs of at most this many sectors, so a large cluster
// costs several reads rather than one large buffer.
constexpr std::uint32_t kMaxSectorsPerRead = 8;

}  // namespace

ItemTimes FatEntryTimes(const FatDirectoryEntry& entry) {
  return {entry.writeDate, entry.writeTime, entry.creationDate, entry.creationTime, entry.accessDate, 0};
}

bool BeginsWithDotEntries(ByteView sector) {
  return sector.matches(0, ". ") && sector.matches(kFatEntryBytes, ".. ");
}

// The folder whose entries are being handled.
struct FatFolderReader::WalkedFolder {
  const FolderSectors& sectors;
  std::uint32_t number = FatRootNumber;  // the parent number of its entries
  bool deleted = false;                  // every entry of a deleted folder is deleted too
  bool isRoot = false;                   // a 0x00 entry ends only the root's current sector
  const ListedEntryHandler& handle;
};

FatFolderReader::FatFolderReader(AnalysisJob& job, FatType type)
    : job_(job),
      sectors_(job.sectors),
      boot_(job.parameters.boot),
      type_(type),
      layout_(MakeFatLayout(boot_, type, job.range().endSector)),
      stride_(std::max(sectors_.sectorBytes(), kFatSectorBytes)),
      buffer_(std::size_t{kMaxSectorsPerRead} * stride_, 0) {
  const std::uint32_t perCluster = boot_.sectorsPerCluster;
  sectorsPerRead_ = perCluster >= kMaxSectorsPerRead ? kMaxSectorsPerRead : perCluster;
  readsPerCluster_ = perCluster >= kMaxSectorsPerRead ? perCluster / kMaxSectorsPerRead : 1;
}

void FatFolderReader::ReadRoot(const ListedEntryHandler& handle) {
  if (type_ == FatType::Fat32) {
    ReadFat32Root(handle);
  } else {
    ReadRootArea(handle);
  }
}

bool FatFolderReader::Claim(std::uint32_t cluster) {
  return layout_.isCluster(cluster) && claimed_.insert(cluster).second;
}

void FatFolderReader::ReadFat32Root(const ListedEntryHandler& handle) {
  // The root is never read again, whatever entry names its cluster.
  claimed_.insert(boot_.rootFirst);
  const FolderChain chain = FollowDirectoryChain(sectors_, layout_, boot_.rootFirst, false);
  const FolderSectors folder = FolderSectors::Clusters(boot_, chain);
  ReadClusters(WalkedFolder{folder, FatRootNumber, false, true, handle}, chain, false);
}

void FatFolderReader::ReadRootArea(const ListedEntryHandler& handle) {
  if (boot_.rootFirst == 0) return;
  const std::uint32_t sectors = RootAreaSectors();
  const FolderSectors folder = FolderSectors::RootArea(boot_.rootFirst, sectors);
  const WalkedFolder root{folder, FatRootNumber, false, true, handle};
  for (std::uint32_t index = 0; index < sectors; index += kMaxSectorsPerRead) {
    const std::uint32_t count = std::min(kMaxSectorsPerRead, sectors - index);
    ReadRun(std::uint64_t{boot_.rootFirst} + index, count);
    HandleRun(root, index, count);
  }
}

// The root area as the boot words give it, cut at the volume's end: words
// restored from a recovery log are not checked against the boot sector.
std::uint32_t FatFolderReader::RootAreaSectors() const {
  const std::uint64_t end = job_.range().endSector;
  if (end <= boot_.rootFirst) return boot_.rootDirSectors;
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(boot_.rootDirSectors, end - boot_.rootFirst));
}

bool FatFolderReader::ReadSubfolder(std::uint32_t cluster, bool deleted, const ListedEntryHandler& handle) {
  if (sectorsPerRead_ == 0) return false;
  ReadRun(ClusterSector(boot_, cluster), sectorsPerRead_);
  if (!BeginsWithDotEntries(SectorOfRun(0))) return false;
  // Deleted folders keep only what is left of their chain, and that little
  // is trusted only so far.
  FolderChain chain = FollowDirectoryChain(sectors_, layout_, cluster, deleted);
  if (chain.empty() || chain.front() != cluster) chain = {cluster};
  const FolderSectors folder = FolderSectors::Clusters(boot_, chain);
  ReadClusters(WalkedFolder{folder, cluster, deleted, false, handle}, chain, true);
  return true;
}

// Reads the folder's clusters run by run and handles their entries. With
// firstRunRead the first run is already in the buffer.
void FatFolderReader::ReadClusters(const WalkedFolder& folder, const FolderChain& chain, bool firstRunRead) {
  for (std::size_t c = 0; c < chain.size(); ++c) {
    for (std::uint32_t piece = 0; piece < readsPerCluster_; ++piece) {
      const std::uint64_t pieceOffset = std::uint64_t{piece} * sectorsPerRead_;
      if (!(firstRunRead && c == 0 && piece == 0)) {
        ReadRun(ClusterSector(boot_, chain[c]) + pieceOffset, sectorsPerRead_);
      }
      const std::uint64_t firstIndex = c * std::uint64_t{boot_.sectorsPerCluster} + pieceOffset;
      if (HandleRun(folder, firstIndex, sectorsPerRead_) == Continuation::FolderEnds) return;
    }
  }
}

// Unreadable sectors come back as zeros, whose first entry ends the folder.
void FatFolderReader::ReadRun(std::uint64_t firstSector, std::uint32_t count) {
  sectors_.ReadCurrent(firstSector, count, buffer_);
}

// The first 512 bytes of sector `index` of the last run read.
ByteView FatFolderReader::SectorOfRun(std::uint32_t index) const {
  return ByteView(buffer_).sub(std::uint64_t{index} * stride_, kFatSectorBytes);
}

// Handles the `count` sectors of the last run read; firstIndex is the first
// one's place in the folder.
FatFolderReader::Continuation FatFolderReader::HandleRun(const WalkedFolder& folder, std::uint64_t firstIndex,
                                                         std::uint32_t count) {
  for (std::uint32_t i = 0; i < count; ++i) {
    if (HandleSector(folder, firstIndex + i, SectorOfRun(i)) == Continuation::FolderEnds) {
      return Continuation::FolderEnds;
    }
  }
  return Continuation::GoOn;
}

FatFolderReader::Continuation FatFolderReader::HandleSector(const WalkedFolder& folder, std::uint64_t sectorIndex,
                                                            ByteView sector) {
  for (std::uint32_t offset = 0; offset + kFatEntryBytes <= sector.size(); offset += kFatEntryBytes) {
    const ByteView entry = sector.sub(offset, kFatEntryBytes);
    if (IsEndOfEntries(entry)) return folder.isRoot ? Continuation::GoOn : Continuation::FolderEnds;
    if (IsDotEntry(entry) || IsLongNameEntry(entry)) continue;
    HandleEntry(folder, sectorIndex, sector, offset);
  }
  return Continuation::GoOn;
}

void FatFolderReader::HandleEntry(const WalkedFolder& folder, std::uint64_t sectorIndex, ByteView sector,
                                  std::uint32_t offset) {
  const auto entry = DecodeDirectoryEntry(sector.sub(offset, kFatEntryBytes), type_);
  // An entry without a first cluster (an empty file, a volume label) has
  // nothing to recover.
  if (!entry || entry->firstCluster == 0) return;
  const std::optional<std::u16string> longName = ReadLongName(sectors_, folder.sectors, sectorIndex, sector, offset);
  if (!IsValidEntryName(entry->name.eightBit, longName)) return;

  const ItemName name = longName ? ItemName{{}, *longName} : ItemName{entry->name.eightBit, {}};
  const char deleted = folder.deleted || entry->name.deleted ? kFlagYes : kFlagNo;
  folder.handle(ListedEntry{*entry, name, deleted, folder.number});
  job_.ReportItem(longName ? std::u16string_view(*longName) : std::u16string_view(entry->name.wide));
}

}  // namespace korv
