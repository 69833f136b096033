// Formatted Data Recovery on NTFS: finds file, index and boot records by
// signature across the whole range, rebuilds record numbers and volumes from
// them, and dumps a volume's finds into the store.
#pragma once

#include <cstdint>

#include "engine/analysis_driver.h"

namespace korv {

// Steps 1 to 4.1, then (outside a range run) the dump of volume 1. Ends with
// ResultsReady, or CloseForVolumeList in a range run.
AnalysisOutcome RunFormattedNtfs(AnalysisJob& job);

// Moves the scan lists' finds of volume `volume` into the store, with
// "Lost" and the lost-folder pass.
void DumpNtfsVolume(AnalysisJob& job, std::int32_t volume);

}  // namespace korv
