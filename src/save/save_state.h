// The state of a save: what the evaluation counted, what the save has done,
// and the standing answers to the replace and copy-error questions. One
// SaveState lives in the session; a new destination dialog resets it.
//
// Threads: the save worker writes the counters and the replace policy; the
// user-interface thread reads the counters for display and sets skipFile
// (the progress dialog's "S&kip").
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

namespace korv {

// The standing answer for a destination file that exists already.
enum class ReplacePolicy : int {
  ReplaceYes = 0,        // "&Yes": ask again next time; the initial value
  ReplaceSkip = 1,       // "&Skip": ask again next time
  ReplaceYesToAll = 2,   // "&Yes" for all: overwrite without asking
  ReplaceSkipAll = 3,    // "&Skip" for all: skip without asking
  ReplaceRename = 4,     // "&Rename": ask again next time
  ReplaceRenameAll = 5,  // "&Rename" for all: rename without asking
};

// The copy-error dialog's answers, all three flags set together by it.
struct ErrorPolicy {
  std::atomic<bool> skipFile{false};  // end the current file (also the progress dialog's "S&kip")
  std::atomic<bool> skipAll{false};   // no more copy-error questions in this save
  std::atomic<bool> abort{false};     // end the walk

  void Clear() {
    skipFile = false;
    skipAll = false;
    abort = false;
  }
};

struct SaveState {
  // Set by the evaluation.
  std::atomic<std::int64_t> selectedFiles{0};
  std::atomic<std::uint64_t> selectedBytes{0};
  // Set by the save: bytes written or counted as done, files started.
  std::atomic<std::uint64_t> bytesSaved{0};
  std::atomic<std::int64_t> filesSaved{0};

  ReplacePolicy replacePolicy = ReplacePolicy::ReplaceYes;
  ErrorPolicy errors;
  std::filesystem::path destinationRoot;
  // False when the destination's file system refuses ":" in names.
  bool namesMayHoldColons = true;
  // Deleted files saved from clusters a live file holds, for the summary.
  std::vector<std::filesystem::path> possiblyOverwritten;

  // What the destination dialog does when it is created: counters to 0 and
  // the replace policy back to ReplaceYes; nothing else.
  void ResetForNewDestination() {
    selectedFiles = 0;
    selectedBytes = 0;
    bytesSaved = 0;
    filesSaved = 0;
    replacePolicy = ReplacePolicy::ReplaceYes;
  }
};

// The replace dialog ("FileReplaceOptions").
inline constexpr std::string_view kQuestionReplace =
    "The destination already has this file. Please choose appropriate action.";
inline constexpr std::string_view kButtonReplaceYes = "&Yes";
inline constexpr std::string_view kButtonReplaceSkip = "&Skip";
inline constexpr std::string_view kButtonReplaceRename = "&Rename";
inline constexpr std::string_view kCheckForAllItems = "Do this for all related items";

// The copy-error dialog ("ErrorCopying").
inline constexpr std::string_view kQuestionCopyError =
    "Problem encountered while copying file. This may be due to insufficient space in destination. Please take "
    "appropriate action.";
inline constexpr std::string_view kButtonErrorSkip = "&Skip";
inline constexpr std::string_view kButtonErrorSkipAll = "S&kip All";
inline constexpr std::string_view kButtonErrorAbort = "&Abort";

enum class ReplaceAnswer { Yes, Skip, Rename };

struct ReplaceReply {
  ReplaceAnswer answer = ReplaceAnswer::Yes;
  bool forAll = false;  // "Do this for all related items" ticked
};

enum class CopyErrorAnswer { Skip, SkipAll, Abort };

// The save's own questions, whose answers are more than yes or no. Like
// Prompts, each call blocks until answered: the desktop front end shows the
// dialog, the command line answers from its flags, tests script them.
class SaveQuestions {
 public:
  virtual ~SaveQuestions() = default;
  // The replace dialog; `path` is the destination file that exists.
  virtual ReplaceReply AskReplace(std::string_view question, const std::filesystem::path& path) = 0;
  // The copy-error dialog; `path` is the file that could not be written.
  virtual CopyErrorAnswer AskCopyError(std::string_view question, const std::filesystem::path& path) = 0;
};

// The policy a replace answer stands for.
ReplacePolicy PolicyOf(const ReplaceReply& reply);

// Sets the three flags as the copy-error dialog's button does.
void ApplyCopyErrorAnswer(ErrorPolicy& errors, CopyErrorAnswer answer);

}  // namespace korv
