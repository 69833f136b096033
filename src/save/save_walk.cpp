#include "save/save_walk.h"

#include <cstdlib>

#include "platform/file.h"
#include "save/result_selection.h"
#include "save/safe_names.h"
#include "save/save_ledger.h"

namespace korv {

namespace {

bool SelectedAndPassing(const FoundFile& file, const SaveFilters& filters, FileSystemKind fileSystem) {
  return file.selected == kFlagYes && PassesSaveFilters(filters, file, fileSystem);
}

bool WalkMayGoOn(SaveJob& job) { return !job.state.errors.abort && job.worker.checkpoint(); }

// Saves the selected files of one visited folder. False when the walk is to
// end.
bool SaveFolderFiles(SaveJob& job, const TreeFolder& node, const std::filesystem::path& folderPath) {
  for (const FileId id : job.store.ChildFiles(node.number)) {
    const FoundFile& file = job.store.file(id);
    if (file.selected != kFlagYes) continue;
    SaveTarget target{folderPath, SavedFileName(file, job.state.namesMayHoldColons)};
    const std::string givenName = target.name;
    const SaveFileOutcome outcome = SaveFoundFile(job, target, file);
    if (job.ledger) job.ledger->Record(target.path(), outcome, target.name != givenName, file.size);
    if (!WalkMayGoOn(job)) return false;
  }
  return true;
}

}  // namespace

std::filesystem::path ExpandHome(std::string_view text) {
  const char* home = std::getenv("HOME");
  const bool tilde = text == "~" || text.starts_with("~/");
  if (!tilde || home == nullptr || *home == '\0') return std::filesystem::path(text);
  return std::filesystem::path(std::string(home) + std::string(text.substr(1)));
}

std::optional<std::filesystem::path> AcceptDestination(std::string_view text, Prompts& prompts) {
  if (text.empty()) {
    prompts.ShowMessage(kMsgSelectRecoveryPath);
    return std::nullopt;
  }
  const std::filesystem::path path = ExpandHome(text);
  if (!IsDirectory(path) && !CreateFolderPath(path)) {
    prompts.ShowMessage(kMsgSelectRecoveryPath);
    return std::nullopt;
  }
  return path;
}

void ForEachFileToSave(const Store& store, const SaveFilters& filters, FileSystemKind fileSystem,
                       const std::function<bool(const TreeFolder&, const FoundFile&)>& each) {
  WalkTickedFolders(store, RootNumberOf(fileSystem), [&](const TreeFolder& node) {
    if (!node.holdsFiles) return true;
    for (const FileId id : store.ChildFiles(node.number)) {
      const FoundFile& file = store.file(id);
      if (!SelectedAndPassing(file, filters, fileSystem)) continue;
      if (!each(node, file)) return false;
    }
    return true;
  });
}

void EvaluateSelection(const Store& store, const SaveFilters& filters, FileSystemKind fileSystem, SaveState& state,
                       WorkerControl& worker, ProgressSink& sink) {
  state.selectedFiles = 0;
  state.selectedBytes = 0;
  sink.SetText(ProgressField::Status, kTextCheckingSelection);
  ForEachFileToSave(store, filters, fileSystem, [&](const TreeFolder&, const FoundFile& file) {
    if (!worker.checkpoint()) return false;
    ++state.selectedFiles;
    state.selectedBytes += file.size;
    sink.SetText(ProgressField::Files, std::to_string(state.selectedFiles.load()));
    sink.SetText(ProgressField::Size, SaveSizeText(state.selectedBytes, kSizeSuffixEvaluation));
    return true;
  });
}

std::string InsufficientSpaceQuestion(std::uint64_t selectedBytes) {
  return std::string(kTextInsufficientSpace) + std::string(kTextSpaceRequires) + SaveSizeText(selectedBytes) +
         std::string(kTextSpaceQuestionEnd);
}

bool ConfirmFreeSpace(Prompts& prompts, std::uint64_t selectedBytes, std::optional<std::uint64_t> freeBytes) {
  if (!freeBytes || selectedBytes < *freeBytes) return true;
  return prompts.AskYesNo(InsufficientSpaceQuestion(selectedBytes));
}

SaveWalkEnd SaveSelection(SaveJob& job, const std::filesystem::path& destinationRoot) {
  job.state.errors.Clear();
  job.state.possiblyOverwritten.clear();
  job.worker.Reset();
  CreateFolderPath(destinationRoot);
  job.state.destinationRoot = destinationRoot;
  job.state.namesMayHoldColons = NamesMayHoldColons(destinationRoot);
  job.progress.Start();

  WalkTickedFolders(job.store, RootNumberOf(job.source.parameters().fileSystem), [&](const TreeFolder& node) {
    if (!WalkMayGoOn(job)) return false;
    const std::filesystem::path folderPath = destinationRoot / node.relativePath;
    if (node.id) {
      if (!LiesInside(destinationRoot, folderPath)) return true;
      // A folder that cannot be made (a file of its name is in the way)
      // leaves its files to the copy-error question.
      CreateFolderPath(folderPath);
    }
    return !node.holdsFiles || SaveFolderFiles(job, node, folderPath);
  });

  if (job.worker.stopRequested() || job.worker.abandoned()) return SaveWalkEnd::Stopped;
  if (job.state.errors.abort) return SaveWalkEnd::Aborted;
  return SaveWalkEnd::Finished;
}

std::string_view SaveVerdict(const SaveState& state) {
  return state.bytesSaved.load() == state.selectedBytes.load() ? kMsgSavingCompleted : kMsgSavingNotCompleted;
}

std::string PossiblyOverwrittenNote(const SaveState& state) {
  if (state.possiblyOverwritten.empty()) return {};
  std::string note(kMsgPossiblyOverwritten);
  for (const auto& path : state.possiblyOverwritten) note += "\n" + path.string();
  return note;
}

bool AskToStopSave(Prompts& prompts, WorkerControl& worker, SaveProgress& progress) {
  worker.RequestPause();
  progress.Pause();
  if (!prompts.AskYesNo(kQuestionStopSave)) {
    progress.Resume();
    worker.Resume();
    return false;
  }
  prompts.ShowMessage(kMsgSavingAborted);
  worker.RequestStop();
  return true;
}

bool AskToStopEvaluation(Prompts& prompts, WorkerControl& worker) {
  if (!prompts.AskYesNo(kQuestionStopEvaluation)) return false;
  worker.RequestStop();
  return true;
}

SaveOutcome RunSave(SaveJob& job, ProgressSink& evaluationSink, const SaveRequest& request) {
  job.state.ResetForNewDestination();
  const auto destination = AcceptDestination(request.destination, job.prompts);
  if (!destination) return SaveOutcome::PathRefused;

  job.worker.Reset();
  EvaluateSelection(job.store, job.filters, job.source.parameters().fileSystem, job.state, job.worker, evaluationSink);
  if (job.state.selectedFiles <= 0) {
    job.prompts.ShowMessage(kMsgNothingSelected);
    return SaveOutcome::NothingSelected;
  }
  const auto freeBytes = request.freeSpace ? request.freeSpace(*destination) : FreeSpace(*destination);
  if (!ConfirmFreeSpace(job.prompts, job.state.selectedBytes, freeBytes)) return SaveOutcome::SpaceDeclined;

  if (SaveSelection(job, *destination) == SaveWalkEnd::Stopped) return SaveOutcome::Stopped;
  const std::string_view verdict = SaveVerdict(job.state);
  job.prompts.ShowMessage(verdict);
  return verdict == kMsgSavingCompleted ? SaveOutcome::Completed : SaveOutcome::NotCompleted;
}

}  // namespace korv
