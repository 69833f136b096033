// Deleted Data Recovery of one partition, end to end through the session.
//
//   korv_analysis_bench [--device] IMAGE [PARTITION]
//
// Opens IMAGE as a virtual disk file, or with --device as a raw disk read the
// way the program reads a physical disk, selects PARTITION (from 1; default
// 1) and runs the deleted-data analysis on the calling thread with nobody
// watching the progress. Prints one line a script can parse (wrapped here):
//
//   seconds 0.183512 open 0.000412 select 0.000151 analyse 0.182949
//   folders 1002 files 50013 deleted_folders 20 deleted_files 6000 outcome 1
//
// seconds is the whole run, from making the session and opening the file to
// the end of the analysis; the three phases follow. folders and files are the
// store's counts, of which the deleted ones are counted after the clock has
// stopped; outcome is the AnalysisOutcome as a number. Exit status 2 when the
// file is refused or has no such partition, 1 when no analysis ran.
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>

#include "app/session.h"
#include "bench_support.h"
#include "common/progress.h"
#include "common/prompts.h"
#include "common/recovery_mode.h"
#include "engine/analysis_driver.h"
#include "engine/analysis_job.h"
#include "engine/analysis_progress.h"
#include "storage/current_source.h"
#include "volumes/partition_table.h"

namespace {

using namespace korv::bench;

// The deleted items the store holds, counted after the clock has stopped.
struct DeletedCounts {
  int folders = 0;
  int files = 0;
};

DeletedCounts CountDeleted(const korv::Store& store) {
  DeletedCounts counts;
  for (const korv::FolderId id : store.FoldersInOrder()) {
    if (store.folder(id).deleted == korv::kFlagYes) ++counts.folders;
  }
  store.ForEachFileInOrder([&](korv::FileId id) {
    if (store.file(id).deleted == korv::kFlagYes) ++counts.files;
  });
  return counts;
}

struct Arguments {
  bool device = false;
  const char* image = nullptr;
  int partition = 1;
};

bool ParsePartition(const char* text, int& number) {
  char* end = nullptr;
  const long value = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || value < 1 || value > 128) return false;
  number = static_cast<int>(value);
  return true;
}

bool ParseArguments(int argc, char** argv, Arguments& arguments) {
  int next = 1;
  if (next < argc && std::string_view(argv[next]) == "--device") {
    arguments.device = true;
    ++next;
  }
  if (next >= argc) return false;
  arguments.image = argv[next++];
  if (next < argc && !ParsePartition(argv[next++], arguments.partition)) return false;
  return next == argc;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  if (!ParseArguments(argc, argv, arguments)) {
    std::cerr << "usage: korv_analysis_bench [--device] IMAGE [PARTITION]\n";
    return 2;
  }
  ScratchFolder scratch("korv-analysis-bench");
  if (!scratch.made()) {
    std::cerr << "korv_analysis_bench: cannot make a scratch folder\n";
    return 1;
  }
  UnattendedPrompts prompts;
  korv::NullProgress sink;
  korv::AnalysisProgress progress(sink);

  const Clock::time_point start = Clock::now();
  korv::Session session(prompts, korv::SessionOptions{scratch.path() / "inventory.json", false});
  Clock::time_point opened{};
  if (const int refused = OpenAndSelect(session, arguments.image, arguments.device, arguments.partition, opened)) {
    return refused;
  }
  const Clock::time_point chosen = Clock::now();
  const korv::AnalysisOutcome outcome = arguments.device
                                            ? session.AnalyseSelectedRange(korv::RecoveryMode::DeletedData, progress)
                                            : session.Analyse(korv::RecoveryMode::DeletedData, progress);
  const Clock::time_point done = Clock::now();

  const DeletedCounts deleted = CountDeleted(session.store);
  std::printf(
      "seconds %.6f open %.6f select %.6f analyse %.6f folders %d files %d deleted_folders %d deleted_files %d "
      "outcome %d\n",
      SecondsBetween(start, done), SecondsBetween(start, opened), SecondsBetween(opened, chosen),
      SecondsBetween(chosen, done), session.store.folderCount(), session.store.fileCount(), deleted.folders,
      deleted.files, static_cast<int>(outcome));
  return outcome == korv::AnalysisOutcome::NoWorker ? 1 : 0;
}
