#include <iostream>
#include <sstream>
#include <vector>

#include "cli/cli_prompts.h"
#include "cli/commands.h"
#include "cli/source_choice.h"
#include "platform/file.h"
#include "save/result_selection.h"
#include "save/save_walk.h"
#include "search/search_criteria.h"
#include "ui/logic/item_texts.h"

namespace korv::cli {

namespace {

inline constexpr std::string_view kMsgNothingAtPath = "Nothing was found at ";
inline constexpr std::string_view kMsgCopyErrorSkipped = "Skipped, it could not be written: ";
inline constexpr std::string_view kMsgPickVolume = "The partition mode saves from one found volume: give --volume.";

// Questions of the save answered from the command's flags: a clash follows
// --on-exists for every file; a copy error skips the file and says so.
class CliSaveQuestions final : public SaveQuestions {
 public:
  explicit CliSaveQuestions(ReplaceAnswer onExists) : onExists_(onExists) {}
  ReplaceReply AskReplace(std::string_view, const std::filesystem::path&) override { return {onExists_, true}; }
  CopyErrorAnswer AskCopyError(std::string_view, const std::filesystem::path& path) override {
    std::cerr << kMsgCopyErrorSkipped << path.string() << '\n';
    return CopyErrorAnswer::Skip;
  }

 private:
  ReplaceAnswer onExists_;
};

ReplaceAnswer OnExistsAnswer(const std::string& onExists) {
  if (onExists == "skip") return ReplaceAnswer::Skip;
  if (onExists == "overwrite") return ReplaceAnswer::Yes;
  return ReplaceAnswer::Rename;
}

// Applies --deleted and --ext; the filter's own message when an extension is
// refused.
std::optional<std::string> ApplyFilters(SaveFilters& filters, const RecoverOptions& options) {
  filters.deletedChoice = DeletedChoiceOf(options.search.deleted);
  std::istringstream list(options.extensions);
  for (std::string extension; std::getline(list, extension, ',');) {
    if (const auto refusal = filters.AddExtension(extension)) return std::string(*refusal);
  }
  return std::nullopt;
}

// Ticks what --select names, or everything.
std::optional<std::string> ApplySelection(Session& session, const std::vector<std::string>& paths) {
  Store& store = session.store;
  if (paths.empty()) {
    SelectEverything(store);
    return std::nullopt;
  }
  SelectEverything(store, kFlagNo);
  const std::uint32_t root = RootNumberOf(session.analysisParameters.fileSystem);
  for (const std::string& path : paths) {
    if (!SelectPath(store, root, path)) return std::string(kMsgNothingAtPath) + path;
  }
  return std::nullopt;
}

// Narrows the selection to the files that match: folders are saved only as
// the paths of the files they hold.
void KeepOnlyMatches(Session& session, const SearchCriteria& criteria) {
  Store& store = session.store;
  const FileSystemKind fileSystem = session.analysisParameters.fileSystem;
  const SearchMatcher matcher(criteria, fileSystem);
  std::vector<FileId> matches;
  store.ForEachFileInOrder([&](FileId id) {
    const FoundFile& file = store.file(id);
    if (file.selected == kFlagYes && matcher.MatchesFile(file)) matches.push_back(id);
  });
  SelectEverything(store, kFlagNo);
  for (const FileId id : matches) SelectFile(store, RootNumberOf(fileSystem), id);
}

int ExitStatusOf(SaveOutcome outcome) {
  switch (outcome) {
    case SaveOutcome::Completed: return kExitDone;
    case SaveOutcome::PathRefused:
    case SaveOutcome::NothingSelected: return kExitRefused;
    default: return kExitIncomplete;
  }
}

}  // namespace

int RunRecover(const RecoverOptions& options) {
  const SearchFilterReading search = ReadSearchFilters(options.search);
  if (search.refusal) {
    std::cerr << *search.refusal << '\n';
    return kExitRefused;
  }
  CliPrompts prompts(options.badSectors == "retry" ? BadSectorAnswer::RetryAll : BadSectorAnswer::SkipAll);
  Session session(prompts, SessionOptionsFor(options.source));
  if (const auto refusal = SelectSource(session, options.source)) {
    std::cerr << DisplayText(*refusal) << '\n';
    return kExitRefused;
  }
  if (ListsVolumes(session, options.source) && options.source.volume == 0) {
    std::cerr << kMsgPickVolume << '\n';
    return kExitRefused;
  }
  if (const auto refusal = ApplyFilters(session.saveFilters, options)) {
    std::cerr << DisplayText(*refusal) << '\n';
    return kExitRefused;
  }
  const AnalysisRun run = RunAnalysisFor(session, options.source);
  if (run.outcome == AnalysisOutcome::NoWorker) return kExitRefused;
  if (run.outcome != AnalysisOutcome::DeletedRunEnded && run.outcome != AnalysisOutcome::ResultsReady) {
    return kExitIncomplete;
  }
  if (const auto refusal = ApplySelection(session, options.select)) {
    std::cerr << *refusal << '\n';
    return kExitRefused;
  }
  if (search.criteria) KeepOnlyMatches(session, *search.criteria);

  ExtractionSource source(session.sectors, session.analysisParameters);
  CliSaveQuestions questions(OnExistsAnswer(options.onExists));
  NullSaveProgress saveSink;
  SaveProgress saveProgress(saveSink);
  SaveJob job{source, session.store, session.saveFilters, session.saveState, session.worker,
              prompts, questions, saveProgress};
  TerminalProgress evaluationSink;
  StopOnInterrupt interrupt(session.worker);
  const SaveOutcome outcome = RunSave(job, evaluationSink, SaveRequest{options.output, FreeSpace});
  if (const std::string note = PossiblyOverwrittenNote(session.saveState); !note.empty()) std::cerr << note << '\n';
  if (run.interrupted || interrupt.interrupted()) return kExitIncomplete;
  return ExitStatusOf(outcome);
}

}  // namespace korv::cli
