// The volumes a formatted NTFS scan found: each boot sector found is
// confirmed by a directory of its volume whose index record lies where the
// directory says, counted from that boot sector.
#pragma once

#include <cstdint>
#include <vector>

#include "engine/analysis_job.h"
#include "engine/formatted_ntfs_scan.h"
#include "engine/formatted_ntfs_step.h"

namespace korv {

// Looks at the directories found in (first, end] that have no volume yet: a
// directory whose first index cluster, counted from `first`, holds an index
// record of that directory joins the next volume (volumes.size() + 1).
// True when at least one did. Sets `go` when a stop or Back ended the walk.
bool ConfirmNtfsVolume(AnalysisJob& job, std::uint64_t first, std::uint32_t sectorsPerCluster, std::uint64_t end,
                       StepGo& go);

// Adds a VolumeCandidate for every boot hit that is confirmed (or, without
// boot hits, for the whole range when it is), then gives every directory
// left without a volume the volume of the directory before it.
StepGo FindNtfsVolumes(AnalysisJob& job, const std::vector<NtfsBootHit>& bootHits);

}  // namespace korv
