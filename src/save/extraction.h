// Extraction of found files: where a file's bytes lie on the source (its MFT
// record and runs on NTFS, its cluster chain on FAT), and writing exactly
// its recorded size to the destination with its modification time.
//
// Two uses: the save walk (SaveNtfsFile, SaveFatFile), where the filters,
// the existing-file answers, the counters, the progress and the save's
// skip, abort and stop apply; and a single extraction for preview or open
// (ExtractFoundFile), where none of them do but the caller's own stop.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/prompts.h"
#include "common/worker_control.h"
#include "engine/analysis_job.h"
#include "engine/store.h"
#include "fs/ntfs/mft_run_list.h"
#include "fs/ntfs/run_list.h"
#include "save/file_time.h"
#include "save/safe_names.h"
#include "save/save_filters.h"
#include "save/save_progress.h"
#include "save/save_state.h"
#include "storage/sector_source.h"

namespace korv {

// The largest compression unit decoded: 256 clusters of 64 KiB.
inline constexpr std::uint64_t kMaxCompressionUnitBytes = 16u << 20;

// The analysed volume as extraction reads it: the source's sectors and the
// geometry the analysis ran with. The MFT's run list is built on first use
// and kept for the whole save.
class ExtractionSource {
 public:
  ExtractionSource(SectorSource& sectors, const AnalysisParameters& parameters)
      : sectors_(sectors), parameters_(parameters) {}

  SectorSource& sectors() { return sectors_; }
  const AnalysisParameters& parameters() const { return parameters_; }
  const BootParameters& boot() const { return parameters_.boot; }
  FileSystemKind fileSystem() const { return parameters_.fileSystem; }
  const MftRunList& mft();

 private:
  SectorSource& sectors_;
  const AnalysisParameters& parameters_;
  std::optional<MftRunList> mft_;
};

// Where a found file's bytes lie.
struct FileData {
  enum class Kind {
    Nothing,   // no data could be located: no file is written
    Empty,     // size 0: an empty file
    Resident,  // the bytes themselves, from the MFT record
    Runs,      // runs of sectors; a sparse run is zeros
  };
  Kind kind = Kind::Nothing;
  std::vector<std::uint8_t> resident;
  std::vector<Run> runs;
  // Runs of a compressed NTFS attribute: sectors per compression unit, each
  // unit plain, LZNT1-compressed or zeros. 0 for runs copied as they are.
  std::uint64_t compressionUnitSectors = 0;
  // A deleted FAT file whose first cluster a live file holds: its bytes may
  // be that file's.
  bool possiblyOverwritten = false;
};

// NTFS: the record at the file's recordSector (signature-found files) or,
// when that is 0, the record its own number names in the MFT's runs; its
// unnamed $DATA, or for a stream item the $DATA of that name. A
// record that cannot be located or does not begin with "FILE" gives
// Nothing; so does resident data whose value would run past the record,
// and compressed data whose unit would exceed kMaxCompressionUnitBytes.
FileData LocateNtfsData(ExtractionSource& source, const FoundFile& file);

// FAT: the file's chain on the first FAT when it has exactly the clusters
// its size needs, else on the second FAT; else, for a deleted file whose
// first cluster is free, that cluster and the free clusters after it
// (FreeClustersFrom); else that many consecutive clusters from the first
// one. A deleted file whose first cluster is in use is possiblyOverwritten.
FileData LocateFatData(ExtractionSource& source, const FoundFile& file);

// The chain of clusters from `firstCluster` on the FAT at `fatFirstSector`,
// read as `fileSystem` (FAT12, FAT16 or FAT32), at most
// clustersWanted + 1 long (so an over-long chain never matches), ending
// before a cluster it has already visited. Empty when the first cluster is
// not one of the volume's; just the first cluster when the FAT at
// fatFirstSector cannot be read (there is no second FAT, say).
std::vector<std::uint32_t> BuildClusterChain(ExtractionSource& source, FileSystemKind fileSystem,
                                             std::uint32_t firstCluster, std::uint64_t fatFirstSector,
                                             std::uint64_t clustersWanted);

struct SaveLedger;

// Everything one save walk works with.
struct SaveJob {
  ExtractionSource& source;
  const Store& store;
  const SaveFilters& filters;
  SaveState& state;
  WorkerControl& worker;
  Prompts& prompts;
  SaveQuestions& questions;
  SaveProgress& progress;
  // When set, told how each file the walk reached ended.
  SaveLedger* ledger = nullptr;
};

// How saving one file ended.
enum class SaveFileOutcome {
  Filtered,     // left out by the filters: no trace in the counters
  Skipped,      // an existing destination file was kept
  NotWritten,   // no data located, or the file could not be created
  Written,      // every byte written
  Cut,          // ended early by "S&kip", Abort or the stop request
  WriteFailed,  // a write came out short, or compressed data was damaged:
                // a copy error
};

// The save walk's copy of one file into `target` (rewritten by a rename).
SaveFileOutcome SaveNtfsFile(SaveJob& job, SaveTarget& target, const FoundFile& file);
SaveFileOutcome SaveFatFile(SaveJob& job, SaveTarget& target, const FoundFile& file);
// The one of the two the analysed file system calls for.
SaveFileOutcome SaveFoundFile(SaveJob& job, SaveTarget& target, const FoundFile& file);

// Writes `size` bytes of the runs, in order, to `path`, and sets its time.
// With a job, each piece is counted and shown, and the save's skip, abort
// and stop end the copy between pieces; without one (a single extraction)
// nothing is counted, and only `stop` (when given and set) ends it early.
SaveFileOutcome CopyRuns(ExtractionSource& source, SaveJob* job, const std::filesystem::path& path,
                         const std::vector<Run>& runs, std::uint64_t size, const SavedTime& fileTime,
                         const std::atomic<bool>* stop = nullptr);

// A single extraction for preview or open: the whole file at `path`, with
// its time; no filters, questions or counters. True when every byte was
// written: false too when `stop` was set before the end, between pieces,
// which leaves the file cut short, and when a compression unit was damaged.
bool ExtractFoundFile(ExtractionSource& source, const FoundFile& file, const std::filesystem::path& path,
                      const std::atomic<bool>* stop = nullptr);

// The time a saved file gets: the modification time of the found item.
SavedTime FoundFileTime(const FoundFile& file, FileSystemKind fileSystem);

}  // namespace korv
