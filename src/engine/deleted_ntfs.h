// Deleted Data Recovery on NTFS: walks the MFT record by record in the order
// of its own runs and reports every named record, deleted or not.
#pragma once

#include "engine/analysis_driver.h"
#include "fs/ntfs/mft_run_list.h"

namespace korv {

// Runs the walk over `mft` (built by the driver). Ends with DeletedRunEnded,
// or hands over to the formatted scan when the walk found nothing.
AnalysisOutcome RunDeletedNtfs(AnalysisJob& job, const MftRunList& mft);

}  // namespace korv
