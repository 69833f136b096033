// Formatted Data Recovery on FAT: finds the old folders by their "." and ".."
// entries, links them by the ".." cluster, names them from their parents'
// entries and reports the files every folder lists.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/analysis_driver.h"
#include "fs/fat/fat_type.h"

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

// The same scan in a range run, on folders already in the store: it neither
// clears the store nor adds "Lost", and leaves out the folder search and the
// lost-folder pass; it reads the root of the volume and walks the folders of
// `volume` only.
AnalysisOutcome RunFormattedFatOnVolume(AnalysisJob& job, std::uint16_t volume);

// The folder a ".." entry names: 0 means the root; some systems write the
// FAT32 root's cluster instead, which means the root all the same.
std::uint32_t FatParentNumber(FatType type, std::uint32_t dotDotCluster, const BootParameters& boot);

}  // namespace korv
