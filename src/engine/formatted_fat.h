// Formatted Data Recovery on FAT: finds the old folders by their "." and ".."
// entries, links them by the ".." cluster, names them from their parents'
// entries and reports the files every folder lists.
#pragma once

#include <string_view>

#include "engine/analysis_driver.h"

namespace korv {

inline constexpr std::string_view kStatusFatFolderSignatures =
    "Step 1/5 :- Searching Folders signatures. Please Wait...";
inline constexpr std::string_view kStatusFatLostFolders = "Step 2/5 :- Searching Lost Folders. Please Wait...  ";
inline constexpr std::string_view kStatusFatRootData = "Step 3/5 :- Inserting Root Data. Please Wait...  ";
inline constexpr std::string_view kStatusFatSubfolderData =
    "Step 4/5 :- Inserting Sub Directories Data. Please Wait...  ";
// Folders found by their signature are named this followed by the folder
// count at the time, until an entry of their parent names them.
inline constexpr std::string_view kFoundFolderPrefix = "Dir";

// Ends with ResultsReady, CloseNoResults (with a message) when the volume has
// no sectors per cluster, or Abandoned after Back. A stop ends the folder
// search or the reading of the sub-folders early; the later steps still run.
AnalysisOutcome RunFormattedFat(AnalysisJob& job);

}  // namespace korv
