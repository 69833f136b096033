// Record numbers for the file records a signature scan found: directories
// from the index records that list them, then every record still without a
// number from its neighbours on disk.
#pragma once

#include <vector>

#include "engine/analysis_job.h"
#include "engine/formatted_ntfs_scan.h"
#include "engine/formatted_ntfs_step.h"

namespace korv {

// Gives each directory without a number the record number of the index
// entry that names it: same creation time, same name (case counts), same
// parent. Each entry numbers at most one directory, the first found.
StepGo AssignFolderNumbers(AnalysisJob& job, const std::vector<IndexRecordHit>& indexHits);

// Walks the file and directory records together in order of their sectors;
// a record without a number continues the count of the one before it.
// Keeps only the first index record of each directory (VCN 0) in
// `indexHits`.
StepGo AssignNumbersFromNeighbours(AnalysisJob& job, std::vector<IndexRecordHit>& indexHits);

}  // namespace korv
