// The choices of the mode and source pages that decide what an analysis
// runs, and the flags of the run in progress.
#pragma once

#include <cstdint>

#include "common/recovery_mode.h"

namespace korv {

// The page that is current, as its number: the results page, the toolbar and
// the menu commands look at it.
enum class ActivePage : std::int32_t {
  None = 0,
  Source = 1,
  Results = 2,
  Analysis = 3,
  Imaging = 4,
  PartitionResults = 5,
  ExtensionChoice = 6,
};

struct WizardState {
  RecoveryMode mode = RecoveryMode::None;
  bool rangeMode = false;      // the source page asks for a typed range (modes 3 to 5)
  ActivePage activePage = ActivePage::None;
  bool formattedMode = false;  // Formatted Data Recovery chosen (or handed over to)
  bool imagingMode = false;    // Create Disk Image chosen
  bool rangeRun = false;       // the run works on a typed sector range
};

struct AnalysisRunFlags {
  bool rawRun = false;         // the raw-recovery page started a carving run
  std::int32_t rangePhase = 0; // partition scan: 0 scan, 1 copy the picked volume
  bool logLoaded = false;      // the store comes from a recovery log
  std::int32_t pickedVolume = 0;  // partition scan: the volume picked on the list (from 1); 0 none
};

}  // namespace korv
