// The evaluation dialog " Evaluating Volume Size": counts what the save
// would write on a worker thread started once the dialog is shown, with the
// count and the size as they grow, and closes itself when the count ends.
// "&Stop" (or Escape) asks whether to end the count where it stands.
//
// Object names: "statusText", "totalFilesValue", "dataSizeValue",
// "evaluationStop".
#pragma once

#include <QDialog>
#include <atomic>
#include <memory>
#include <thread>

#include "common/progress.h"
#include "ui/qt/save/posted_reports.h"

class QLabel;

namespace korv {

class Prompts;
class Session;

class CalculateDataSize : public QDialog {
  Q_OBJECT
 public:
  // The count goes into session.saveState; questions go through `prompts`.
  CalculateDataSize(Session& session, Prompts& prompts, QWidget* parent);
  // A count still going on is stopped and its thread joined.
  ~CalculateDataSize() override;

 public slots:
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  class Sink;

  void Start();
  void ShowReports(const PostedReports::Batch& batch);
  void AskStop();
  void CountEnded();
  void JoinWorker();

  Session& session_;
  Prompts& prompts_;
  PostedReports reports_;
  std::unique_ptr<Sink> sink_;
  std::thread worker_;
  std::atomic<bool> workerFinished_{true};
  bool started_ = false;
  bool ended_ = false;
  bool asking_ = false;

  QLabel* status_ = nullptr;
  QLabel* totalFiles_ = nullptr;
  QLabel* dataSize_ = nullptr;
};

}  // namespace korv
