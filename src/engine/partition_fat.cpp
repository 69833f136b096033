#include "engine/partition_fat.h"

#include <algorithm>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "engine/analysis_step.h"
#include "engine/directory_pairing.h"
#include "engine/fat_folder_reader.h"
#include "engine/formatted_fat.h"
#include "engine/formatted_ntfs_scan.h"
#include "engine/lost_folders.h"
#include "engine/partition_volumes.h"
#include "fs/fat/fat_directory.h"
#include "fs/fat/fat_sector.h"
#include "platform/read_buffer.h"
#include "storage/allocation_stretches.h"

namespace korv {

namespace {

// More boot sectors than this in one range are copies or noise; each one
// costs a pass over every folder found.
constexpr std::size_t kMaxBootHits = 65536;
// Clusters 0 and 1 are no place for a folder.
constexpr std::uint32_t kFirstDataCluster = 2;
// A folder with a higher cluster than this cannot lie on FAT16.
constexpr std::uint32_t kHighestFat16Cluster = 0x10000;

// After a step: false when Back ended the run; a stop ended only the step.
bool GoesOn(AnalysisJob& job, StepGo go) {
  if (go == StepGo::Abandon) return false;
  job.worker.ClearStop();
  return true;
}

// Nothing of an earlier run may leak into this one.
void StartScan(AnalysisJob& job) {
  job.store.ClearStore();
  job.store.currentVolume = 0;
  job.scanLists.Clear();
  job.volumes.clear();
  job.flags.rangePhase = 1;
  job.progress.SetRangeEnd(job.range().endSector);
}

// Step 1: every sector of the range is a FAT boot sector, the first sector
// of a folder, or neither.
class FatSignatureScan {
 public:
  FatSignatureScan(AnalysisJob& job, std::vector<FatBootHit>& hits)
      : job_(job),
        hits_(hits),
        sectorBytes_(job.sectors.sectorBytes()),
        type_(job.range().fileSystem == FileSystemKind::Fat32 ? FatType::Fat32 : FatType::Fat16),
        percent_(job),
        stretches_(job.sectors.source()) {}

  StepGo Run() {
    const SelectedRange& range = job_.range();
    job_.sink().SetText(ProgressField::Status, kStatusPartitionScan);
    const std::uint32_t chunkSectors = ScanChunkSectors(sectorBytes_);
    AllocateChunk(std::size_t{chunkSectors} * sectorBytes_);
    for (std::uint64_t next = range.firstSector; next < range.endSector;) {
      const std::uint64_t left = range.endSector - next;
      // Stretches the container does not hold read as zeros: no signature.
      std::uint64_t step = std::min(stretches_.UnheldAt(next), left);
      if (step == 0) {
        step = std::min<std::uint64_t>(left, chunkSectors);
        ScanChunk(next, static_cast<std::uint32_t>(step));
      }
      next += step;
      percent_.Show(next, range.endSector);
      if (const StepGo go = CheckStep(job_); go != StepGo::On) return go;
    }
    return StepGo::On;
  }

 private:
  void AllocateChunk(std::size_t bytes) { chunk_.assign(bytes, 0); }

  void ScanChunk(std::uint64_t first, std::uint32_t count) {
    const auto buffer = std::span(chunk_).first(std::size_t{count} * sectorBytes_);
    job_.sectors.ReadCurrent(first, count, buffer);
    for (std::uint32_t i = 0; i < count; ++i) {
      TestSector(first + i, ByteView(buffer).sub(std::uint64_t{i} * sectorBytes_, kFatSectorBytes));
      job_.progress.Refresh(first + i, job_.scanLists.scanDirCount(), job_.scanLists.scanFileCount(), {},
                            RefreshKind::Sector);
    }
  }

  void TestSector(std::uint64_t sector, ByteView bytes) {
    if (const auto hit = ReadFatBootHit(bytes, sector)) {
      if (hits_.size() < kMaxBootHits) hits_.push_back(*hit);
      return;
    }
    if (BeginsWithDotEntries(bytes)) TakeFolder(sector, bytes);
  }

  void TakeFolder(std::uint64_t sector, ByteView bytes) {
    const auto dot = DecodeDirectoryEntry(bytes.sub(0, kFatEntryBytes), type_);
    const auto dotDot = DecodeDirectoryEntry(bytes.sub(kFatEntryBytes, kFatEntryBytes), type_);
    if (!dot || !dotDot) return;
    ScanDirRecord directory;
    directory.times = FatEntryTimes(*dot);
    directory.parentNumber = dotDot->firstCluster;
    directory.ownNumber = dot->firstCluster;
    directory.recordSector = sector;
    job_.scanLists.AddScanDir(directory);
  }

  AnalysisJob& job_;
  std::vector<FatBootHit>& hits_;
  const std::uint32_t sectorBytes_;
  const FatType type_;
  StepPercent percent_;
  AllocationStretches stretches_;
  ReadBuffer chunk_;
};

bool AgreesWith(const FatBootHit& hit, const ScanDirRecord& directory) {
  if (directory.volumeNumber != 0 || directory.ownNumber < kFirstDataCluster) return false;
  if (directory.recordSector < hit.cluster0Sector || directory.recordSector > hit.endSector) return false;
  return hit.cluster0Sector + std::uint64_t{directory.ownNumber} * hit.sectorsPerCluster == directory.recordSector;
}

VolumeCandidate CandidateOf(const PairedVolume& paired, FileSystemKind rangeFileSystem) {
  VolumeCandidate candidate;
  candidate.fileSystem = rangeFileSystem;
  if (rangeFileSystem != FileSystemKind::Fat32 && paired.highestOwnNumber > kHighestFat16Cluster) {
    candidate.fileSystem = FileSystemKind::Fat32;
  }
  candidate.sectorsPerCluster = paired.sectorsPerCluster;
  candidate.cluster0Sector = static_cast<std::uint32_t>(paired.cluster0Sector);
  return candidate;
}

// Step 4: the picked volume's folders go into the store, under "Lost" when
// their parent is not among them. False after Back.
bool DumpFatVolume(AnalysisJob& job, std::uint16_t volume) {
  job.sink().SetText(ProgressField::SizeLabel, kLabelTotalSize);
  job.sink().SetText(ProgressField::Status, kStatusPartitionDump);
  Store& store = job.store;
  const ScanDirList& directories = job.scanLists.dirs;
  if (!directories.empty()) AddFatLostFolder(store, volume);
  const FatType type = FatTypeOf(job.parameters.fileSystem).value_or(FatType::Fat16);
  StepPercent percent(job);
  std::uint64_t done = 0;
  // The lists are copied, not taken: picking another volume after Back
  // finds them whole.
  for (const ScanDirRecord& directory : directories) {
    ++done;
    if (directory.volumeNumber != volume) continue;
    const std::string name = std::string(kFoundFolderPrefix) + std::to_string(store.folderCount());
    store.AddFolder(NewFolder{ItemName{name, {}}, directory.deleted,
                              FatParentNumber(type, directory.parentNumber, job.parameters.boot),
                              directory.ownNumber, 0, directory.times, volume});
    job.ReportItem(EightBitToUtf16(name));
    percent.Show(done, directories.size());
    const StepGo go = CheckStep(job);
    if (go == StepGo::Abandon) return false;
    if (go == StepGo::EndStep) break;
  }
  job.worker.ClearStop();
  AssignLostItems(job, FatRootNumber, volume, kStatusPartitionLostFolders);
  job.worker.ClearStop();
  return !job.worker.abandoned();
}

}  // namespace

VolumeCandidate CandidateOf(const FatBootHit& hit) {
  VolumeCandidate candidate;
  candidate.fileSystem = hit.fileSystem;
  candidate.sectorsPerCluster = hit.sectorsPerCluster;
  candidate.firstSector = hit.sector;
  candidate.endSector = hit.endSector;
  candidate.sectorsPerFat = hit.sectorsPerFat;
  candidate.rootDirSectors = hit.rootDirSectors;
  candidate.reservedSectors = hit.reservedSectors;
  candidate.rootFirst = hit.rootFirst;
  candidate.cluster0Sector = hit.cluster0Sector;
  candidate.fat1FirstSector = hit.fat1FirstSector;
  candidate.fat2FirstSector = hit.fat2FirstSector;
  return candidate;
}

StepGo AgreeBootSectors(AnalysisJob& job, const std::vector<FatBootHit>& hits) {
  job.sink().SetText(ProgressField::Status, kStatusPartitionPhase1);
  // 64-bit: boot sectors times folders passes 32 bits on a large range.
  const std::uint64_t total = std::uint64_t{hits.size()} * job.scanLists.dirs.size();
  StepPercent percent(job);
  std::uint64_t visited = 0;
  for (const FatBootHit& hit : hits) {
    bool listed = false;
    for (ScanDirRecord& directory : job.scanLists.dirs) {
      percent.Show(++visited, total);
      if (AgreesWith(hit, directory)) {
        if (!listed) job.volumes.push_back(CandidateOf(hit));
        listed = true;
        directory.volumeNumber = static_cast<std::int32_t>(job.volumes.size());
      }
      if (const StepGo go = CheckStep(job); go != StepGo::On) return go;
    }
  }
  return StepGo::On;
}

StepGo PairLeftFolders(AnalysisJob& job) {
  job.sink().SetText(ProgressField::Status, kStatusPartitionPhase2);
  const std::uint64_t total = job.scanLists.dirs.size();
  StepPercent percent(job);
  StepGo go = StepGo::On;
  const auto progress = [&](std::uint64_t done) {
    percent.Show(done, total);
    go = CheckStep(job);
    return go == StepGo::On;
  };
  const auto firstVolume = static_cast<std::int32_t>(job.volumes.size() + 1);
  for (const PairedVolume& paired : PairDirectories(job.scanLists.dirs, firstVolume, progress)) {
    job.volumes.push_back(CandidateOf(paired, job.range().fileSystem));
  }
  return go;
}

AnalysisOutcome ScanFatRange(AnalysisJob& job) {
  StartScan(job);
  std::vector<FatBootHit> hits;
  if (!GoesOn(job, FatSignatureScan(job, hits).Run())) return AnalysisOutcome::Abandoned;
  if (!GoesOn(job, AgreeBootSectors(job, hits))) return AnalysisOutcome::Abandoned;
  if (!GoesOn(job, PairLeftFolders(job))) return AnalysisOutcome::Abandoned;
  return AnalysisOutcome::CloseForVolumeList;
}

AnalysisOutcome CopyFatVolume(AnalysisJob& job) {
  const std::optional<std::uint16_t> volume = PickedVolume(job);
  if (!volume) return AnalysisOutcome::NoWorker;
  job.store.ClearStore();
  job.store.currentVolume = *volume;
  if (!DumpFatVolume(job, *volume)) return AnalysisOutcome::Abandoned;
  return RunFormattedFatOnVolume(job, *volume);
}

}  // namespace korv
