// Deleted Data Recovery on FAT12, FAT16 and FAT32: reads the root folder and
// every folder found, present or deleted, and reports each valid entry.
// Every folder is read once, live ones before deleted ones, and no cluster
// twice; deleted folders through what is left of their chain (26 clusters at
// most). The user's stop or Back ends the walk between two folders.
#pragma once

#include "engine/analysis_driver.h"

namespace korv {

// Ends with DeletedRunEnded, or hands over to the formatted scan when
// nothing was found.
AnalysisOutcome RunDeletedFat(AnalysisJob& job);

}  // namespace korv
