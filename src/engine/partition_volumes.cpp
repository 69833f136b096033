#include "engine/partition_volumes.h"

#include <algorithm>

#include "engine/formatted_ntfs.h"
#include "platform/bytes.h"
#include "platform/read_buffer.h"

namespace korv {

namespace {

// How far below the data area the FAT search starts: FAT16 FATs are small,
// FAT32 FATs large.
constexpr std::uint32_t kFat16SearchSpan = 550;
constexpr std::uint32_t kFat32SearchSpan = 30000;
// Sectors before this hold the partition table and its gap, not a FAT.
constexpr std::uint32_t kFirstSearchedSector = 63;
constexpr std::uint32_t kSearchReadSectors = 64;
constexpr std::uint32_t kDefaultFat16RootSectors = 32;
constexpr std::uint32_t kDefaultFat32RootCluster = 2;

std::uint32_t FatSearchStart(const VolumeCandidate& candidate) {
  const std::uint32_t span = candidate.fileSystem == FileSystemKind::Fat32 ? kFat32SearchSpan : kFat16SearchSpan;
  const std::uint32_t dataStart = candidate.cluster0Sector;
  if (dataStart <= span) return kFirstSearchedSector;
  return dataStart - span;
}

bool BeginsFat(ByteView sector) { return sector.u8(0) == 0xF8 && sector.u8(1) == 0xFF && sector.u8(2) == 0xFF; }

void UseNtfsVolume(const VolumeCandidate& candidate, BootParameters& boot) {
  boot.sectorsPerCluster = candidate.sectorsPerCluster;
  boot.cluster0Sector = static_cast<std::uint32_t>(candidate.firstSector);
  boot.sectorsPerMftRecord = candidate.sectorsPerMftRecord;
  boot.sectorsPerIndexRecord = candidate.sectorsPerIndexRecord;
}

void UseFatVolume(SectorSource& sectors, VolumeCandidate& candidate, BootParameters& boot, SelectedRange& range) {
  boot.cluster0Sector = candidate.cluster0Sector;
  range.fileSystem = candidate.fileSystem;
  if (candidate.fat1FirstSector == 0) SearchFatCopies(sectors, candidate);
  const bool fat16 = candidate.fileSystem != FileSystemKind::Fat32;
  boot.fat1FirstSector = candidate.fat1FirstSector;
  boot.reservedSectors = candidate.reservedSectors;
  boot.rootDirSectors = candidate.rootDirSectors == 0 && fat16 ? kDefaultFat16RootSectors : candidate.rootDirSectors;
  boot.rootFirst = candidate.rootFirst == 0 ? kDefaultFat32RootCluster : candidate.rootFirst;
  boot.fat2FirstSector = candidate.fat2FirstSector;
  boot.sectorsPerCluster = candidate.sectorsPerCluster;
  boot.sectorsPerFat = candidate.sectorsPerFat;
  candidate = ShownVolumeExtent(candidate, range);
}

}  // namespace

bool IsListedVolume(std::int64_t number, std::size_t count) {
  return number >= 1 && static_cast<std::uint64_t>(number) <= count;
}

std::optional<std::uint16_t> PickedVolume(const AnalysisJob& job) {
  const std::int32_t number = job.flags.pickedVolume;
  // Volume numbers are 16-bit in the store.
  if (!IsListedVolume(number, std::min<std::size_t>(job.volumes.size(), UINT16_MAX))) return std::nullopt;
  return static_cast<std::uint16_t>(number);
}

void UsePickedVolume(SectorSource& sectors, VolumeCandidate& candidate, BootParameters& boot, SelectedRange& range) {
  if (candidate.fileSystem == FileSystemKind::Ntfs) {
    UseNtfsVolume(candidate, boot);
    return;
  }
  UseFatVolume(sectors, candidate, boot, range);
}

VolumeCandidate ShownVolumeExtent(VolumeCandidate candidate, const SelectedRange& range) {
  if (candidate.fileSystem == FileSystemKind::Ntfs) return candidate;
  if (candidate.endSector == 0) candidate.endSector = range.endSector;
  if (candidate.firstSector == 0) candidate.firstSector = candidate.cluster0Sector;
  return candidate;
}

void SearchFatCopies(SectorSource& sectors, VolumeCandidate& candidate) {
  const std::uint32_t end = candidate.cluster0Sector;
  const std::uint32_t stride = std::max<std::uint32_t>(sectors.sectorBytes(), 512);
  ReadBuffer buffer(std::size_t{kSearchReadSectors} * stride, 0);
  std::optional<std::uint32_t> first;
  for (std::uint32_t sector = FatSearchStart(candidate); sector < end;) {
    const std::uint32_t count = std::min(kSearchReadSectors, end - sector);
    sectors.ReadCurrent(sector, count, buffer);
    for (std::uint32_t i = 0; i < count; ++i, ++sector) {
      if (!BeginsFat(ByteView(buffer).sub(std::uint64_t{i} * stride, 3))) continue;
      if (!first) {
        first = sector;
        candidate.fat1FirstSector = sector;
        continue;
      }
      const std::uint32_t perFat = sector - *first;
      candidate.fat2FirstSector = sector;
      candidate.sectorsPerFat = perFat;
      candidate.rootFirst = candidate.fileSystem == FileSystemKind::Fat32 ? kDefaultFat32RootCluster : sector + perFat;
      return;
    }
  }
}

AnalysisOutcome CopyNtfsVolume(AnalysisJob& job) {
  const std::optional<std::uint16_t> volume = PickedVolume(job);
  if (!volume) return AnalysisOutcome::NoWorker;
  job.store.ClearStore();
  job.store.currentVolume = *volume;
  DumpNtfsVolume(job, *volume);
  return job.worker.abandoned() ? AnalysisOutcome::Abandoned : AnalysisOutcome::ResultsReady;
}

}  // namespace korv
