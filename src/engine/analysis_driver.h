// The analysis driver: picks the worker of the chosen mode and file system,
// shows the run's fixed texts, runs the worker on the calling thread and
// says how the run ended. Front ends run it on their worker thread, display
// what reaches the sink and open what the outcome names.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/recovery_mode.h"
#include "engine/analysis_job.h"

namespace korv {

inline constexpr std::string_view kAnalysisHeading = "Korvane analysing. Please wait...";
inline constexpr std::string_view kBannerDeleted = "Korvane is quickly analysing for deleted files and folders.";
inline constexpr std::string_view kBannerFormatted = "Korvane is doing deep analysis for formatted data.";
inline constexpr std::string_view kBannerPartition =
    "Korvane is doing deep analysis for deleted/lost/re-partitioned partitions.";
inline constexpr std::string_view kBannerRaw =
    "Korvane is doing deep analysis for selected extensions && recovering simultaneously.";
inline constexpr std::string_view kBannerImaging =
    "Korvane is creating disk image.\nPlease select respective recovery mode for data recovery once imaging is "
    "completed.";
inline constexpr std::string_view kStepPictureAnalysis = "\\Step-2.bmp";
inline constexpr std::string_view kStepPictureRaw = "\\Step-3.bmp";
inline constexpr std::string_view kLabelBytesRecovered = "Bytes Recovered              ";
inline constexpr std::string_view kLabelSizeCopied = "Size Copied                  ";
inline constexpr std::string_view kQuestionStopAnalysis =
    "Do you want to stop Recovery analysis. This may show incomplete data && you may need to run this step again.";
inline constexpr std::string_view kQuestionGoBack = "Do you want to go back to Previous Step.";
inline constexpr std::string_view kHintHideDetails = "Selecting Hide Details will speedup data recovery analysis...";
inline constexpr std::string_view kMsgBootSectorUnreadable =
    "The boot sector of the selected partition cannot be read. Choose other mode for data recovery.";

// How a run ended, and so what the front end opens next.
enum class AnalysisOutcome {
  NoWorker,            // the file system is none the analysis knows: nothing ran
  DeletedRunEnded,     // a deleted-data run finished or was stopped: show the store as it stands
  ResultsReady,        // show the results view
  CloseForVolumeList,  // a partition scan found its volumes: show the volume list
  CloseNoResults,      // the mode cannot work on this volume: the store is freed
  WorkerDone,          // a carving or imaging run finished
  Abandoned,           // Back: the worker ended and the store was cleared
};

inline constexpr std::string_view kModeDeleted = "Deleted Data Recovery";
inline constexpr std::string_view kModeFormatted = "Formatted Data Recovery";
inline constexpr std::string_view kModePartition = "Partition Data Recovery";
inline constexpr std::string_view kModeRaw = "Raw Data Recovery";
inline constexpr std::string_view kModeImaging = "Create Disk Image";
inline constexpr std::string_view kDeviceVirtualDisk = "Virtual Disk";
// The labels the values of the fixed lines follow.
inline constexpr std::string_view kLabelMode = "Mode     :";
inline constexpr std::string_view kLabelDevice = "Device   :";
inline constexpr std::string_view kLabelCapacity = "Capacity :";

// The mode the run's flags stand for, as the "Mode     :" line names it.
std::string_view ModeName(const WizardState& wizard, const AnalysisRunFlags& flags);
// The source's name for the "Device   :" line.
std::string DeviceName(const CurrentSource& source);
// The size of the range for the "Capacity :" line.
std::string CapacityText(const SelectedRange& range, std::uint32_t sectorBytes);

// Reads the boot parameters of the selected range for its file system into
// `boot`: NTFS, or FAT laid out as the range's name says. False when the
// boot sector does not describe such a volume.
bool ReadSelectedBootParameters(SectorSource& sectors, BootParameters& boot);

// The file system a volume is analysed as: the range's, except that a FAT
// volume too small for 16-bit entries is analysed as FAT12.
FileSystemKind AnalysedFileSystem(const SelectedRange& range, const BootParameters& boot);

// Selects the worker, shows the run's texts and runs it to its end. A Back
// (WorkerControl::RequestAbandon) ends it with the store cleared.
AnalysisOutcome RunAnalysis(AnalysisJob& job);

// The deleted-data workers' way into the formatted scan when they found
// nothing.
AnalysisOutcome HandOverToFormatted(AnalysisJob& job);

}  // namespace korv
