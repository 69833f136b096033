// Formatted Data Recovery of one NTFS partition, end to end through the
// session, or its signature scan alone.
//
//   korv_formatted_bench [--device] [--scan-only] IMAGE [PARTITION]
//
// Opens IMAGE as a virtual disk file, or with --device as a raw disk read the
// way the program reads a physical disk, selects PARTITION (from 1; default
// 1) and runs, on the calling thread with nobody watching the progress,
// either the whole formatted analysis or (--scan-only) the signature scan of
// its first step. Prints one line a script can parse (wrapped here):
//
//   seconds 2.113 open 0.0004 select 0.0002 work 2.112 bytes 2146435072
//   MB/s 1016.3 folders 1002 files 50013 indexes 1312 boots 2 outcome 2
//
// seconds is the whole run; work is the analysis (or the scan) alone, and
// MB/s the partition's size over it (MB = 10^6 bytes). folders and files are
// the store's counts after an analysis, the scan lists' counts after a scan;
// indexes and boots the index records and boot sectors the scan found (-1
// after a whole analysis). Exit status 2 when the file is refused or has no
// such partition, 1 when nothing ran.
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
#include "engine/formatted_ntfs_scan.h"
#include "storage/current_source.h"
#include "volumes/partition_table.h"

namespace {

using namespace korv::bench;

struct Arguments {
  bool device = false;
  bool scanOnly = false;
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
  for (; next < argc && std::string_view(argv[next]).starts_with("--"); ++next) {
    const std::string_view option = argv[next];
    if (option == "--device") {
      arguments.device = true;
    } else if (option == "--scan-only") {
      arguments.scanOnly = true;
    } else {
      return false;
    }
  }
  if (next >= argc) return false;
  arguments.image = argv[next++];
  if (next < argc && !ParsePartition(argv[next++], arguments.partition)) return false;
  return next == argc;
}

struct Counts {
  long folders = 0;
  long files = 0;
  long indexes = -1;
  long boots = -1;
  int outcome = -1;
};

// The signature scan alone, as the formatted worker starts it.
Counts ScanOnly(korv::Session& session, korv::AnalysisProgress& progress) {
  Counts counts;
  if (!korv::ReadSelectedBootParameters(session.sectors, session.bootParameters)) return counts;
  session.wizard.formattedMode = true;
  korv::AnalysisJob job = session.MakeAnalysisJob(progress);
  job.scanLists.Clear();
  korv::SignatureFinds finds;
  korv::ScanNtfsSignatures(job, finds);
  counts.folders = job.scanLists.scanDirCount();
  counts.files = job.scanLists.scanFileCount();
  counts.indexes = static_cast<long>(finds.indexHits.size());
  counts.boots = static_cast<long>(finds.bootHits.size());
  counts.outcome = 0;
  return counts;
}

Counts WholeAnalysis(korv::Session& session, korv::AnalysisProgress& progress, bool device) {
  Counts counts;
  const korv::AnalysisOutcome outcome = device
                                            ? session.AnalyseSelectedRange(korv::RecoveryMode::FormattedData, progress)
                                            : session.Analyse(korv::RecoveryMode::FormattedData, progress);
  counts.folders = session.store.folderCount();
  counts.files = session.store.fileCount();
  counts.outcome = static_cast<int>(outcome);
  return counts;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments arguments;
  if (!ParseArguments(argc, argv, arguments)) {
    std::cerr << "usage: korv_formatted_bench [--device] [--scan-only] IMAGE [PARTITION]\n";
    return 2;
  }
  ScratchFolder scratch("korv-formatted-bench");
  if (!scratch.made()) {
    std::cerr << "korv_formatted_bench: cannot make a scratch folder\n";
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
  const Counts counts =
      arguments.scanOnly ? ScanOnly(session, progress) : WholeAnalysis(session, progress, arguments.device);
  const Clock::time_point done = Clock::now();

  const std::uint64_t bytes = (session.range.endSector - session.range.firstSector) * session.sectors.sectorBytes();
  const double work = SecondsBetween(chosen, done);
  std::printf(
      "seconds %.6f open %.6f select %.6f work %.6f bytes %llu MB/s %.1f folders %ld files %ld indexes %ld boots %ld "
      "outcome %d\n",
      SecondsBetween(start, done), SecondsBetween(start, opened), SecondsBetween(opened, chosen), work,
      static_cast<unsigned long long>(bytes), work > 0 ? static_cast<double>(bytes) / work / 1e6 : 0.0, counts.folders,
      counts.files, counts.indexes, counts.boots, counts.outcome);
  return counts.outcome < 0 ? 1 : 0;
}
