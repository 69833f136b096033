#include "ui/qt/save/posted_reports.h"

#include <utility>

namespace korv {

PostedReports::PostedReports(QObject& target, std::function<void(const Batch&)> show)
    : target_(target), show_(std::move(show)) {}

void PostedReports::SetText(int place, std::string_view text) {
  std::lock_guard lock(mutex_);
  pending_.texts[place] = std::string(text);
  PostOnce();
}

void PostedReports::SetValue(int place, int value) {
  std::lock_guard lock(mutex_);
  pending_.values[place] = value;
  PostOnce();
}

// Called with the mutex held.
void PostedReports::PostOnce() {
  if (posted_) return;
  posted_ = true;
  // Dropped by Qt when the target goes before the call is delivered.
  QMetaObject::invokeMethod(
      &target_, [this] { HandOver(); }, Qt::QueuedConnection);
}

void PostedReports::HandOver() {
  Batch batch;
  {
    std::lock_guard lock(mutex_);
    batch = std::exchange(pending_, Batch{});
    posted_ = false;
  }
  show_(batch);
}

}  // namespace korv
