// The analysis page: runs the engine's analysis of the selected range on a
// worker thread and shows what the run reports (banner, mode, device,
// capacity, the elapsed time, the detail lines, the status line and the
// bar), with Hide/Show Details, Pause/Resume, Stop and Back. When the run
// ends, the page hands its outcome to the host.
//
// Pause is cooperative: the worker stops at its next checkpoint, and the page
// shows itself paused only once it has. The UI thread never waits for the
// worker while the page is in use; a worker's question opens its dialog on
// the UI thread meanwhile.
//
// Object names: "stepPicture", "headingText", "bannerText", "modeValue",
// "deviceValue", "capacityValue", "elapsedValue", "sizeLabel", "sizeValue",
// "indexCountValue", "foldersLabel", "foldersValue", "filesLabel",
// "filesValue", "lastNameLabel", "lastNameValue", "sectorLabel",
// "sectorValue", "statusValue", "pulseBar", "performanceHint",
// "detailsHint", "detailsButton", "pauseButton", "stopButton", "backButton".
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "common/progress.h"
#include "engine/analysis_driver.h"
#include "engine/analysis_progress.h"

class QGridLayout;
class QHBoxLayout;
class QLabel;
class QVBoxLayout;

namespace korv {

class CGradientProgressCtrl;
class CHoverButton;
class Session;
class WizardHost;

inline constexpr std::string_view kAnalysisTimeElapsed = "Time Elapsed";
inline constexpr std::string_view kLabelFoldersFound = "Folders Found                ";
inline constexpr std::string_view kLabelFilesFound = "Files Found                  ";
inline constexpr std::string_view kLabelLastName = "Last Name                    ";
inline constexpr std::string_view kHintImprovePerformance =
    "Selecting Hide Progress Details will improve performance.You may return "
    "to view partition";
inline constexpr std::string_view kCaptionHideDetails = "&Hide Details";
inline constexpr std::string_view kCaptionShowDetails = "&Show Details";
inline constexpr std::string_view kCaptionPause = "&Pause";
inline constexpr std::string_view kCaptionResume = "&Resume";
inline constexpr std::string_view kCaptionStop = "&Stop";
inline constexpr std::string_view kCaptionBack = "< &Back";

class RecoveryAnalysis : public QWidget {
  Q_OBJECT
 public:
  explicit RecoveryAnalysis(WizardHost& host, QWidget* parent = nullptr);
  // A run still going on is abandoned (its results are thrown away) and its
  // thread joined.
  ~RecoveryAnalysis() override;

  // What a run does on the worker thread.
  using Run = std::function<AnalysisOutcome(Session&, AnalysisProgress&)>;

  // Starts the analysis of the selected range in the wizard's mode. The
  // source page has set the range, the mode and the wizard state.
  void Start();
  // Starts `run` in place of the analysis (the phases of a partition scan).
  void Start(Run run);

  // A run has been started and its outcome has not been handed on yet.
  bool running() const { return running_; }
  // The worker is held at its checkpoint and the page says so.
  bool showsPaused() const { return hold_ == Hold::Paused; }

 private:
  class PageSink;
  // Where a pause stands: asked for, then taken by the worker.
  enum class Hold { None, Pausing, Paused };

  void BuildControls();
  void AddHeading(QVBoxLayout& column);
  void AddFixedLines(QVBoxLayout& column);
  void AddDetailLines(QVBoxLayout& column);
  QWidget* MakeSizeValues();
  void AddStatusLines(QVBoxLayout& column);
  QHBoxLayout* MakeButtonRow();
  QLabel* AddLabel(const char* objectName, std::string_view text = {});
  // A caption and its value side by side in the next row of `grid`; the caption.
  QLabel* AddLine(QGridLayout& grid, std::string_view caption, const char* labelName, QWidget* value);
  void ResetControls();

  // What the worker reports, on the UI thread.
  void ShowText(ProgressField field, const std::string& shown);
  void ShowPercent(int percent);
  void StartPulse();
  void SetGroupVisible(ProgressGroup group, bool visible);
  void ApplyDetailVisibility();
  void ShowClock();
  void StepPulse();

  void ToggleDetails();
  void TogglePause();
  void AskStop();
  void AskBack();
  // Asks the worker to hold; the page shows it paused once it has.
  void RequestHold();
  void CheckParked();
  // Stops the clock's display and the bar's pulse while the run is held.
  void FreezeDisplay();
  void ResumeRun();
  // Holds the run, asks `question`, and returns the answer. The run's end,
  // when it comes meanwhile, waits for the answer.
  bool AskWhileHeld(std::string_view question);

  void RunEnded(AnalysisOutcome outcome);
  void Finish(AnalysisOutcome outcome);
  void JoinWorker();
  void UpdateButtons();

  WizardHost& host_;
  std::unique_ptr<PageSink> sink_;
  std::unique_ptr<AnalysisProgress> progress_;
  std::thread worker_;
  std::atomic<bool> workerFinished_{true};
  bool running_ = false;
  bool tearingDown_ = false;
  bool asking_ = false;
  std::optional<AnalysisOutcome> pendingOutcome_;
  Hold hold_ = Hold::None;
  bool detailsHidden_ = false;
  bool sectorLineShown_ = true;
  bool pulsing_ = false;
  AnalysisPulse pulse_;

  QTimer clockTimer_;
  QTimer pulseTimer_;
  QTimer parkPoll_;

  QLabel* stepPicture_ = nullptr;
  QLabel* bannerText_ = nullptr;
  QLabel* modeValue_ = nullptr;
  QLabel* deviceValue_ = nullptr;
  QLabel* capacityValue_ = nullptr;
  QLabel* elapsedValue_ = nullptr;
  QLabel* sizeLabel_ = nullptr;
  QLabel* sizeValue_ = nullptr;
  QLabel* indexCountValue_ = nullptr;
  QLabel* foldersValue_ = nullptr;
  QLabel* filesValue_ = nullptr;
  QLabel* lastNameValue_ = nullptr;
  QLabel* sectorLabel_ = nullptr;
  QLabel* sectorValue_ = nullptr;
  QLabel* statusValue_ = nullptr;
  // Every detail control, hidden together by Hide Details.
  std::vector<QWidget*> details_;
  CGradientProgressCtrl* pulseBar_ = nullptr;
  CHoverButton* detailsButton_ = nullptr;
  CHoverButton* pauseButton_ = nullptr;
  CHoverButton* stopButton_ = nullptr;
  CHoverButton* backButton_ = nullptr;
};

}  // namespace korv
