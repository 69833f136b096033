// The formatted NTFS scan over a range made of the input: the signature
// scan for file records, index records and boot sectors, the numbering of
// folders and files, the volumes rebuilt from them and the dump of a volume,
// each followed by the extraction of every file found. Run as Formatted
// Data Recovery when the range begins with a boot sector the analysis
// accepts, and always as the partition scan (no geometry), picking each of
// the first volumes it lists.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "volume_support.h"

namespace {

// Volumes of the partition scan's list that are picked, each in a session
// of its own as a new run would.
constexpr std::int64_t kMaxPickedVolumes = 2;

void LoadRange(korv::fuzz::VolumeSession& volume, const std::uint8_t* data, std::size_t size, std::uint64_t sectors) {
  std::memcpy(volume.disk.bytes.data(), data, size);
  volume.SelectVolume(0, sectors, korv::FileSystemKind::Ntfs);
}

void RunFormatted(const std::uint8_t* data, std::size_t size, std::uint64_t sectors) {
  korv::fuzz::VolumeSession volume(sectors);
  LoadRange(volume, data, size, sectors);
  if (!korv::ReadSelectedBootParameters(volume.session.sectors, volume.session.bootParameters)) return;
  volume.session.AnalyseSelectedRange(korv::RecoveryMode::FormattedData, volume.progress);
  korv::fuzz::ExtractEveryFile(volume.session, korv::fuzz::EmptyScratchFolder("out"));
}

// The number of volumes the scan listed.
std::size_t RunPartitionScan(const std::uint8_t* data, std::size_t size, std::uint64_t sectors, std::int64_t pick) {
  korv::fuzz::VolumeSession volume(sectors);
  LoadRange(volume, data, size, sectors);
  if (volume.session.ScanRangeForVolumes(volume.progress) != korv::AnalysisOutcome::CloseForVolumeList) return 0;
  if (pick <= static_cast<std::int64_t>(volume.session.volumeCandidates.size())) {
    volume.session.CopyFoundVolume(pick, volume.progress);
    korv::fuzz::ExtractEveryFile(volume.session, korv::fuzz::EmptyScratchFolder("out"));
  }
  return volume.session.volumeCandidates.size();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::uint64_t sectors = size / 512 + 1;
  RunFormatted(data, size, sectors);
  const std::size_t listed = RunPartitionScan(data, size, sectors, 1);
  for (std::int64_t pick = 2; pick <= kMaxPickedVolumes && pick <= static_cast<std::int64_t>(listed); ++pick) {
    RunPartitionScan(data, size, sectors, pick);
  }
  return 0;
}
