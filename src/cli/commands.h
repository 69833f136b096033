// The commands of korvane-cli. Each returns the process exit status.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/search_filters.h"
#include "cli/source_choice.h"
#include "engine/found_tree.h"

namespace korv::cli {

// Exit statuses scripts rely on.
constexpr int kExitDone = 0;
constexpr int kExitIncomplete = 1;  // the work ran but did not complete
constexpr int kExitRefused = 2;     // the input was refused; the message says why

struct ReadOptions {
  std::string image;
  std::uint64_t first = 0;
  std::uint64_t count = 0;
  std::string output;  // empty: standard output
  std::string badSectors = "skip";
  std::string inventory;  // empty: the user's default place
};

int RunRead(const ReadOptions& options);

struct ProbeOptions {
  std::string image;
  bool json = false;
  std::string inventory;
};

// Recognises a disk file and says whether it would be accepted, and why not.
int RunProbe(const ProbeOptions& options);

struct PartitionsOptions {
  std::string image;
  bool json = false;
  std::string inventory;
};

// The source tree of a disk file: its partitions as the source page lists them.
int RunPartitions(const PartitionsOptions& options);

struct AnalyzeOptions {
  SourceChoice source;
  bool json = false;
  std::string saveLog;  // write the run's recovery log to this file; empty: none
  std::string badSectors = "skip";
  SearchFilterOptions search;  // only the matches are listed
};

// Runs the analysis of a partition or range and lists what it found.
int RunAnalyze(const AnalyzeOptions& options);

struct RecoverOptions {
  SourceChoice source;
  std::string output;
  std::vector<std::string> select;  // paths as analyze prints them; with selectIds empty: everything
  std::vector<std::string> selectIds;  // IDs as analyze prints them
  SearchFilterOptions search;       // only the matching files of the selection are saved
  std::string extensions;           // comma-separated
  std::string onExists = "rename";
  std::string badSectors = "skip";
  bool dryRun = false;   // list what would be written, write nothing
  bool verbose = false;  // each file's path and result
  bool force = false;    // Yes to the free-space question
  bool json = false;
};

// Analysis, then the save walk of what is selected into the output folder.
int RunRecover(const RecoverOptions& options);

struct ExtractOptions {
  SourceChoice source;
  std::string id;      // as analyze lists it
  std::string output;  // empty: standard output
  std::string badSectors = "skip";
};

// One found file's bytes, as saving writes them, to standard output or a
// file.
int RunExtract(const ExtractOptions& options);

struct CarveOptions {
  SourceChoice source;  // the partition, or --first and --end
  std::string types;    // comma-separated row names, or "all"
  std::string output;
  bool json = false;
  bool wholeSectors = false;  // the whole-sector end for every type that has one
  std::string badSectors = "skip";
};

// Carves files of the ticked types out of a partition or range into the
// output folder, one folder per type.
int RunCarve(const CarveOptions& options);

struct ImageOptions {
  SourceChoice source;  // the partition, or --first and --end
  bool whole = false;   // the whole disk, from sector 0
  std::string output;   // the image folder
  bool split = false;   // 2 GB pieces
  bool json = false;
  std::string badSectors = "skip";
};

// "Create Disk Image" into an image folder, with a summary and the image's
// SHA-256.
int RunImage(const ImageOptions& options);

struct AnalysisRun {
  AnalysisOutcome outcome = AnalysisOutcome::NoWorker;
  bool interrupted = false;  // Ctrl-C stopped it
};

// The analysis of the selected source, with the progress line and Ctrl-C
// as Stop.
AnalysisRun RunAnalysisFor(Session& session, const SourceChoice& choice);

// Selects the source, refusing a partition mode without --volume, and runs
// its analysis: the exit status when that leaves no files to work on.
std::optional<int> AnalyseForFiles(Session& session, const SourceChoice& choice, AnalysisRun& run);

// A name from disk on one line: control characters, which would break the
// one-item-a-line listings, are shown as \xNN. AppendPrintable writes the
// same onto the end of `out`.
std::string PrintableLine(const std::string& text);
void AppendPrintable(std::string& out, std::string_view text);

// The found tree in the order the listing shows it.
std::vector<FoundTreeEntry> FoundEntries(const Session& session);

}  // namespace korv::cli
