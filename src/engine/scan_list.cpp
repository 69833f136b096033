#include "engine/scan_list.h"

#include <limits>

#include "engine/store_memory.h"

namespace korv {
namespace {

// The record, names included, is copied inside the guard.
template <typename List, typename Record>
void Append(List& list, const Record& record) {
  GuardAllocation([&] { list.push_back(record); });
}

void Count(std::atomic<std::int32_t>& count) {
  if (count.load(std::memory_order_relaxed) == std::numeric_limits<std::int32_t>::max()) ReportOutOfMemory();
  count.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

void AddScanDir(ScanDirList& list, const ScanDirRecord& record) { Append(list, record); }

void ScanLists::AddScanDir(const ScanDirRecord& record) {
  Count(scanDirCount_);
  Append(dirs, record);
}

void ScanLists::AddScanFile(const ScanFileRecord& record) {
  Count(scanFileCount_);
  Append(files, record);
}

void ScanLists::Clear() {
  ScanDirList().swap(dirs);
  ScanFileList().swap(files);
  scanDirCount_.store(0, std::memory_order_relaxed);
  scanFileCount_.store(0, std::memory_order_relaxed);
}

}  // namespace korv
