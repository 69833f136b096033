// The results page's status line and its progress bar, shown while the
// tree is filled, the list is filled or a subtree is ticked.
//
// Object names: "statusLine", "progressBar".
#pragma once

#include <atomic>
#include <string_view>

class QLayout;
class QLabel;
class QWidget;

namespace korv {

class CGradientProgressCtrl;

class ResultsStatus {
 public:
  // Makes the two controls in `parent`, side by side in row().
  explicit ResultsStatus(QWidget* parent);
  ResultsStatus(const ResultsStatus&) = delete;
  ResultsStatus& operator=(const ResultsStatus&) = delete;

  // The row to place in the page's layout, which then owns it.
  QLayout* row() const { return row_; }

  void Show(std::string_view status);
  void Hide();
  void Complete();
  // From a worker; only a change of the percentage is posted to the bar.
  void PostProgress(int percent);
  // Before a worker's first report.
  void ForgetProgress() { lastPercent_ = -1; }

 private:
  QLayout* row_ = nullptr;
  QLabel* line_ = nullptr;
  CGradientProgressCtrl* bar_ = nullptr;
  std::atomic<int> lastPercent_{-1};
};

}  // namespace korv
