#include "engine/analysis_progress.h"

#include <algorithm>
#include <cstdio>

#include "platform/bytes.h"

namespace korv {

namespace {

constexpr std::uint64_t kGigabyte = 1ULL << 30;
constexpr std::uint64_t kTerabyte = 1ULL << 40;

std::string Formatted(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::string FoundSizeText(std::uint64_t bytes) {
  const auto value = static_cast<double>(bytes);
  if (bytes >= kTerabyte) return Formatted("%.3f TB", value / static_cast<double>(kTerabyte));
  if (bytes <= kGigabyte) return Formatted("%.3f MB", value / static_cast<double>(1ULL << 20));
  return Formatted("%.3f GB", value / static_cast<double>(kGigabyte));
}

void AnalysisProgress::Refresh(std::uint64_t value, std::int32_t folders, std::int32_t files,
                               std::u16string_view lastName, RefreshKind kind, std::int32_t indexCount) {
  if (++refreshCount_ < refreshInterval_) return;
  refreshCount_ = 0;
  {
    std::lock_guard lock(lastNameMutex_);
    lastName_.assign(lastName);
  }
  if (detailsHidden_.load()) {
    if (hideDetailsPending_.exchange(false)) sink_.SetVisible(ProgressGroup::Details, false);
    return;
  }
  const std::string name = Utf16ToUtf8(lastName);
  if (kind == RefreshKind::Size) {
    sink_.SetText(ProgressField::Size, FoundSizeText(value));
    sink_.SetText(ProgressField::Folders, std::to_string(folders));
    sink_.SetText(ProgressField::Files, std::to_string(files));
    sink_.SetText(ProgressField::LastName, name);
    return;
  }
  // The sector display shows the low 32 bits, as the system always has.
  const std::string sector = std::to_string(static_cast<std::uint32_t>(value)) + " / " + std::to_string(rangeEnd_);
  if (sectorsInStatus_) {
    ShowIfChanged(ProgressField::Status, shownSector_, std::string(kSectorStatusPrefix) + sector);
    if (indexCount >= 0) ShowIfChanged(ProgressField::IndexCount, shownIndexes_, std::to_string(indexCount));
  } else {
    ShowIfChanged(ProgressField::Sector, shownSector_, sector);
  }
  ShowIfChanged(ProgressField::Folders, shownFolders_, std::to_string(folders));
  ShowIfChanged(ProgressField::Files, shownFiles_, std::to_string(files));
  ShowIfChanged(ProgressField::LastName, shownName_, name);
}

void AnalysisProgress::RefreshSectors(std::uint64_t first, std::uint64_t count, std::int32_t folders,
                                     std::int32_t files, std::u16string_view lastName, std::int32_t indexCount) {
  while (count > 0) {
    // The calls before the one that shows only count.
    const std::uint64_t silent = static_cast<std::uint64_t>(std::max(refreshInterval_ - refreshCount_ - 1, 0));
    if (count <= silent) {
      refreshCount_ += static_cast<int>(count);
      return;
    }
    refreshCount_ += static_cast<int>(silent);
    first += silent;
    count -= silent;
    Refresh(first, folders, files, lastName, RefreshKind::Sector, indexCount);
    ++first;
    --count;
  }
}

void AnalysisProgress::ShowIfChanged(ProgressField field, std::string& shown, const std::string& text) {
  if (shown == text) return;
  shown = text;
  sink_.SetText(field, text);
}

void AnalysisProgress::HideDetails() {
  detailsHidden_.store(true);
  hideDetailsPending_.store(true);
}

void AnalysisProgress::ShowDetails() {
  detailsHidden_.store(false);
  hideDetailsPending_.store(false);
}

std::u16string AnalysisProgress::lastName() const {
  std::lock_guard lock(lastNameMutex_);
  return lastName_;
}

void AnalysisClock::Start(Clock::time_point now) {
  started_ = true;
  paused_ = false;
  start_ = now;
  pausedTotal_ = {};
}

void AnalysisClock::Pause(Clock::time_point now) {
  if (!started_ || paused_) return;
  paused_ = true;
  pausedAt_ = now;
}

void AnalysisClock::Resume(Clock::time_point now) {
  if (!started_ || !paused_) return;
  paused_ = false;
  pausedTotal_ += now - pausedAt_;
}

std::string AnalysisClock::Text(Clock::time_point now) const {
  if (!started_) return "0 : 0 : 0";
  const Clock::time_point end = paused_ ? pausedAt_ : now;
  const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(end - start_ - pausedTotal_).count();
  const long long seconds = elapsed < 0 ? 0 : elapsed;
  char text[64];
  std::snprintf(text, sizeof text, "%lld : %lld : %lld", seconds / 3600, seconds / 60 % 60, seconds % 60);
  return text;
}

}  // namespace korv

namespace korv {

void AnalysisProgress::StartClock() {
  std::lock_guard lock(clockMutex_);
  clock_.Start(AnalysisClock::Clock::now());
}

void AnalysisProgress::PauseClock() {
  std::lock_guard lock(clockMutex_);
  clock_.Pause(AnalysisClock::Clock::now());
}

void AnalysisProgress::ResumeClock() {
  std::lock_guard lock(clockMutex_);
  clock_.Resume(AnalysisClock::Clock::now());
}

bool AnalysisProgress::clockRunning() const {
  std::lock_guard lock(clockMutex_);
  return clock_.running();
}

std::string AnalysisProgress::ClockText() const {
  std::lock_guard lock(clockMutex_);
  return clock_.Text(AnalysisClock::Clock::now());
}

}  // namespace korv
