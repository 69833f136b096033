// Raw finds of the formatted-data scans, kept before they become store
// items: directory and file MFT records found by signature. Plain lists in
// the order of finding, with no ordering and no duplicate test; the
// recovery log saves them with the store.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <string>

#include "engine/store.h"

namespace korv {

struct ScanDirRecord {
  std::u16string wideName;
  char deleted = kFlagNo;
  ItemTimes times{};  // NTFS meaning
  std::uint32_t parentNumber = 0;
  std::uint32_t ownNumber = 0;  // 0 while not known
  std::uint64_t recordSector = 0;
  std::uint32_t indexLcn = 0;     // first cluster of $INDEX_ALLOCATION; 0 when none
  std::int32_t volumeNumber = 0;  // 0 when found
};

struct ScanFileRecord {
  std::u16string wideName;
  char deleted = kFlagNo;
  ItemTimes times{};
  std::int32_t fileCountAtScan = 0;  // the store's fileCount when found
  std::uint64_t size = 0;
  std::uint32_t parentNumber = 0;
  std::uint32_t ownNumber = 0;  // fixed for the NTFS system files, else 0 until assigned
  std::uint64_t recordSector = 0;
  // The alternate data stream this entry stands for; empty for the file's
  // own data. A record's further names and streams are entries of their
  // own with the same recordSector.
  std::u16string stream;
};

using ScanDirList = std::deque<ScanDirRecord>;
using ScanFileList = std::deque<ScanFileRecord>;

// Appends to a list the caller holds, without counting (the directories
// still without a number).
void AddScanDir(ScanDirList& list, const ScanDirRecord& record);

// The process-wide scan lists. The counts say how many records were added
// since the last Clear; taking records off the head does not change them.
class ScanLists {
 public:
  void AddScanDir(const ScanDirRecord& record);
  void AddScanFile(const ScanFileRecord& record);
  void Clear();

  std::int32_t scanDirCount() const { return scanDirCount_.load(std::memory_order_relaxed); }
  std::int32_t scanFileCount() const { return scanFileCount_.load(std::memory_order_relaxed); }

  ScanDirList dirs;
  ScanFileList files;

 private:
  std::atomic<std::int32_t> scanDirCount_{0};
  std::atomic<std::int32_t> scanFileCount_{0};
};

}  // namespace korv
