#include "engine/formatted_ntfs_numbers.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>

#include "fs/ntfs/fixups.h"
#include "platform/read_buffer.h"

namespace korv {

namespace {

// An index record is read 4,096 bytes first, then whole when it is longer.
constexpr std::uint32_t kIndexFirstReadBytes = 4096;
constexpr std::uint64_t kIndexHeaderStart = 0x18;
constexpr std::uint64_t kBytesAllocatedField = 0x20;
constexpr std::uint64_t kMaxIndexRecordBytes = 0x10000;

// An index entry with its $FILE_NAME key, up to the name.
constexpr std::uint64_t kMinEntryBytes = 0x50;
constexpr std::uint64_t kEntryRecordField = 0x00;
constexpr std::uint64_t kEntryLengthField = 0x08;
constexpr std::uint64_t kEntryParentField = 0x10;
constexpr std::uint64_t kEntryCreationField = 0x18;
// The high half of the key's file attributes.
constexpr std::uint64_t kEntryNameFlagsField = 0x4A;
constexpr std::uint64_t kEntryNameLengthField = 0x50;
constexpr std::uint64_t kEntryNameField = 0x52;
// Set in the entries of directories (their $I30 index is present).
constexpr std::uint16_t kDirectoryNameFlag = 0x1000;

// A directory number no index gave: 0, or all ones.
constexpr std::uint32_t kNoDirectoryNumber = 0xFFFFFFFF;

std::uint64_t CreationTime(const ItemTimes& times) { return std::uint64_t{times[3]} << 32 | times[2]; }

// What an index entry and a directory record must share.
struct DirectoryKey {
  std::uint64_t creation = 0;
  std::uint32_t parent = 0;
  std::u16string name;

  bool operator==(const DirectoryKey&) const = default;
};

struct DirectoryKeyHash {
  std::size_t operator()(const DirectoryKey& key) const {
    const std::size_t name = std::hash<std::u16string>{}(key.name);
    const std::size_t rest = std::hash<std::uint64_t>{}(key.creation ^ (std::uint64_t{key.parent} << 17));
    return name ^ (rest + 0x9E3779B97F4A7C15ULL + (name << 6) + (name >> 2));
  }
};

struct DirectoryEntry {
  std::uint32_t number = 0;
  DirectoryKey key;
};

// The entry at the start of `entry` when it names a directory whose name
// lies whole inside the record.
std::optional<DirectoryEntry> ReadDirectoryEntry(ByteView entry) {
  const auto flags = entry.u16le(kEntryNameFlagsField);
  if (!flags || (*flags & kDirectoryNameFlag) == 0) return std::nullopt;
  const auto nameLength = entry.u8(kEntryNameLengthField);
  if (!nameLength || !entry.fits(kEntryNameField, 2 * std::uint64_t{*nameLength})) return std::nullopt;
  DirectoryEntry directory;
  directory.number = entry.u32le(kEntryRecordField).value_or(0);
  directory.key.parent = entry.u32le(kEntryParentField).value_or(0);
  directory.key.creation = entry.u64le(kEntryCreationField).value_or(0);
  directory.key.name = ReadUtf16(entry, kEntryNameField, *nameLength, /*bigEndian=*/false);
  return directory;
}

class FolderNumbering {
 public:
  explicit FolderNumbering(AnalysisJob& job) : job_(job), sectorBytes_(job.sectors.sectorBytes()), percent_(job) {}

  StepGo Run(const std::vector<IndexRecordHit>& hits) {
    job_.sink().SetText(ProgressField::Status, kStatusFormattedFolderNumbers);
    CollectUnnumbered();
    for (std::size_t done = 0; done < hits.size();) {
      if (!waiting_.empty()) NumberFrom(hits[done]);
      ++done;
      percent_.Show(done, hits.size());
      ShowCount(job_, kStatusAssigningFolderNumbers, done, hits.size());
      if (const StepGo go = CheckStep(job_); go != StepGo::On) return go;
    }
    return StepGo::On;
  }

 private:
  // The directories without a number, by what an entry must match, each
  // key's directories in list order.
  void CollectUnnumbered() {
    const ScanDirList& directories = job_.scanLists.dirs;
    for (std::size_t i = 0; i < directories.size(); ++i) {
      const ScanDirRecord& directory = directories[i];
      if (directory.ownNumber != 0) continue;
      waiting_[DirectoryKey{CreationTime(directory.times), directory.parentNumber, directory.wideName}].push_back(i);
    }
  }

  void NumberFrom(const IndexRecordHit& hit) {
    const auto size = ReadIndexRecord(hit.sector);
    if (!size) return;
    const ByteView record(record_.data(), *size);
    const auto firstEntry = record.u32le(kIndexHeaderStart);
    if (!firstEntry) return;
    // Each step moves forward by a nonzero length, so the walk ends.
    for (std::uint64_t at = kIndexHeaderStart + *firstEntry; record.fits(at, kMinEntryBytes);) {
      const ByteView entry = record.sub(at, record.size() - at);
      if (const auto directory = ReadDirectoryEntry(entry)) Give(*directory);
      const std::uint16_t length = entry.u16le(kEntryLengthField).value_or(0);
      if (length == 0) return;
      at += length;
    }
  }

  // The record at `sector` with its fixups applied, and its size; nothing
  // when it claims more than 64 KiB.
  std::optional<std::size_t> ReadIndexRecord(std::uint64_t sector) {
    const std::uint32_t firstSectors = std::max<std::uint32_t>(1, kIndexFirstReadBytes / sectorBytes_);
    Read(sector, firstSectors);
    const auto allocated = ByteView(record_).u32le(kBytesAllocatedField);
    if (!allocated) return std::nullopt;
    const std::uint64_t size = std::uint64_t{*allocated} + kIndexHeaderStart;
    if (size > kMaxIndexRecordBytes) return std::nullopt;
    if (size > record_.size()) Read(sector, static_cast<std::uint32_t>((size + sectorBytes_ - 1) / sectorBytes_));
    ApplyFixups(record_, size);
    return static_cast<std::size_t>(size);
  }

  void Read(std::uint64_t sector, std::uint32_t count) {
    record_.assign(std::size_t{count} * sectorBytes_, 0);
    job_.sectors.ReadCurrent(sector, count, record_);
  }

  void Give(const DirectoryEntry& entry) {
    // Number 0 would leave the directory as unnumbered as it was.
    if (entry.number == 0) return;
    const auto waiting = waiting_.find(entry.key);
    if (waiting == waiting_.end()) return;
    job_.scanLists.dirs[waiting->second.front()].ownNumber = entry.number;
    waiting->second.pop_front();
    if (waiting->second.empty()) waiting_.erase(waiting);
  }

  AnalysisJob& job_;
  const std::uint32_t sectorBytes_;
  StepPercent percent_;
  ReadBuffer record_;
  std::unordered_map<DirectoryKey, std::deque<std::size_t>, DirectoryKeyHash> waiting_;
};

StepGo NumberInDiskOrder(AnalysisJob& job, std::uint64_t indexCount) {
  ScanFileList& files = job.scanLists.files;
  ScanDirList& directories = job.scanLists.dirs;
  const std::uint64_t total =
      std::uint64_t(job.scanLists.scanDirCount()) + std::uint64_t(job.scanLists.scanFileCount()) + indexCount;
  StepPercent percent(job);
  std::uint32_t previous = 1;
  std::uint64_t previousSector = 0;
  std::size_t file = 0;
  std::size_t directory = 0;
  std::uint64_t done = 0;
  while (file < files.size() && directory < directories.size()) {
    if (files[file].recordSector < directories[directory].recordSector) {
      // A record's further names and streams follow it with its sector,
      // and share its number.
      const bool sameRecord = files[file].recordSector == previousSector && done != 0;
      previousSector = files[file].recordSector;
      std::uint32_t& number = files[file++].ownNumber;
      if (number == 0) number = sameRecord ? previous : previous + 1;
      previous = number;
    } else {
      previousSector = directories[directory].recordSector;
      std::uint32_t& number = directories[directory++].ownNumber;
      if (number == 0 || number == kNoDirectoryNumber) number = previous + 1;
      previous = number;
    }
    ++done;
    percent.Show(done, total);
    ShowCount(job, kStatusAssigningFileNumbers, done, total);
    if (const StepGo go = CheckStep(job); go != StepGo::On) return go;
  }
  return StepGo::On;
}

}  // namespace

StepGo AssignFolderNumbers(AnalysisJob& job, const std::vector<IndexRecordHit>& indexHits) {
  return FolderNumbering(job).Run(indexHits);
}

StepGo AssignNumbersFromNeighbours(AnalysisJob& job, std::vector<IndexRecordHit>& indexHits) {
  job.sink().SetText(ProgressField::Status, kStatusFormattedFileNumbers);
  StepGo go = StepGo::On;
  if (!job.scanLists.files.empty()) go = NumberInDiskOrder(job, indexHits.size());
  if (go == StepGo::Abandon) return go;
  std::erase_if(indexHits, [](const IndexRecordHit& hit) { return hit.vcn != 0; });
  job.sink().SetPercent(100);
  return go;
}

}  // namespace korv
