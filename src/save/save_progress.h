// What the save's progress dialog shows, and when: the refresh rules of its
// detail fields, its two bars, the elapsed and remaining time with pauses
// left out. The engine decides; a SaveProgressSink only displays.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace korv {

// The progress dialog ("DataCopyProgress").
inline constexpr std::string_view kButtonSkip = "S&kip";
inline constexpr std::string_view kButtonPause = "&Pause";
inline constexpr std::string_view kButtonResume = "&Resume";
inline constexpr std::string_view kButtonStop = "&Stop";
inline constexpr std::string_view kButtonHideDetails = "Hide Details";
inline constexpr std::string_view kButtonShowDetails = "Show Details";
inline constexpr std::string_view kNoteHideDetails = "(Selecting Hide Details will speedup data recovery speed...)";
inline constexpr std::string_view kLabelTimeElapsed = "Time Elapsed     :- ";
inline constexpr std::string_view kLabelTimeLeft = "Recovery Time Left  :-";
inline constexpr std::string_view kLabelDataSize = "Data Size           :- ";
inline constexpr std::string_view kLabelDataCopied = "Data Copied       :- ";
inline constexpr std::string_view kLabelLastDataName = "Last Data Name :- ";
inline constexpr std::string_view kLabelFolderName = "Folder Name      :- ";
inline constexpr std::string_view kLabelCurrentBar = "Current Data Copied :-";
inline constexpr std::string_view kLabelOverallBar = "Overall Data Copied :-";
// Both time fields while no whole second has passed.
inline constexpr std::string_view kNoTimeYet = "00:00:00";
// What the sizes of the save dialog end with.
inline constexpr std::string_view kSizeSuffixEvaluation = " size";
inline constexpr std::string_view kSizeSuffixProgress = " size in";

// A byte count as the save dialogs show it: "%.3f TB" of bytes ÷ 2^40 above
// 2^40, "%.3f MB" of bytes ÷ 2^20 up to and including 2^30, else "%.3f GB"
// of bytes ÷ 2^30; followed by `suffix`.
std::string SaveSizeText(std::uint64_t bytes, std::string_view suffix = {});

// part × 100 ÷ whole, at most 100; 100 when whole is 0 (nothing to do is all
// done).
int PercentOf(std::uint64_t part, std::uint64_t whole);

// The places of the progress dialog.
enum class SaveField {
  TimeElapsed,
  TimeLeft,
  DataSize,
  DataCopied,
  LastName,
  FolderName,
};

class SaveProgressSink {
 public:
  virtual ~SaveProgressSink() = default;
  virtual void SetText(SaveField field, std::string_view text) = 0;
  // 0 to 100: the current file's bar and the overall bar.
  virtual void SetFilePercent(int percent) = 0;
  virtual void SetOverallPercent(int percent) = 0;
};

class NullSaveProgress final : public SaveProgressSink {
 public:
  void SetText(SaveField, std::string_view) override {}
  void SetFilePercent(int) override {}
  void SetOverallPercent(int) override {}
};

class SaveProgress {
 public:
  using Clock = std::chrono::steady_clock;

  explicit SaveProgress(SaveProgressSink& sink) : sink_(sink) {}

  // Tests drive the clock.
  void SetClock(std::function<Clock::time_point()> now) { now_ = std::move(now); }

  // The save thread starts: the clock starts, nothing paused yet.
  void Start();
  // "&Pause" and "&Resume", from the user-interface thread, beside the
  // worker's own pause: paused time does not count.
  void Pause();
  void Resume();

  // "Hide Details" / "Show Details".
  void HideDetails() { detailsHidden_ = true; }
  void ShowDetails() { detailsHidden_ = false; }
  bool detailsHidden() const { return detailsHidden_.load(); }

  // Before a file is written: its folder and name, and the size of the save.
  void ShowFile(std::string_view folder, std::string_view name, std::uint64_t selectedBytes);

  // After each piece written: the bars always; the detail fields on every
  // 1,000th call, when the file reaches 100 %, or after 20,480,000 bytes
  // since they were last shown (the 1,000 pieces of 20 KiB the dialog was
  // made for), and only while the details are shown.
  void Refresh(std::uint64_t written, std::uint64_t fileSize, std::uint64_t bytesSaved, std::uint64_t selectedBytes);

  // Whole seconds since Start, pauses left out.
  std::int64_t ElapsedSeconds() const;

 private:
  void ShowTimes(std::uint64_t bytesSaved, std::uint64_t selectedBytes);

  SaveProgressSink& sink_;
  std::function<Clock::time_point()> now_ = [] { return Clock::now(); };
  std::atomic<bool> detailsHidden_{false};

  mutable std::mutex clockMutex_;
  Clock::time_point start_{};
  Clock::time_point pausedAt_{};
  Clock::duration pausedTotal_{};
  bool paused_ = false;

  int refreshCalls_ = 0;                 // save thread only
  std::uint64_t bytesAtLastDetails_ = 0;  // save thread only
};

}  // namespace korv
