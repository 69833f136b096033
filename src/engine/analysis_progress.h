// What an analysis shows while it runs: the refresh rules of the detail
// lines, the elapsed-time clock and the pulse bar. The workers report every
// item; only every 1,000th report reaches the sink, and none while the
// details are hidden, so reporting costs next to nothing.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "common/progress.h"

namespace korv {

// The size line of the detail area: "%.3f MB" up to and including 1 GB, then
// "%.3f GB", from 2^40 bytes "%.3f TB".
std::string FoundSizeText(std::uint64_t bytes);

// What a refresh shows in its value slot.
enum class RefreshKind : char { Size = 'n', Sector = 'e' };

inline constexpr std::string_view kSectorStatusPrefix = " Analysing  Sectors :     ";

// The elapsed-time clock: time paused is not counted. Times are passed in,
// so the front end's timer and the tests drive it alike.
class AnalysisClock {
 public:
  using Clock = std::chrono::steady_clock;

  void Start(Clock::time_point now);
  void Pause(Clock::time_point now);
  void Resume(Clock::time_point now);
  bool running() const { return started_; }

  // "%d : %d : %d" of hours, minutes and seconds.
  std::string Text(Clock::time_point now) const;

 private:
  bool started_ = false;
  bool paused_ = false;
  Clock::time_point start_{};
  Clock::time_point pausedAt_{};
  Clock::duration pausedTotal_{};
};

class AnalysisProgress {
 public:
  explicit AnalysisProgress(ProgressSink& sink) : sink_(sink) {}

  ProgressSink& sink() { return sink_; }

  // Settings of the run, made before its worker starts.
  void SetRefreshInterval(int every) { refreshInterval_ = every; }
  void SetRangeEnd(std::uint64_t endSector) { rangeEnd_ = endSector; }
  // Sector reports go into the status line (NTFS scans) instead of the
  // current-sector control.
  void SetSectorsInStatusLine(bool inStatus) { sectorsInStatus_ = inStatus; }

  // Called by a worker after each item it reports (or each buffer it scans).
  // `value` is the total size of the files found (Size) or the current
  // sector (Sector). `indexCount` is shown with sector reports.
  void Refresh(std::uint64_t value, std::int32_t folders, std::int32_t files, std::u16string_view lastName,
               RefreshKind kind, std::int32_t indexCount = -1);
  // Refresh for each of the `count` sectors from `first`, all with the same
  // counts and name, at the cost of only the calls that show something.
  void RefreshSectors(std::uint64_t first, std::uint64_t count, std::int32_t folders, std::int32_t files,
                      std::u16string_view lastName, std::int32_t indexCount);

  // Hide/Show Details, from the front end's thread.
  void HideDetails();
  void ShowDetails();
  bool detailsHidden() const { return detailsHidden_.load(); }

  // The last name a refresh showed (the analysis parameters' name buffer).
  std::u16string lastName() const;

  // The elapsed-time clock, started by the driver on the worker thread and
  // read by the front end's timer.
  void StartClock();
  void PauseClock();
  void ResumeClock();
  bool clockRunning() const;
  std::string ClockText() const;

 private:
  void ShowIfChanged(ProgressField field, std::string& shown, const std::string& text);

  ProgressSink& sink_;
  int refreshInterval_ = 1000;
  std::uint64_t rangeEnd_ = 0;
  bool sectorsInStatus_ = false;

  int refreshCount_ = 0;  // worker thread only
  std::atomic<bool> detailsHidden_{false};
  std::atomic<bool> hideDetailsPending_{false};

  mutable std::mutex clockMutex_;
  AnalysisClock clock_;

  mutable std::mutex lastNameMutex_;
  std::u16string lastName_;
  std::string shownSector_, shownFolders_, shownFiles_, shownName_, shownIndexes_;
};

// The moving bar shown while the amount of work is unknown: 0 to 99.
class AnalysisPulse {
 public:
  int Step() {
    position_ = position_ >= 99 ? 0 : position_ + 1;
    return position_;
  }
  int position() const { return position_; }

 private:
  int position_ = 0;
};

}  // namespace korv
