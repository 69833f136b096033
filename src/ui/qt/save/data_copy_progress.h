// The save's progress dialog: runs the save walk into the destination on a
// worker thread started once the dialog is shown, shows both bars, the
// times and the details the engine reports, and when the walk ends shows the
// verdict (unless the user stopped it) and closes itself.
//
// "S&kip" ends the file being written; "&Pause"/"&Resume" hold the walk at
// its next checkpoint and leave the paused time out of the clock; "&Stop"
// (or Escape) holds the walk while it asks, and Yes ends it; "Hide Details"
// / "Show Details" hide the detail lines and spare the engine their updates.
//
// Object names: "currentBar", "overallBar", "timeElapsedValue",
// "timeLeftValue", "dataSizeValue", "dataCopiedValue", "lastNameValue",
// "folderNameValue", "skipButton", "pauseButton", "stopButton",
// "detailsButton".
#pragma once

#include <QDialog>
#include <array>
#include <atomic>
#include <filesystem>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "save/extraction.h"
#include "save/save_progress.h"
#include "save/save_walk.h"
#include "ui/qt/save/posted_reports.h"
#include "ui/qt/save/qt_save_questions.h"

class QGridLayout;
class QLabel;
class QPushButton;

namespace korv {

class CGradientProgressCtrl;
class Prompts;
class Session;

class DataCopyProgress : public QDialog {
  Q_OBJECT
 public:
  // Saves what session.store has ticked into `destination`; messages and
  // the stop question go through `prompts` (UI thread).
  DataCopyProgress(Session& session, Prompts& prompts, std::filesystem::path destination, QWidget* parent);
  // A walk still going on is stopped and its thread joined.
  ~DataCopyProgress() override;

  // How the walk ended, once it has.
  std::optional<SaveWalkEnd> end() const { return end_; }
  // The user answered Yes to the stop question.
  bool stoppedByUser() const { return stoppedByUser_; }

 public slots:
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  class Sink;

  void BuildControls();
  QLabel* AddField(QGridLayout* grid, std::string_view caption, const char* objectName);
  void Start();
  void ShowReports(const PostedReports::Batch& batch);
  void Skip();
  void TogglePause();
  void AskStop();
  void ToggleDetails();
  void WalkEnded(SaveWalkEnd end);
  void Finish();
  void UpdateButtons();

  Session& session_;
  Prompts& prompts_;
  const std::filesystem::path destination_;
  QtSaveQuestions questions_;
  PostedReports reports_;
  std::unique_ptr<Sink> sink_;
  SaveProgress progress_;
  ExtractionSource source_;
  SaveJob job_;

  std::thread worker_;
  std::atomic<bool> workerFinished_{true};
  bool started_ = false;
  bool paused_ = false;
  bool asking_ = false;
  bool detailsHidden_ = false;
  bool stoppedByUser_ = false;
  bool tearingDown_ = false;
  std::optional<SaveWalkEnd> end_;

  CGradientProgressCtrl* currentBar_ = nullptr;
  CGradientProgressCtrl* overallBar_ = nullptr;
  // The value labels by SaveField.
  std::array<QLabel*, 6> fields_{};
  // Every detail line, hidden together by "Hide Details".
  std::vector<QWidget*> details_;
  QPushButton* skipButton_ = nullptr;
  QPushButton* pauseButton_ = nullptr;
  QPushButton* stopButton_ = nullptr;
  QPushButton* detailsButton_ = nullptr;
};

}  // namespace korv
