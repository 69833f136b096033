// Saving every file the deleted-data analysis finds on one partition of a
// virtual disk, end to end through the session.
//
//   korv_save_bench IMAGE DEST_DIR [PARTITION]
//
// Opens IMAGE, analyses PARTITION (from 1; default 1), ticks everything and
// saves it into DEST_DIR (which must not exist yet) with nobody watching the
// progress. Only the save is timed. Prints one line a script can parse:
//
//   seconds 1.234567 bytes 1073741824 files 1010 outcome 3
//
// bytes is the count of bytes saved, files the count of files started,
// outcome the SaveOutcome as a number (3 completed). Exit status 2 when the
// file is refused or has no such partition, 1 when the save did not
// complete.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <string_view>
#include <system_error>

#include "app/session.h"
#include "common/progress.h"
#include "common/prompts.h"
#include "save/extraction.h"
#include "save/result_selection.h"
#include "save/save_walk.h"

namespace {

using Clock = std::chrono::steady_clock;

// Nobody is there to ask: bad sectors are skipped, questions answered No,
// existing files overwritten, copy errors skipped.
class UnattendedPrompts final : public korv::Prompts, public korv::SaveQuestions {
 public:
  korv::BadSectorAnswer AskBadSector(std::string_view) override { return korv::BadSectorAnswer::SkipAll; }
  bool AskYesNo(std::string_view) override { return false; }
  void ShowMessage(std::string_view message) override { std::cerr << message << '\n'; }
  korv::ReplaceReply AskReplace(std::string_view, const std::filesystem::path&) override {
    return {korv::ReplaceAnswer::Yes, true};
  }
  korv::CopyErrorAnswer AskCopyError(std::string_view, const std::filesystem::path&) override {
    return korv::CopyErrorAnswer::SkipAll;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::cerr << "usage: korv_save_bench IMAGE DEST_DIR [PARTITION]\n";
    return 2;
  }
  const std::filesystem::path destination = argv[2];
  const int partition = argc == 4 ? std::atoi(argv[3]) : 1;
  std::error_code ignored;
  if (std::filesystem::exists(destination, ignored)) {
    std::cerr << destination << " exists already\n";
    return 2;
  }
  UnattendedPrompts prompts;
  korv::NullProgress sink;
  korv::AnalysisProgress progress(sink);
  korv::Session session(prompts, korv::SessionOptions{destination.string() + ".inventory.json", false});
  const korv::VirtualFileSelection selection = session.OpenVirtualFile(argv[1]);
  if (!selection.accepted) {
    std::cerr << argv[1] << ": " << selection.message << '\n';
    return 2;
  }
  if (!session.SelectPartition(partition) ||
      session.Analyse(korv::RecoveryMode::DeletedData, progress) != korv::AnalysisOutcome::DeletedRunEnded) {
    std::cerr << argv[1] << ": partition " << partition << " cannot be analysed\n";
    return 2;
  }
  korv::SelectEverything(session.store);

  korv::SaveFilters filters;
  korv::SaveState state;
  korv::NullSaveProgress saveSink;
  korv::SaveProgress saveProgress(saveSink);
  korv::ExtractionSource source(session.sectors, session.analysisParameters);
  korv::SaveJob job{source, session.store, filters, state, session.worker, prompts, prompts, saveProgress};

  const Clock::time_point start = Clock::now();
  const korv::SaveOutcome outcome = korv::RunSave(job, sink, korv::SaveRequest{destination.string(), {}});
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::filesystem::remove(destination.string() + ".inventory.json", ignored);

  std::printf("seconds %.6f bytes %llu files %lld outcome %d\n", seconds,
              static_cast<unsigned long long>(state.bytesSaved.load()),
              static_cast<long long>(state.filesSaved.load()), static_cast<int>(outcome));
  return outcome == korv::SaveOutcome::Completed ? 0 : 1;
}
