// Carries a worker's progress reports to a dialog on the UI thread. Only the
// latest text or value of each place counts, so reports gather here and one
// queued call at a time hands them over: a fast worker cannot flood the
// event queue, and the dialog shows what is current.
#pragma once

#include <QObject>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <string_view>

namespace korv {

class PostedReports {
 public:
  // What has changed since the last hand-over, by place.
  struct Batch {
    std::map<int, std::string> texts;
    std::map<int, int> values;
  };

  // `show` runs on the thread of `target`, never after `target` is gone.
  PostedReports(QObject& target, std::function<void(const Batch&)> show);

  // Any thread.
  void SetText(int place, std::string_view text);
  void SetValue(int place, int value);

 private:
  void PostOnce();
  void HandOver();

  QObject& target_;
  std::function<void(const Batch&)> show_;
  std::mutex mutex_;
  Batch pending_;
  bool posted_ = false;
};

}  // namespace korv
