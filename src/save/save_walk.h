// The save flow after the user asks to save: the destination's checks, the
// evaluation of what is selected, the free-space question, the walk over
// the ticked folders that saves their selected files, and the verdict.
//
// Front ends run EvaluateSelection and SaveSelection on their worker
// thread and show the dialogs in between; RunSave strings the whole flow
// together for the command line and the tests. Every message and question
// goes through Prompts and SaveQuestions.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/progress.h"
#include "common/prompts.h"
#include "common/worker_control.h"
#include "engine/store.h"
#include "save/extraction.h"
#include "save/result_selection.h"
#include "save/save_filters.h"
#include "save/save_progress.h"
#include "save/save_state.h"

namespace korv {

// The destination dialog ("DataCopyPath").
inline constexpr std::string_view kButtonBrowse = "&Browse...";
inline constexpr std::string_view kButtonSettings = "&Settings...";
inline constexpr std::string_view kButtonOk = "&OK";
inline constexpr std::string_view kButtonCancel = "&Cancel";
inline constexpr std::string_view kNoteDifferentPath = "Note : Please choose different data recovery path for recovery.  ";
// A Linux path's limit (PATH_MAX), not the 260 characters of another
// platform; each name in it is limited by the file system.
inline constexpr std::size_t kMaxDestinationCharacters = 4096;
inline constexpr std::string_view kMsgSelectRecoveryPath = "Please select Data Recovery path.";
inline constexpr std::string_view kMsgNothingSelected = "You have not selected any file/folder.";
// The free-space question: these three around the size of the selection.
inline constexpr std::string_view kTextInsufficientSpace = "Insufficient free space on destination drive. ";
inline constexpr std::string_view kTextSpaceRequires = "Selected file/folder requires ";
inline constexpr std::string_view kTextSpaceQuestionEnd = " of free space. Press Yes if you want continue with it.";

// The evaluation dialog ("CalculateDataSize").
inline constexpr std::string_view kTitleEvaluation = " Evaluating Volume Size";
inline constexpr std::string_view kTextCheckingSelection = "Checking data volume selected...";
inline constexpr std::string_view kLabelTotalFiles = "Total Files      :-";
inline constexpr std::string_view kLabelEvaluatedSize = "Data Size       :-";
inline constexpr std::string_view kQuestionStopEvaluation = "Do you want to terminate this process.";

// The end of a save.
inline constexpr std::string_view kMsgSavingCompleted = "Saving completed successfully.";
inline constexpr std::string_view kMsgSavingNotCompleted = "Saving not completed successfully.";
inline constexpr std::string_view kQuestionStopSave = "Do you want to stop this process. This may give you incomplete data.";
inline constexpr std::string_view kMsgSavingAborted = "Saving aborted.";
inline constexpr std::string_view kMsgPossiblyOverwritten =
    "These deleted files were saved, but live files now hold clusters they used, so they may have been "
    "overwritten:";

// A destination as typed: a leading "~" is the user's home folder, as in a
// shell.
std::filesystem::path ExpandHome(std::string_view text);

// "&OK" of the destination dialog, its path checks: an empty path, or one
// that is not a folder and cannot be made one (with its parents), is
// refused with kMsgSelectRecoveryPath. The folder to save into otherwise.
// A leading "~" is the user's home folder, as in a shell.
std::optional<std::filesystem::path> AcceptDestination(std::string_view text, Prompts& prompts);

// Hands `each` every selected file that passes the filters, in the order
// the save walk writes them, with the ticked folder that holds it; false
// from `each` ends the walk.
void ForEachFileToSave(const Store& store, const SaveFilters& filters, FileSystemKind fileSystem,
                       const std::function<bool(const TreeFolder&, const FoundFile&)>& each);

// Counts the files the save would write: every selected file of the folders
// the walk visits that passes the filters, with the sum of their sizes, into
// selectedFiles and selectedBytes. After each file the count and the size
// ("%.3f MB size" …) go to the Files and Size fields. A stop request ends
// the count where it stands.
void EvaluateSelection(const Store& store, const SaveFilters& filters, FileSystemKind fileSystem, SaveState& state,
                       WorkerControl& worker, ProgressSink& sink);

// The free-space question's text for a selection of `selectedBytes`.
std::string InsufficientSpaceQuestion(std::uint64_t selectedBytes);

// Asks the free-space question when at least as many bytes are selected as
// are free (unknown free space is not asked about). True to go on.
bool ConfirmFreeSpace(Prompts& prompts, std::uint64_t selectedBytes, std::optional<std::uint64_t> freeBytes);

enum class SaveWalkEnd {
  Finished,  // every ticked folder was walked
  Aborted,   // "&Abort" of the copy-error question
  Stopped,   // the stop request
};

// The save walk into `destinationRoot`: the root's files there, then every
// ticked folder in tree order into its path below it, made even when none
// of its files passes. Clears the skip, skip-all and abort flags and the
// worker's requests first. Ends early on Abort or a stop request, checked
// before each folder and after each file.
SaveWalkEnd SaveSelection(SaveJob& job, const std::filesystem::path& destinationRoot);

// kMsgSavingCompleted when the bytes saved equal the bytes selected,
// kMsgSavingNotCompleted otherwise.
std::string_view SaveVerdict(const SaveState& state);

// What the end of a save adds about deleted files saved from clusters live
// files hold: kMsgPossiblyOverwritten and their paths, one a line; empty
// when there are none.
std::string PossiblyOverwrittenNote(const SaveState& state);

// "&Stop" of the progress dialog: the save waits while the question is
// open; Yes shows kMsgSavingAborted and stops it (the file being written
// stays as far as written), No lets it go on. True for Yes.
bool AskToStopSave(Prompts& prompts, WorkerControl& worker, SaveProgress& progress);

// "&Stop" of the evaluation dialog: Yes ends the evaluation with the counts
// reached. True for Yes.
bool AskToStopEvaluation(Prompts& prompts, WorkerControl& worker);

enum class SaveOutcome {
  PathRefused,      // the destination was refused
  NothingSelected,  // no selected file passes
  SpaceDeclined,    // No to the free-space question
  Completed,        // "Saving completed successfully."
  NotCompleted,     // "Saving not completed successfully."
  Stopped,          // stopped by the user
};

struct SaveRequest {
  std::string destination;
  // Bytes free to the user where the destination lies.
  std::function<std::optional<std::uint64_t>(const std::filesystem::path&)> freeSpace;
};

// A new destination dialog and its "&OK", through to the verdict, on the
// calling thread.
SaveOutcome RunSave(SaveJob& job, ProgressSink& evaluationSink, const SaveRequest& request);

}  // namespace korv
