// Reading FAT folders for the analysis workers: the root (the fixed root
// area of FAT12/16 or the root chain of FAT32) and sub-folders through their
// chain, in reads of at most eight sectors. Every short entry that passes the
// checks goes to the worker with its long name; what the worker makes of it
// (a new folder, a name for a folder already found, a file) is its own.
#pragma once

#include <cstdint>
#include <functional>
#include <unordered_set>
#include <vector>

#include "engine/analysis_job.h"
#include "fs/fat/fat_directory.h"
#include "fs/fat/fat_table.h"
#include "fs/fat/fat_type.h"
#include "platform/bytes.h"
#include "platform/read_buffer.h"

namespace korv {

// A short entry's times in the store's FAT order: last-write date and time,
// creation date and time, last-access date, 0.
ItemTimes FatEntryTimes(const FatDirectoryEntry& entry);

// A cluster holds the start of a folder when it begins with the "." and ".."
// entries; a folder's cluster taken over by file data does not.
bool BeginsWithDotEntries(ByteView sector);

// One entry of a folder that passed the checks: a valid name, a first cluster.
struct ListedEntry {
  const FatDirectoryEntry& entry;
  ItemName name;               // the long name when one precedes the entry, else the short name
  char deleted = kFlagNo;      // the entry, or the folder it lies in, is deleted
  std::uint32_t parentNumber;  // FatRootNumber in the root, else the folder's first cluster
};

using ListedEntryHandler = std::function<void(const ListedEntry&)>;

class FatFolderReader {
 public:
  FatFolderReader(AnalysisJob& job, FatType type);

  const FatLayout& layout() const { return layout_; }

  // Hands every entry of the root to `handle`, then reports it to the
  // progress display. A 0x00 entry ends only the root's current sector.
  void ReadRoot(const ListedEntryHandler& handle);

  // True the first time a cluster of the volume is asked for: every folder
  // is read once and no cluster twice, so folders that name an ancestor
  // cannot keep a walk going. The FAT32 root's cluster is claimed by ReadRoot.
  bool Claim(std::uint32_t cluster);

  // Reads the folder that begins at `cluster` through its chain (26 clusters
  // at most when it is deleted, else only its first cluster when the chain
  // does not start there) and hands each entry to `handle`; a 0x00 entry ends
  // the folder. False, reading nothing more, when the cluster does not begin
  // with "." and "..".
  bool ReadSubfolder(std::uint32_t cluster, bool deleted, const ListedEntryHandler& handle);

 private:
  struct WalkedFolder;
  enum class Continuation { GoOn, FolderEnds };

  void ReadRootArea(const ListedEntryHandler& handle);
  void ReadFat32Root(const ListedEntryHandler& handle);
  std::uint32_t RootAreaSectors() const;
  void ReadClusters(const WalkedFolder& folder, const FolderChain& chain, bool firstRunRead);
  void ReadRun(std::uint64_t firstSector, std::uint32_t count);
  ByteView SectorOfRun(std::uint32_t index) const;
  Continuation HandleRun(const WalkedFolder& folder, std::uint64_t firstIndex, std::uint32_t count);
  Continuation HandleSector(const WalkedFolder& folder, std::uint64_t sectorIndex, ByteView sector);
  void HandleEntry(const WalkedFolder& folder, std::uint64_t sectorIndex, ByteView sector, std::uint32_t offset);

  AnalysisJob& job_;
  SectorSource& sectors_;
  const BootParameters& boot_;
  FatType type_;
  FatLayout layout_;
  std::uint32_t sectorsPerRead_ = 0;
  std::uint32_t readsPerCluster_ = 0;
  std::uint32_t stride_ = 0;  // bytes per source sector in the read buffer
  ReadBuffer buffer_;
  std::unordered_set<std::uint32_t> claimed_;
};

}  // namespace korv
