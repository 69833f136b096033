#include "save/save_progress.h"

#include <algorithm>
#include <cstdio>

namespace korv {

namespace {

constexpr std::uint64_t kMegabyte = 1ULL << 20;
constexpr std::uint64_t kGigabyte = 1ULL << 30;
constexpr std::uint64_t kTerabyte = 1ULL << 40;
constexpr int kRefreshEvery = 1000;
constexpr std::uint64_t kBytesBetweenDetails = 1000ULL * 20480;

std::string MinutesAndSeconds(std::uint64_t seconds) {
  return std::to_string(seconds / 60) + " Min " + std::to_string(seconds % 60) + " Sec";
}

}  // namespace

std::string SaveSizeText(std::uint64_t bytes, std::string_view suffix) {
  const auto value = static_cast<double>(bytes);
  char text[64];
  if (bytes > kTerabyte) {
    std::snprintf(text, sizeof text, "%.3f TB", value / static_cast<double>(kTerabyte));
  } else if (bytes <= kGigabyte) {
    std::snprintf(text, sizeof text, "%.3f MB", value / static_cast<double>(kMegabyte));
  } else {
    std::snprintf(text, sizeof text, "%.3f GB", value / static_cast<double>(kGigabyte));
  }
  return std::string(text) + std::string(suffix);
}

int PercentOf(std::uint64_t part, std::uint64_t whole) {
  if (whole == 0 || part >= whole) return 100;
  // part < whole, so part × 100 fits unless whole is above 2^57; then the
  // quotient of the hundredths is as good.
  if (part <= UINT64_MAX / 100) return static_cast<int>(part * 100 / whole);
  return static_cast<int>(part / (whole / 100));
}

void SaveProgress::Start() {
  std::lock_guard lock(clockMutex_);
  start_ = now_();
  pausedTotal_ = {};
  paused_ = false;
  refreshCalls_ = 0;
  bytesAtLastDetails_ = 0;
}

void SaveProgress::Pause() {
  std::lock_guard lock(clockMutex_);
  if (paused_) return;
  paused_ = true;
  pausedAt_ = now_();
}

void SaveProgress::Resume() {
  std::lock_guard lock(clockMutex_);
  if (!paused_) return;
  paused_ = false;
  pausedTotal_ += now_() - pausedAt_;
}

std::int64_t SaveProgress::ElapsedSeconds() const {
  std::lock_guard lock(clockMutex_);
  const Clock::time_point end = paused_ ? pausedAt_ : now_();
  return std::chrono::duration_cast<std::chrono::seconds>(end - start_ - pausedTotal_).count();
}

void SaveProgress::ShowFile(std::string_view folder, std::string_view name, std::uint64_t selectedBytes) {
  if (detailsHidden()) return;
  sink_.SetText(SaveField::FolderName, folder);
  sink_.SetText(SaveField::LastName, name);
  sink_.SetText(SaveField::DataSize, SaveSizeText(selectedBytes, kSizeSuffixProgress));
}

void SaveProgress::Refresh(std::uint64_t written, std::uint64_t fileSize, std::uint64_t bytesSaved,
                           std::uint64_t selectedBytes) {
  const int filePercent = PercentOf(written, fileSize);
  if (written > 0) sink_.SetFilePercent(filePercent);
  sink_.SetOverallPercent(PercentOf(bytesSaved, selectedBytes));

  ++refreshCalls_;
  const bool due = refreshCalls_ >= kRefreshEvery || filePercent == 100 ||
                   bytesSaved - std::min(bytesSaved, bytesAtLastDetails_) >= kBytesBetweenDetails;
  if (!due || detailsHidden()) return;
  refreshCalls_ = 0;
  bytesAtLastDetails_ = bytesSaved;
  sink_.SetText(SaveField::DataCopied, SaveSizeText(bytesSaved, kSizeSuffixProgress));
  ShowTimes(bytesSaved, selectedBytes);
}

void SaveProgress::ShowTimes(std::uint64_t bytesSaved, std::uint64_t selectedBytes) {
  const std::int64_t elapsed = ElapsedSeconds();
  if (elapsed <= 0) {
    sink_.SetText(SaveField::TimeElapsed, kNoTimeYet);
    sink_.SetText(SaveField::TimeLeft, kNoTimeYet);
    return;
  }
  const std::uint64_t rate = bytesSaved / static_cast<std::uint64_t>(elapsed);
  if (rate == 0) return;
  const std::uint64_t left = (selectedBytes - std::min(selectedBytes, bytesSaved)) / rate;
  sink_.SetText(SaveField::TimeLeft, MinutesAndSeconds(left));
  sink_.SetText(SaveField::TimeElapsed, MinutesAndSeconds(static_cast<std::uint64_t>(elapsed)));
}

}  // namespace korv
