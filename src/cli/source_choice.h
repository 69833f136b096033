// What the analysing commands share: which part of the disk file to work
// on, how it is opened and selected through the source tree, and what the
// user sees while the engine works.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>

#include "app/session.h"
#include "common/progress.h"

namespace korv::cli {

inline constexpr std::string_view kMsgNoSuchPartition = "The disk has no partition ";
inline constexpr std::string_view kMsgChooseOneSource = "Give either --partition or all of --first, --end and --fs.";
inline constexpr std::string_view kMsgPartitionModeNeedsRange =
    "The partition mode searches a typed range: give --first, --end and --fs.";
inline constexpr std::string_view kMsgVolumeNeedsPartitionMode = "--volume picks a found volume of --mode partition.";
inline constexpr std::string_view kMsgLogIsTheSource =
    "--load-log takes the partition or range from the log: give no --partition, --first, --end or --fs.";
inline constexpr std::string_view kMsgVolumeNeedsVolumeLog =
    "--volume picks a found volume of a log saved from the volume list of --mode partition.";

struct SourceChoice {
  std::string image;
  int partition = 0;  // from 1; 0 when a range is typed
  std::optional<std::uint64_t> first;
  std::optional<std::uint64_t> end;
  std::string fileSystem;
  std::string mode = "deleted";
  std::int64_t volume = 0;  // partition mode: the found volume to use (from 1); 0 lists them
  std::string inventory;    // empty: the user's default place
  std::string loadLog;      // a recovery log to load instead of analysing; empty: analyse
};

SessionOptions SessionOptionsFor(const SourceChoice& choice);
RecoveryMode ModeOf(const SourceChoice& choice);
// The mode word of the run ("deleted", "formatted", "partition"): the
// option's, or the loaded log's.
std::string ModeWordOf(const Session& session, const SourceChoice& choice);
// Whether the run ends at a list of found volumes unless --volume picks one.
bool ListsVolumes(const Session& session, const SourceChoice& choice);

// Opens the disk file and selects the partition or the typed range as the
// source page would. The message to print when refused, else nothing.
std::optional<std::string> SelectSource(Session& session, const SourceChoice& choice);

// While alive, Ctrl-C asks the worker to stop as the Stop button does,
// instead of ending the process.
class StopOnInterrupt {
 public:
  explicit StopOnInterrupt(WorkerControl& worker);
  ~StopOnInterrupt();
  StopOnInterrupt(const StopOnInterrupt&) = delete;
  StopOnInterrupt& operator=(const StopOnInterrupt&) = delete;

  bool interrupted() const { return interrupted_.load(); }

 private:
  WorkerControl& worker_;
  std::atomic<bool> done_{false};
  std::atomic<bool> interrupted_{false};
  std::thread waiter_;
};

// A progress line on standard error, rewritten at most a few times a
// second; silent when standard error is not a terminal.
class TerminalProgress final : public ProgressSink {
 public:
  explicit TerminalProgress(const AnalysisProgress* progress = nullptr);
  ~TerminalProgress() override;
  void SetProgress(const AnalysisProgress* progress) { progress_ = progress; }

  void SetText(ProgressField field, std::string_view text) override;
  void SetPercent(int percent) override;
  void Pulse() override {}

 private:
  void Draw(bool force);

  const AnalysisProgress* progress_;
  bool enabled_;
  int percent_ = 0;
  std::string files_, folders_, sector_, status_;
  std::chrono::steady_clock::time_point lastDraw_{};
  bool drawn_ = false;
};

}  // namespace korv::cli
