// The status texts of the steps of the formatted NTFS scan.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/analysis_job.h"
#include "engine/analysis_step.h"
#include "engine/store.h"
#include "fs/ntfs/record_values.h"

namespace korv {

inline constexpr std::string_view kStatusFormattedScan =
    "Step 1/5 :- Searching MFTs, Index Allocations signatures. Please Wait...";
inline constexpr std::string_view kStatusFormattedFolderNumbers =
    "Step 2/5 :- Assigning MFT Numbers to Folders. Please Wait...  ";
inline constexpr std::string_view kStatusFormattedFileNumbers =
    "Step 3/5 :- Assigning MFT Numbers to Files. Please Wait...  ";
inline constexpr std::string_view kStatusFormattedVolumes = "Step 4.1/5 :- Analysing File System. Please Wait...  ";
// Followed by the number of volumes confirmed so far.
inline constexpr std::string_view kStatusFormattedVolumesEnumerated =
    "Step 4.1/5 :- Analysing File System. Please Wait...      File System Enumerated :- ";
inline constexpr std::string_view kStatusFormattedDump =
    "Step 4.3/5 :- Dumping Files/Folders information for Selected File System. Please Wait...  ";
inline constexpr std::string_view kStatusFormattedLostFolders =
    "Step 5/5 :- Searching lost directories. Please Wait...  ";
// Each followed by "%d/%d" of the work done and the work there is.
inline constexpr std::string_view kStatusAssigningFolderNumbers = "Assigning Folders Mft Number's : ";
inline constexpr std::string_view kStatusAssigningFileNumbers = "Assigning File Mft Number's : ";
inline constexpr std::string_view kStatusAssigningFileSystem = "Assigning File system : ";
inline constexpr std::string_view kStatusDumpingItems = "Dumping Files && Folders : ";

}  // namespace korv
