// The recovery log (".kvfr"): an analysis written to a file and loaded back
// later instead of analysing again. It holds the selection, the boot and
// analysis words, the mode flags, the volumes a partition scan found, the
// scan lists (when saved from the volume list) and the whole store, every
// number little-endian, field by field.
//
// A log is untrusted input: every count is bounded by the bytes left in the
// file before anything is allocated or looped over, and a log that does not
// hold what its header promises is refused whole: the store and the scan
// lists are left empty, never half filled.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "common/wizard_state.h"
#include "engine/scan_list.h"
#include "engine/store.h"
#include "engine/volume_candidate.h"
#include "fs/boot_parameters.h"
#include "storage/current_source.h"

namespace korv {

struct AnalysisJob;
struct AnalysisParameters;

inline constexpr std::string_view kLogExtension = ".kvfr";
inline constexpr std::string_view kLogFileFilter = "*.kvfr";

inline constexpr std::string_view kMsgLogNoPath = "You have not selected any path. Please try again.";
inline constexpr std::string_view kMsgLogCreateFailed = "Error found while creating log file. Please try again.";
inline constexpr std::string_view kMsgLogOpenFailed = "Error found while opening log file. Please try again.";
inline constexpr std::string_view kMsgLogInvalid = "Log file is not valid. Invalid seeking. .";
inline constexpr std::string_view kMsgLogWrongDevice = "Please select proper device.";
inline constexpr std::string_view kMsgLogUnableToOpen = "Unable to open file.";

// Names are stored with a one-byte count: longer ones are cut at this many
// UTF-16 units (one fewer when the cut would split a surrogate pair), by the
// writer and again by the reader.
inline constexpr std::size_t kLogNameUnits = 255;

// The parts of the session a log is written from and loaded into.
struct RecoveryLogState {
  CurrentSource& source;
  SelectedRange& range;
  BootParameters& boot;
  AnalysisParameters& parameters;
  WizardState& wizard;
  AnalysisRunFlags& flags;
  Store& store;
  ScanLists& scanLists;
  VolumeCandidateList& volumes;
  std::uint32_t sectorBytes;  // the current source's sector size
};

// The sizes of the tables the header's device, disk and partition bytes
// index.
struct LogTableSizes {
  int devices = kDevicePathSlots;
  int disks = 0;
  int partitions = 0;
};

// A header loaded: where the lists begin, and whether the scan lists come
// before the store.
struct LoadedLog {
  std::filesystem::path path;
  std::uint64_t dataOffset = 0;
  bool scanLists = false;
};

// The path a chosen file name is saved to and opened from: the folder as
// given; ".kvfr" appended to the file name when it does not end in it
// already (in any case). Nothing is upper-cased.
std::filesystem::path RecoveryLogPath(const std::filesystem::path& chosen);

// The name as the log stores it: at most kLogNameUnits units, never ending
// in the first half of a surrogate pair it cut.
std::u16string_view CutLogName(std::u16string_view name);

// Writes the log to `path` (already with its extension): into a temporary
// file in the same folder, each write checked, renamed over `path` at the
// end. With `withScanLists` (saved from the volume list of a range run) the
// scan lists follow the volumes. Nothing on success; on any failure
// kMsgLogCreateFailed, with nothing left under `path` or beside it.
std::optional<std::string_view> SaveRecoveryLog(const RecoveryLogState& state, const std::filesystem::path& path,
                                                bool withScanLists);

// Reads the header and the volumes of the log at `path` and, only when all
// of it is sound, restores the selection, the words, the flags and the
// volumes into `state` and fills `loaded`; the store and the scan lists are
// emptied, for the lists to be loaded by the worker. The recovery mode
// becomes Partition, Formatted or Deleted Data Recovery as the log says, and
// logLoaded is set. The message when refused; `state` is untouched then.
std::optional<std::string_view> LoadRecoveryLogHeader(const std::filesystem::path& path, const LogTableSizes& tables,
                                                      RecoveryLogState& state, LoadedLog& loaded);

enum class LogListsOutcome {
  Loaded,     // every record read
  Stopped,    // a stop ended the load early: what was read so far is kept
  Abandoned,  // Back ended it
  Refused,    // the message was shown; the store and scan lists are empty
};

// The worker's part: the scan lists (when the header said so) and the store,
// added through the store's own functions, with progress after every
// record.
LogListsOutcome LoadRecoveryLogLists(AnalysisJob& job, const LoadedLog& log);

}  // namespace korv
