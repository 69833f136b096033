// Cost of the recovery log at the size of a large volume.
//
//   korv_log_bench [FILES [FOLDERS]]      (default 1000000 100000)
//
// Fills the store as korv_store_bench does (FOLDERS folders, each under a
// random earlier one, then FILES files under random folders, 14-character
// names), then saves its log ("Save Log" of the results view) and loads it
// back into a second session (the header, then the lists through the
// store's own functions, as "Load log" does). Prints one line a script can
// parse:
//
//   save 0.41 load 0.83 seconds log_mb 96.1 folders 100000 files 1000000
//
// (wall-clock seconds of each; the log is read back from the page cache.)
//
// Exit status 1 when the loaded store does not hold what was saved.
#include <cstdio>
#include <cstdlib>
#include <random>

#include "bench_support.h"
#include "large_store.h"

namespace {

using korv::bench::Clock;
using korv::bench::SecondsBetween;

void FillStore(korv::Store& store, std::uint32_t files, std::uint32_t folders) {
  std::mt19937 random(20240611);
  korv::bench::AddFolders(store, folders, random);
  korv::bench::AddFiles(store, files, folders, random);
}

// A session whose selected source is the virtual disk "Disk0", as the source
// page leaves it.
struct LogSession {
  explicit LogSession(const std::filesystem::path& folder)
      : session(prompts, korv::SessionOptions{folder / "inventory.json", false}) {
    session.source.kind = korv::SourceKind::VirtualDisk;
    session.range.selectedText = "Disk0";
    session.range.fileSystem = korv::FileSystemKind::Ntfs;
    session.range.endSector = 1 << 30;
    session.analysisParameters.fileSystem = korv::FileSystemKind::Ntfs;
  }
  korv::bench::UnattendedPrompts prompts;
  korv::Session session;
};

}  // namespace

int main(int argc, char** argv) {
  const std::uint32_t files = korv::bench::CountArgument(argc, argv, 1, 1'000'000);
  const std::uint32_t folders = std::max<std::uint32_t>(1, korv::bench::CountArgument(argc, argv, 2, 100'000));
  korv::bench::ScratchFolder scratch("korv-log-bench");
  if (!scratch.made()) return 1;
  const std::filesystem::path log = scratch.path() / "large.kvfr";

  LogSession saved(scratch.path());
  FillStore(saved.session.store, files, folders);
  const Clock::time_point saveStart = Clock::now();
  if (const auto refusal = saved.session.SaveLog(log, false)) {
    std::fprintf(stderr, "log_bench: %.*s\n", static_cast<int>(refusal->size()), refusal->data());
    return 1;
  }
  const double saveSeconds = SecondsBetween(saveStart, Clock::now());

  LogSession loaded(scratch.path());
  korv::NullProgress sink;
  korv::AnalysisProgress progress(sink);
  const Clock::time_point loadStart = Clock::now();
  const bool headerLoaded = !loaded.session.LoadLogHeader(log);
  const bool listsLoaded = headerLoaded && loaded.session.ReplayLog(progress) == korv::AnalysisOutcome::DeletedRunEnded;
  const double loadSeconds = SecondsBetween(loadStart, Clock::now());

  const korv::Store& store = loaded.session.store;
  std::printf("save %.3f load %.3f seconds log_mb %.1f folders %d files %d\n", saveSeconds, loadSeconds,
              static_cast<double>(std::filesystem::file_size(log)) / (1024.0 * 1024.0), store.folderCount(),
              store.fileCount());
  const korv::Store& original = saved.session.store;
  const bool complete = listsLoaded && store.folderCount() == original.folderCount() &&
                        store.fileCount() == original.fileCount() &&
                        store.totalFileBytes() == original.totalFileBytes();
  if (!complete) std::fprintf(stderr, "log_bench: the loaded store differs from the saved one\n");
  return complete ? 0 : 1;
}
