#include <iostream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "cli/cli_prompts.h"
#include "cli/commands.h"
#include "cli/item_ids.h"
#include "cli/source_choice.h"
#include "platform/file.h"
#include "save/result_selection.h"
#include "save/safe_names.h"
#include "save/save_ledger.h"
#include "save/save_walk.h"
#include "search/search_criteria.h"
#include "ui/logic/item_texts.h"

namespace korv::cli {

namespace {

inline constexpr std::string_view kMsgNothingAtPath = "Nothing was found at ";
inline constexpr std::string_view kMsgCopyErrorSkipped = "Skipped, it could not be written: ";
inline constexpr std::string_view kMsgPickVolume = "The partition mode saves from one found volume: give --volume.";
inline constexpr std::string_view kMsgDryRun = "Nothing was written (--dry-run).";
inline constexpr std::string_view kMsgSpaceDeclined = "Nothing was saved; give --force to save anyway.";
// The summary's lines.
inline constexpr std::string_view kLabelWouldWrite = "Would write: ";
inline constexpr std::string_view kLabelFilesWritten = "Files written: ";
inline constexpr std::string_view kLabelFilesSkipped = "Files skipped: ";
inline constexpr std::string_view kLabelFilesFailed = "Files failed: ";
inline constexpr std::string_view kLabelBytesWritten = "Bytes written: ";

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

// Ticks what --select and --select-id name, or everything.
std::optional<std::string> ApplySelection(Session& session, const std::vector<std::string>& paths,
                                          const std::vector<std::string>& ids) {
  Store& store = session.store;
  if (paths.empty() && ids.empty()) {
    SelectEverything(store);
    return std::nullopt;
  }
  SelectEverything(store, kFlagNo);
  const std::uint32_t root = RootNumberOf(session.analysisParameters.fileSystem);
  for (const std::string& path : paths) {
    if (!SelectPath(store, root, path)) return std::string(kMsgNothingAtPath) + path;
  }
  const std::vector<FoundTreeEntry> listing = ids.empty() ? std::vector<FoundTreeEntry>{} : FoundEntries(session);
  for (const std::string& text : ids) {
    const auto entry = FindItemId(listing, text);
    if (!entry) return std::string(kMsgNoItemWithId) + text + ".";
    if (entry->folder) {
      SelectFolderTree(store, root, entry->id);
    } else {
      SelectFile(store, root, entry->id);
    }
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

using Json = nlohmann::json;

// What the save did, file by file when asked, for the summary on standard
// output.
struct RecoverReport {
  SaveLedger ledger;
  std::uint64_t selectedFiles = 0;
  std::uint64_t selectedBytes = 0;
  std::string message;  // the save's end message; empty when it never got that far
  Json files = Json::array();
};

void PrintSummary(const RecoverReport& report, bool json, bool dryRun) {
  const SaveLedger& ledger = report.ledger;
  if (json) {
    Json out{{"dryRun", dryRun},
             {"selectedFiles", report.selectedFiles},
             {"selectedBytes", report.selectedBytes},
             {"written", ledger.written},
             {"renamed", ledger.renamed},
             {"skipped", ledger.skipped},
             {"failed", ledger.failed},
             {"bytesWritten", ledger.bytesWritten},
             {"message", report.message}};
    if (!report.files.empty()) out["files"] = report.files;
    std::cout << out.dump(2) << '\n';
    return;
  }
  if (dryRun) {
    std::cout << kLabelWouldWrite << report.selectedFiles << " files, " << report.selectedBytes << " bytes\n";
    return;
  }
  std::cout << kLabelFilesWritten << ledger.written << " (" << ledger.renamed << " renamed)\n"
            << kLabelFilesSkipped << ledger.skipped << '\n'
            << kLabelFilesFailed << ledger.failed << '\n'
            << kLabelBytesWritten << ledger.bytesWritten << '\n';
}

// Each file's path as it is counted: a line on standard output, or an
// entry of the JSON report.
void ListEachFile(RecoverReport& report, bool json) {
  report.ledger.onFile = [&report, json](const std::filesystem::path& path, LedgerEntry entry) {
    if (json) {
      report.files.push_back({{"path", path.string()}, {"result", LedgerEntryWord(entry)}});
      return;
    }
    std::cout << LedgerEntryWord(entry) << '\t' << PrintableLine(path.string()) << '\n';
  };
}

// --dry-run: the paths the save would write, in its order, with nothing
// made or written. A file whose name is taken would be renamed or skipped
// as --on-exists says; the path shown is the one it is saved under first.
void ListWhatWouldBeSaved(const Session& session, const std::filesystem::path& destination, RecoverReport& report,
                          bool json) {
  const bool colons = NamesMayHoldColons(destination);
  ForEachFileToSave(session.store, session.saveFilters, session.analysisParameters.fileSystem,
                    [&](const TreeFolder& node, const FoundFile& file) {
                      const std::filesystem::path folder = destination / node.relativePath;
                      if (node.id && !LiesInside(destination, folder)) return true;
                      const std::filesystem::path path = folder / SavedFileName(file, colons);
                      ++report.selectedFiles;
                      report.selectedBytes += file.size;
                      if (json) {
                        report.files.push_back({{"path", path.string()}, {"size", file.size}});
                      } else {
                        std::cout << file.size << '\t' << PrintableLine(path.string()) << '\n';
                      }
                      return true;
                    });
  report.message = kMsgDryRun;
}

std::string_view EndMessageOf(SaveOutcome outcome, const SaveState& state) {
  switch (outcome) {
    case SaveOutcome::Completed:
    case SaveOutcome::NotCompleted: return SaveVerdict(state);
    case SaveOutcome::Stopped: return kMsgSavingAborted;
    case SaveOutcome::SpaceDeclined: return kMsgSpaceDeclined;
    case SaveOutcome::PathRefused: return kMsgSelectRecoveryPath;
    case SaveOutcome::NothingSelected: return kMsgNothingSelected;
  }
  return {};
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

std::optional<int> AnalyseForFiles(Session& session, const SourceChoice& choice, AnalysisRun& run) {
  if (const auto refusal = SelectSource(session, choice)) {
    std::cerr << DisplayText(*refusal) << '\n';
    return kExitRefused;
  }
  if (ListsVolumes(session, choice) && choice.volume == 0) {
    std::cerr << kMsgPickVolume << '\n';
    return kExitRefused;
  }
  run = RunAnalysisFor(session, choice);
  if (run.outcome == AnalysisOutcome::NoWorker) return kExitRefused;
  if (run.outcome != AnalysisOutcome::DeletedRunEnded && run.outcome != AnalysisOutcome::ResultsReady) {
    return kExitIncomplete;
  }
  return std::nullopt;
}

int RunRecover(const RecoverOptions& options) {
  const SearchFilterReading search = ReadSearchFilters(options.search);
  if (search.refusal) {
    std::cerr << *search.refusal << '\n';
    return kExitRefused;
  }
  CliPrompts prompts(options.badSectors == "retry" ? BadSectorAnswer::RetryAll : BadSectorAnswer::SkipAll,
                     options.force);
  Session session(prompts, SessionOptionsFor(options.source));
  if (const auto refusal = ApplyFilters(session.saveFilters, options)) {
    std::cerr << DisplayText(*refusal) << '\n';
    return kExitRefused;
  }
  AnalysisRun run;
  if (const auto status = AnalyseForFiles(session, options.source, run)) return *status;
  if (const auto refusal = ApplySelection(session, options.select, options.selectIds)) {
    std::cerr << *refusal << '\n';
    return kExitRefused;
  }
  if (search.criteria) KeepOnlyMatches(session, *search.criteria);

  RecoverReport report;
  if (options.dryRun) {
    ListWhatWouldBeSaved(session, ExpandHome(options.output), report, options.json);
    std::cerr << kMsgDryRun << '\n';
    PrintSummary(report, options.json, /*dryRun=*/true);
    return run.interrupted ? kExitIncomplete : kExitDone;
  }

  ExtractionSource source(session.sectors, session.analysisParameters);
  CliSaveQuestions questions(OnExistsAnswer(options.onExists));
  NullSaveProgress saveSink;
  SaveProgress saveProgress(saveSink);
  if (options.verbose) ListEachFile(report, options.json);
  SaveJob job{source, session.store, session.saveFilters, session.saveState, session.worker,
              prompts, questions, saveProgress, &report.ledger};
  TerminalProgress evaluationSink;
  StopOnInterrupt interrupt(session.worker);
  const SaveOutcome outcome = RunSave(job, evaluationSink, SaveRequest{options.output, FreeSpace});
  if (const std::string note = PossiblyOverwrittenNote(session.saveState); !note.empty()) std::cerr << note << '\n';
  report.selectedFiles = static_cast<std::uint64_t>(std::max<std::int64_t>(0, session.saveState.selectedFiles));
  report.selectedBytes = session.saveState.selectedBytes;
  report.message = std::string(EndMessageOf(outcome, session.saveState));
  if (outcome == SaveOutcome::SpaceDeclined) std::cerr << kMsgSpaceDeclined << '\n';
  // A refused destination or an empty selection has said why, and has
  // nothing to sum up.
  if (outcome != SaveOutcome::PathRefused && outcome != SaveOutcome::NothingSelected) {
    PrintSummary(report, options.json, /*dryRun=*/false);
  }
  if (run.interrupted || interrupt.interrupted()) return kExitIncomplete;
  return ExitStatusOf(outcome);
}

}  // namespace korv::cli
