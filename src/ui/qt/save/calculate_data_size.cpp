#include "ui/qt/save/calculate_data_size.h"

#include <QApplication>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>

#include "app/session.h"
#include "save/save_walk.h"
#include "ui/qt/pictures.h"
#include "ui/qt/save/save_dialog_parts.h"

namespace korv {

// The evaluation reports the status line, the count and the size.
class CalculateDataSize::Sink final : public ProgressSink {
 public:
  explicit Sink(PostedReports& reports) : reports_(reports) {}
  void SetText(ProgressField field, std::string_view text) override { reports_.SetText(static_cast<int>(field), text); }
  void SetPercent(int) override {}
  void Pulse() override {}

 private:
  PostedReports& reports_;
};

CalculateDataSize::CalculateDataSize(Session& session, Prompts& prompts, QWidget* parent)
    : QDialog(parent),
      session_(session),
      prompts_(prompts),
      reports_(*this, [this](const PostedReports::Batch& batch) { ShowReports(batch); }),
      sink_(std::make_unique<Sink>(reports_)) {
  save_parts::StyleSaveDialog(this, parent, ToQString(kTitleEvaluation));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(16, 16, 16, 12);
  column->setSizeConstraint(QLayout::SetFixedSize);
  status_ = save_parts::TextLabel(this, kTextCheckingSelection, "statusText");
  column->addWidget(status_);

  auto* lines = new QGridLayout;
  totalFiles_ = save_parts::TextLabel(this, "0", "totalFilesValue");
  dataSize_ = save_parts::TextLabel(this, {}, "dataSizeValue");
  dataSize_->setMinimumWidth(160);
  lines->addWidget(save_parts::TextLabel(this, kLabelTotalFiles), 0, 0);
  lines->addWidget(totalFiles_, 0, 1);
  lines->addWidget(save_parts::TextLabel(this, kLabelEvaluatedSize), 1, 0);
  lines->addWidget(dataSize_, 1, 1);
  column->addLayout(lines);

  QPushButton* stop = save_parts::Button(this, kButtonStop, "evaluationStop");
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(stop);
  column->addLayout(buttons);
  connect(stop, &QPushButton::clicked, this, &CalculateDataSize::AskStop);
}

CalculateDataSize::~CalculateDataSize() {
  if (!worker_.joinable()) return;
  session_.worker.RequestStop();
  session_.worker.Resume();
  // The count asks nothing of this thread, but its reports may be queued.
  while (!workerFinished_.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  worker_.join();
}

void CalculateDataSize::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_) return;
  started_ = true;
  // The count starts once the dialog is on the screen.
  QTimer::singleShot(0, this, &CalculateDataSize::Start);
}

void CalculateDataSize::Start() {
  workerFinished_.store(false);
  worker_ = std::thread([this] {
    EvaluateSelection(session_.store, session_.saveFilters, session_.analysisParameters.fileSystem, session_.saveState,
                      session_.worker, *sink_);
    QMetaObject::invokeMethod(
        this, [this] { CountEnded(); }, Qt::QueuedConnection);
    workerFinished_.store(true);
  });
}

void CalculateDataSize::ShowReports(const PostedReports::Batch& batch) {
  for (const auto& [place, text] : batch.texts) {
    switch (static_cast<ProgressField>(place)) {
      case ProgressField::Status:
        status_->setText(DisplayQString(text));
        break;
      case ProgressField::Files:
        totalFiles_->setText(ToQString(text));
        break;
      case ProgressField::Size:
        dataSize_->setText(ToQString(text));
        break;
      default:
        break;
    }
  }
}

void CalculateDataSize::reject() { AskStop(); }

void CalculateDataSize::AskStop() {
  if (asking_ || ended_) return;
  asking_ = true;
  AskToStopEvaluation(prompts_, session_.worker);
  asking_ = false;
  // The count may have ended while the question was open.
  if (ended_) CountEnded();
}

void CalculateDataSize::CountEnded() {
  ended_ = true;
  if (asking_) return;
  JoinWorker();
  // The last reports may still be on their way; show the counts as they end.
  const SaveState& state = session_.saveState;
  totalFiles_->setText(QString::number(state.selectedFiles.load()));
  done(QDialog::Accepted);
}

void CalculateDataSize::JoinWorker() {
  if (worker_.joinable()) worker_.join();
}

}  // namespace korv
