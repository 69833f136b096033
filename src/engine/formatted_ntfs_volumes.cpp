#include "engine/formatted_ntfs_volumes.h"

#include <string>

#include "fs/ntfs/index_record.h"
#include "fs/ntfs/sector_reads.h"
#include "platform/read_buffer.h"

namespace korv {

namespace {

constexpr std::uint32_t kMaxSectorsPerCluster = 128;

bool IsUsableClusterSize(std::uint32_t sectorsPerCluster) {
  return sectorsPerCluster >= 1 && sectorsPerCluster <= kMaxSectorsPerCluster && IsPowerOfTwo(sectorsPerCluster);
}

// True when the directory's first index cluster, counted from `first`,
// holds an index record of that directory.
bool HoldsIndexRecordOf(AnalysisJob& job, std::uint64_t first, std::uint32_t sectorsPerCluster,
                        const ScanDirRecord& directory) {
  const auto offset = CheckedMul(directory.indexLcn, sectorsPerCluster);
  const auto sector = offset ? CheckedAdd(first, *offset) : std::nullopt;
  if (!sector) return false;
  const ReadBuffer bytes = ReadSectorBytes(job.sectors, *sector, 1);
  const auto index = ParseIndexRecord(ByteView(bytes));
  return index && index->directoryNumber == directory.ownNumber;
}

VolumeCandidate NtfsCandidate(std::uint64_t first, std::uint64_t end, std::uint32_t sectorsPerCluster,
                              std::uint32_t sectorsPerMftRecord, std::uint32_t sectorsPerIndexRecord) {
  VolumeCandidate candidate;
  candidate.fileSystem = FileSystemKind::Ntfs;
  candidate.sectorsPerCluster = sectorsPerCluster;
  candidate.firstSector = first;
  candidate.endSector = end;
  candidate.sectorsPerMftRecord = sectorsPerMftRecord;
  candidate.sectorsPerIndexRecord = sectorsPerIndexRecord;
  return candidate;
}

void AddCandidate(AnalysisJob& job, const VolumeCandidate& candidate) {
  job.volumes.push_back(candidate);
  job.sink().SetText(ProgressField::Status,
                     std::string(kStatusFormattedVolumesEnumerated) + std::to_string(job.volumes.size()));
}

StepGo ConfirmBootHits(AnalysisJob& job, const std::vector<NtfsBootHit>& bootHits) {
  StepGo go = StepGo::On;
  for (const NtfsBootHit& hit : bootHits) {
    // A damaged cluster size puts every index cluster in the wrong place;
    // the next boot sector may still describe a volume.
    if (!IsUsableClusterSize(hit.sectorsPerCluster)) continue;
    const std::uint64_t end = hit.sector + hit.totalSectors;
    if (ConfirmNtfsVolume(job, hit.sector, hit.sectorsPerCluster, end, go)) {
      AddCandidate(job, NtfsCandidate(hit.sector, end, hit.sectorsPerCluster, hit.sectorsPerMftRecord,
                                      hit.sectorsPerIndexRecord));
    }
    if (go == StepGo::On) go = CheckStep(job);
    if (go != StepGo::On) return go;
  }
  return go;
}

// Without a boot sector the range itself is tried, with the geometry of
// the selected volume.
StepGo ConfirmWholeRange(AnalysisJob& job) {
  const SelectedRange& range = job.range();
  const BootParameters& boot = job.parameters.boot;
  StepGo go = StepGo::On;
  if (!IsUsableClusterSize(boot.sectorsPerCluster)) return go;
  if (ConfirmNtfsVolume(job, range.firstSector, boot.sectorsPerCluster, range.endSector, go)) {
    AddCandidate(job, NtfsCandidate(range.firstSector, range.endSector, boot.sectorsPerCluster,
                                    boot.sectorsPerMftRecord, boot.sectorsPerIndexRecord));
  }
  return go;
}

// Directories found between two confirmed ones on disk belong with the one
// before them.
void InheritVolumes(ScanDirList& directories) {
  std::int32_t previous = 1;
  for (ScanDirRecord& directory : directories) {
    if (directory.volumeNumber == 0 || directory.volumeNumber == -1) directory.volumeNumber = previous;
    previous = directory.volumeNumber;
  }
}

}  // namespace

bool ConfirmNtfsVolume(AnalysisJob& job, std::uint64_t first, std::uint32_t sectorsPerCluster, std::uint64_t end,
                       StepGo& go) {
  ScanDirList& directories = job.scanLists.dirs;
  const auto volume = static_cast<std::int32_t>(job.volumes.size() + 1);
  const auto total = static_cast<std::uint64_t>(job.scanLists.scanDirCount());
  bool confirmed = false;
  std::uint64_t looked = 0;
  for (ScanDirRecord& directory : directories) {
    if (directory.recordSector <= first || directory.recordSector > end) continue;
    if (directory.volumeNumber == 0 && directory.indexLcn != 0 &&
        HoldsIndexRecordOf(job, first, sectorsPerCluster, directory)) {
      directory.volumeNumber = volume;
      confirmed = true;
    }
    ShowCount(job, kStatusAssigningFileSystem, ++looked, total);
    go = CheckStep(job);
    if (go != StepGo::On) break;
  }
  return confirmed;
}

StepGo FindNtfsVolumes(AnalysisJob& job, const std::vector<NtfsBootHit>& bootHits) {
  job.sink().SetText(ProgressField::Status, kStatusFormattedVolumes);
  const StepGo go = bootHits.empty() ? ConfirmWholeRange(job) : ConfirmBootHits(job, bootHits);
  if (go == StepGo::Abandon) return go;
  job.worker.ClearStop();
  InheritVolumes(job.scanLists.dirs);
  return go;
}

}  // namespace korv
