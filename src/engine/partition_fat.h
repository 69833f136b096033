// Partition Data Recovery on FAT: the scan of a typed range for the volumes
// it holds (boot sectors, and folders found by their "." and ".." entries),
// and the copy of the volume the user picked into the store.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/analysis_driver.h"
#include "engine/analysis_step.h"
#include "fs/fat/fat_boot_hit.h"

namespace korv {

inline constexpr std::string_view kStatusPartitionScan =
    "Step 1/5 :- Searching Boot Sectors/Sub-Directories. Please Wait...";
inline constexpr std::string_view kStatusPartitionPhase1 = "Step 2/5 :- Analysing File System(Phase 1). Please Wait...  ";
inline constexpr std::string_view kStatusPartitionPhase2 = "Step 3/5 :- Analysing File System(Phase 2). Please Wait...  ";
inline constexpr std::string_view kStatusPartitionDump =
    "Step 4/5 :- Dumping Folders information for Selected File System. Please Wait...  ";
inline constexpr std::string_view kStatusPartitionLostFolders =
    "Step 5/5 :- Searching lost directories. Please Wait...  ";

// Phase 0: scans the range, lists the volumes the finds agree on in
// job.volumes (the scan lists and the list of volumes are cleared first) and
// ends with CloseForVolumeList, or Abandoned after Back. A stop ends only
// the step it came in.
AnalysisOutcome ScanFatRange(AnalysisJob& job);

// Phase 1: copies the picked volume's folders into the store, then reads
// its root and walks its folders. NoWorker when no volume of the list is
// picked.
AnalysisOutcome CopyFatVolume(AnalysisJob& job);

// The candidate a boot sector found by the scan stands for.
VolumeCandidate CandidateOf(const FatBootHit& hit);

// The boot sectors' agreement with the folders (phase 1 of the analysis):
// a folder without a volume whose sector lies in [cluster 0, end] of a boot
// sector and where that boot sector puts its cluster joins the boot
// sector's volume, which is listed at its first such folder. Unconfirmed
// boot sectors add nothing.
StepGo AgreeBootSectors(AnalysisJob& job, const std::vector<FatBootHit>& hits);

// Folders left without a volume are paired (phase 2), each pair that agrees
// adding a volume without a boot sector.
StepGo PairLeftFolders(AnalysisJob& job);

}  // namespace korv
