// What the steps of the scans share: how a step hears of a stop or a Back,
// the percentage bar, the counting status texts, where a container holds no
// data, and the times of a file record.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/analysis_job.h"
#include "engine/store.h"
#include "fs/ntfs/record_values.h"
#include "storage/virtual_disk.h"

namespace korv {

// How a step goes on after a piece of its work.
enum class StepGo {
  On,       // go on with the step
  EndStep,  // a stop: the step ends, the next one runs
  Abandon,  // Back: the whole run ends
};

// Pauses while the user pauses; says how the step goes on.
inline StepGo CheckStep(AnalysisJob& job) {
  if (job.worker.checkpoint()) return StepGo::On;
  return job.worker.abandoned() ? StepGo::Abandon : StepGo::EndStep;
}

// The percentage bar, sent to the sink only when its value changes.
class StepPercent {
 public:
  explicit StepPercent(AnalysisJob& job) : job_(job) {}

  void Show(std::uint64_t done, std::uint64_t total) {
    const int percent = total == 0 ? 0 : static_cast<int>(std::min<std::uint64_t>(100, done * 100 / total));
    if (percent == shown_) return;
    shown_ = percent;
    job_.sink().SetPercent(percent);
  }

 private:
  AnalysisJob& job_;
  int shown_ = -1;
};

// Counting status texts ("... : %d/%d") go out every this many items and on
// the last one: one text per item would flood the display for no reader.
inline constexpr std::uint64_t kCountTextEvery = 1000;

inline void ShowCount(AnalysisJob& job, std::string_view prefix, std::uint64_t done, std::uint64_t total) {
  if (done % kCountTextEvery != 0 && done != total) return;
  job.sink().SetText(ProgressField::Status, std::string(prefix) + std::to_string(done) + "/" + std::to_string(total));
}

// $STANDARD_INFORMATION times in the store's order: modification, creation,
// access, each low word first.
inline ItemTimes StandardItemTimes(const StandardTimes& times) {
  const auto low = [](std::uint64_t value) { return static_cast<std::uint32_t>(value); };
  const auto high = [](std::uint64_t value) { return static_cast<std::uint32_t>(value >> 32); };
  return {low(times.modification), high(times.modification), low(times.creation),
          high(times.creation),    low(times.access),        high(times.access)};
}

}  // namespace korv
