#include "engine/deleted_fat.h"

#include <algorithm>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

#include "fs/fat/fat_boot.h"
#include "fs/fat/fat_directory.h"
#include "fs/fat/fat_long_name.h"
#include "fs/fat/fat_sector.h"
#include "fs/fat/fat_table.h"
#include "fs/fat/fat_type.h"
#include "platform/bytes.h"

namespace korv {

namespace {

// Folders are read in runs of at most this many sectors, so a large cluster
// costs several reads rather than one large buffer.
constexpr std::uint32_t kMaxSectorsPerRead = 8;

// How one cluster is read: `readsPerCluster` runs of `sectorsPerRead` sectors.
struct ReadPlan {
  std::uint32_t sectorsPerRead = 0;
  std::uint32_t readsPerCluster = 0;
};

ReadPlan MakeReadPlan(std::uint32_t sectorsPerCluster) {
  if (sectorsPerCluster >= kMaxSectorsPerRead) return {kMaxSectorsPerRead, sectorsPerCluster / kMaxSectorsPerRead};
  return {sectorsPerCluster, 1};
}

ItemTimes EntryTimes(const FatDirectoryEntry& entry) {
  return {entry.writeDate, entry.writeTime, entry.creationDate, entry.creationTime, entry.accessDate, 0};
}

// A cluster holds a folder when it begins with the "." and ".." entries; a
// deleted folder's cluster taken over by file data does not.
bool BeginsWithDotEntries(ByteView sector) {
  return sector.matches(0, ". ") && sector.matches(kFatEntryBytes, ".. ");
}

// The folder whose entries are being handled.
struct WalkedFolder {
  const FolderSectors& sectors;
  std::uint32_t number = FatRootNumber;  // the parent number of its entries
  bool deleted = false;                  // every entry of a deleted folder is deleted too
  bool isRoot = false;                   // a 0x00 entry ends only the root's current sector
};

enum class Continuation { GoOn, FolderEnds };

class DeletedFatWalk {
 public:
  DeletedFatWalk(AnalysisJob& job, FatType type)
      : job_(job),
        sectors_(job.sectors),
        boot_(job.parameters.boot),
        type_(type),
        layout_(MakeFatLayout(boot_, type, job.range().endSector)),
        plan_(MakeReadPlan(boot_.sectorsPerCluster)),
        stride_(std::max(sectors_.sectorBytes(), kFatSectorBytes)),
        buffer_(std::size_t{kMaxSectorsPerRead} * stride_, 0) {}

  // Walks the root and then every folder found. False when the user ended
  // the walk early.
  bool Run() {
    WalkRoot();
    while (const std::optional<FolderId> next = NextFolder()) {
      if (!job_.worker.checkpoint()) return false;
      WalkSubfolder(*next);
    }
    return true;
  }

 private:
  void WalkRoot() {
    job_.sink().Pulse();
    if (type_ == FatType::Fat32) {
      WalkFat32Root();
    } else {
      WalkRootArea();
    }
  }

  void WalkFat32Root() {
    // The root is never walked again, whatever entry names its cluster.
    visited_.insert(boot_.rootFirst);
    const FolderChain chain = FollowDirectoryChain(sectors_, layout_, boot_.rootFirst, false);
    const FolderSectors folder = FolderSectors::Clusters(boot_, chain);
    WalkClusters(WalkedFolder{folder, FatRootNumber, false, true}, chain, false);
  }

  void WalkRootArea() {
    if (boot_.rootFirst == 0) return;
    const std::uint32_t sectors = RootAreaSectors();
    const FolderSectors folder = FolderSectors::RootArea(boot_.rootFirst, sectors);
    const WalkedFolder root{folder, FatRootNumber, false, true};
    for (std::uint32_t index = 0; index < sectors; index += kMaxSectorsPerRead) {
      const std::uint32_t count = std::min(kMaxSectorsPerRead, sectors - index);
      ReadRun(std::uint64_t{boot_.rootFirst} + index, count);
      HandleRun(root, index, count);
    }
  }

  // The root area as the boot words give it, cut at the volume's end: words
  // restored from a recovery log are not checked against the boot sector.
  std::uint32_t RootAreaSectors() const {
    const std::uint64_t end = job_.range().endSector;
    if (end <= boot_.rootFirst) return boot_.rootDirSectors;
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(boot_.rootDirSectors, end - boot_.rootFirst));
  }

  // Live folders go first: by the time a deleted folder is read, every live
  // folder holds its cluster in the store, so a deleted folder whose cluster
  // was reused for a live one is dropped instead of passing the live
  // folder's entries off as deleted.
  std::optional<FolderId> NextFolder() {
    std::deque<FolderId>& queue = pendingLive_.empty() ? pendingDeleted_ : pendingLive_;
    if (queue.empty()) return std::nullopt;
    const FolderId next = queue.front();
    queue.pop_front();
    return next;
  }

  void Enqueue(FolderId id, char deleted) {
    (deleted == kFlagYes ? pendingDeleted_ : pendingLive_).push_back(id);
  }

  void WalkSubfolder(FolderId id) {
    const FoundFolder& found = job_.store.folder(id);
    const std::uint32_t number = found.ownNumber;
    const bool deleted = found.deleted == kFlagYes;
    if (number == LostNumber || !layout_.isCluster(number)) return;
    if (!visited_.insert(number).second) return;
    job_.sink().Pulse();

    ReadRun(ClusterSector(boot_, number), plan_.sectorsPerRead);
    if (!BeginsWithDotEntries(SectorOfRun(0))) return;
    // Deleted folders keep only what is left of their chain, and that little
    // is trusted only so far.
    FolderChain chain = FollowDirectoryChain(sectors_, layout_, number, deleted);
    if (chain.empty() || chain.front() != number) chain = {number};
    const FolderSectors folder = FolderSectors::Clusters(boot_, chain);
    WalkClusters(WalkedFolder{folder, number, deleted, false}, chain, true);
  }

  // Reads the folder's clusters run by run and handles their entries. With
  // firstRunRead the first run is already in the buffer.
  void WalkClusters(const WalkedFolder& folder, const FolderChain& chain, bool firstRunRead) {
    for (std::size_t c = 0; c < chain.size(); ++c) {
      for (std::uint32_t piece = 0; piece < plan_.readsPerCluster; ++piece) {
        const std::uint64_t pieceOffset = std::uint64_t{piece} * plan_.sectorsPerRead;
        if (!(firstRunRead && c == 0 && piece == 0)) {
          ReadRun(ClusterSector(boot_, chain[c]) + pieceOffset, plan_.sectorsPerRead);
        }
        const std::uint64_t firstIndex = c * std::uint64_t{boot_.sectorsPerCluster} + pieceOffset;
        if (HandleRun(folder, firstIndex, plan_.sectorsPerRead) == Continuation::FolderEnds) return;
      }
    }
  }

  // Unreadable sectors come back as zeros, whose first entry ends the folder.
  void ReadRun(std::uint64_t firstSector, std::uint32_t count) {
    sectors_.ReadSectors(sectors_.source().devices.current(), firstSector, count, buffer_);
  }

  // The first 512 bytes of sector `index` of the last run read.
  ByteView SectorOfRun(std::uint32_t index) const {
    return ByteView(buffer_).sub(std::uint64_t{index} * stride_, kFatSectorBytes);
  }

  // Handles the `count` sectors of the last run read; firstIndex is the
  // first one's place in the folder.
  Continuation HandleRun(const WalkedFolder& folder, std::uint64_t firstIndex, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) {
      if (HandleSector(folder, firstIndex + i, SectorOfRun(i)) == Continuation::FolderEnds) {
        return Continuation::FolderEnds;
      }
    }
    return Continuation::GoOn;
  }

  Continuation HandleSector(const WalkedFolder& folder, std::uint64_t sectorIndex, ByteView sector) {
    for (std::uint32_t offset = 0; offset + kFatEntryBytes <= sector.size(); offset += kFatEntryBytes) {
      const ByteView entry = sector.sub(offset, kFatEntryBytes);
      if (IsEndOfEntries(entry)) return folder.isRoot ? Continuation::GoOn : Continuation::FolderEnds;
      if (IsDotEntry(entry) || IsLongNameEntry(entry)) continue;
      HandleEntry(folder, sectorIndex, sector, offset);
    }
    return Continuation::GoOn;
  }

  void HandleEntry(const WalkedFolder& folder, std::uint64_t sectorIndex, ByteView sector, std::uint32_t offset) {
    const auto entry = DecodeDirectoryEntry(sector.sub(offset, kFatEntryBytes), type_);
    // An entry without a first cluster (an empty file, a volume label) has
    // nothing to recover.
    if (!entry || entry->firstCluster == 0) return;
    const std::optional<std::u16string> longName = ReadLongName(sectors_, folder.sectors, sectorIndex, sector, offset);
    if (!IsValidEntryName(entry->name.eightBit, longName)) return;

    const ItemName name = longName ? ItemName{{}, *longName} : ItemName{entry->name.eightBit, {}};
    const char deleted = folder.deleted || entry->name.deleted ? kFlagYes : kFlagNo;
    if (entry->isDirectory()) {
      const AddFolderResult added = job_.store.AddFolder(
          NewFolder{name, deleted, folder.number, entry->firstCluster, 0, EntryTimes(*entry), 0});
      // A live folder that took over a deleted one's record is walked as
      // live at once; the visited numbers keep either from being read twice.
      if (added.outcome != AddOutcome::Dropped) Enqueue(added.id, deleted);
    } else {
      job_.store.AddFile(
          NewFile{name, deleted, entry->size, folder.number, entry->firstCluster, 0, EntryTimes(*entry)});
    }
    job_.ReportItem(longName ? std::u16string_view(*longName) : std::u16string_view(entry->name.wide));
  }

  AnalysisJob& job_;
  SectorSource& sectors_;
  const BootParameters& boot_;
  FatType type_;
  FatLayout layout_;
  ReadPlan plan_;
  std::uint32_t stride_;  // bytes per source sector in the read buffer
  std::vector<std::uint8_t> buffer_;
  // Folders found and not yet walked, and the first clusters of those walked:
  // every folder is walked once, whatever its place in the store, and no
  // cluster twice, so a folder naming its ancestor cannot keep the walk going.
  std::deque<FolderId> pendingLive_;
  std::deque<FolderId> pendingDeleted_;
  std::unordered_set<std::uint32_t> visited_;
};

bool FoundNothing(const Store& store) { return store.folderCount() == 0 && store.fileCount() == 0; }

}  // namespace

AnalysisOutcome RunDeletedFat(AnalysisJob& job) {
  const std::optional<FatType> type = FatTypeFromName(job.parameters.fileSystem);
  // Without a cluster size no folder can be read: nothing to find here.
  if (!type || job.parameters.boot.sectorsPerCluster == 0) return HandOverToFormatted(job);

  DeletedFatWalk walk(job, *type);
  if (!walk.Run()) return AnalysisOutcome::DeletedRunEnded;
  if (FoundNothing(job.store)) return HandOverToFormatted(job);
  return AnalysisOutcome::DeletedRunEnded;
}

}  // namespace korv
