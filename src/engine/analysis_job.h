// Everything one analysis run reads and writes, handed to the driver and
// from it to the worker of the mode and file system.
#pragma once

#include <atomic>
#include <string>

#include "common/progress.h"
#include "common/prompts.h"
#include "common/wizard_state.h"
#include "common/worker_control.h"
#include "engine/analysis_progress.h"
#include "engine/scan_list.h"
#include "engine/store.h"
#include "engine/volume_candidate.h"
#include "fs/boot_parameters.h"
#include "storage/current_source.h"
#include "storage/sector_source.h"

namespace korv {

struct LoadedLog;

// The parameters the workers read: the boot words of the analysed volume and
// the file system it is analysed as (NTFS, FAT32, FAT16 or FAT12).
struct AnalysisParameters {
  BootParameters boot;
  FileSystemKind fileSystem = FileSystemKind::Unknown;
};

// Messages and status texts the workers raise.
inline constexpr std::string_view kMsgSwitchingToFormatted =
    "Switching to Formatted data recovery for Lost files && folders. This will take long time.";
inline constexpr std::string_view kMsgRecoveryNotPossible =
    "Recovery is not possible using this option. Choose other mode for data recovery.";
inline constexpr std::string_view kStatusSearchingLostFolders = "Searching lost directories. Please Wait...  ";
// Followed by "%d/%d" of the folders done and the folder count.
inline constexpr std::string_view kStatusAssigningLostFolders = "Assigning Lost Folders : ";

// Size-line labels.
inline constexpr std::string_view kLabelTotalSize = "Total Size                   ";
inline constexpr std::string_view kLabelIndexesFound = "Indexes Found               ";
inline constexpr std::string_view kLabelCurrentSector = "Current Sector               ";

struct AnalysisJob {
  SectorSource& sectors;
  Store& store;
  ScanLists& scanLists;
  VolumeCandidateList& volumes;
  WorkerControl& worker;
  Prompts& prompts;
  AnalysisProgress& progress;
  WizardState& wizard;
  AnalysisRunFlags& flags;
  // The selected partition's boot words, read before the run starts.
  const BootParameters& bootParameters;
  AnalysisParameters& parameters;
  // The recovery log whose lists a run with logLoaded reads instead of
  // analysing.
  const LoadedLog* log = nullptr;

  const SelectedRange& range() const { return sectors.range(); }
  ProgressSink& sink() { return progress.sink(); }
  // Reports one found item to the progress display (size kind).
  void ReportItem(std::u16string_view name) {
    progress.Refresh(store.totalFileBytes(), store.folderCount(), store.fileCount(), name, RefreshKind::Size);
  }
};

}  // namespace korv
