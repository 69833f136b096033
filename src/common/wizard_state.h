// The choices of the mode and source pages that decide what an analysis
// runs, and the flags of the run in progress.
#pragma once

#include <cstdint>

namespace korv {

struct WizardState {
  bool formattedMode = false;  // Formatted Data Recovery chosen (or handed over to)
  bool imagingMode = false;    // Create Disk Image chosen
  bool rangeRun = false;       // the run works on a typed sector range
};

struct AnalysisRunFlags {
  bool rawRun = false;         // the raw-recovery page started a carving run
  std::int32_t rangePhase = 0; // partition scan: 0 scan, 1 copy the picked volume
  bool logLoaded = false;      // the store comes from a recovery log
};

}  // namespace korv
