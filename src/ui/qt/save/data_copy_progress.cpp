#include "ui/qt/save/data_copy_progress.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>

#include "app/session.h"
#include "ui/qt/controls/gradient_progress.h"
#include "ui/qt/pictures.h"
#include "ui/qt/save/save_dialog_parts.h"

namespace korv {

namespace {

// Places of the two bars among the reports; the texts use their SaveField.
constexpr int kFileBarPlace = 0;
constexpr int kOverallBarPlace = 1;

QFont FixedFont() { return QFontDatabase::systemFont(QFontDatabase::FixedFont); }

}  // namespace

class DataCopyProgress::Sink final : public SaveProgressSink {
 public:
  explicit Sink(PostedReports& reports) : reports_(reports) {}
  void SetText(SaveField field, std::string_view text) override { reports_.SetText(static_cast<int>(field), text); }
  void SetFilePercent(int percent) override { reports_.SetValue(kFileBarPlace, percent); }
  void SetOverallPercent(int percent) override { reports_.SetValue(kOverallBarPlace, percent); }

 private:
  PostedReports& reports_;
};

DataCopyProgress::DataCopyProgress(Session& session, Prompts& prompts, std::filesystem::path destination,
                                   QWidget* parent)
    : QDialog(parent),
      session_(session),
      prompts_(prompts),
      destination_(std::move(destination)),
      questions_(this),
      reports_(*this, [this](const PostedReports::Batch& batch) { ShowReports(batch); }),
      sink_(std::make_unique<Sink>(reports_)),
      progress_(*sink_),
      source_(session.sectors, session.analysisParameters),
      job_{source_,        session.store,   session.saveFilters, session.saveState,
           session.worker, session.prompts, questions_,          progress_} {
  save_parts::StyleSaveDialog(this, parent);
  BuildControls();
  UpdateButtons();
}

DataCopyProgress::~DataCopyProgress() {
  tearingDown_ = true;
  if (!worker_.joinable()) return;
  session_.worker.RequestStop();
  session_.worker.Resume();
  // The walk may be carrying a question to this thread; let it through
  // rather than wait on a worker that waits on us.
  while (!workerFinished_.load()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  worker_.join();
}

QLabel* DataCopyProgress::AddField(QGridLayout* grid, std::string_view caption, const char* objectName) {
  QLabel* label = save_parts::TextLabel(this, caption);
  QLabel* value = save_parts::TextLabel(this, {}, objectName);
  label->setFont(FixedFont());
  value->setFont(FixedFont());
  value->setMinimumWidth(260);
  const int row = grid->rowCount();
  grid->addWidget(label, row, 0);
  grid->addWidget(value, row, 1);
  details_.push_back(label);
  details_.push_back(value);
  return value;
}

void DataCopyProgress::BuildControls() {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(16, 16, 16, 12);
  column->setSizeConstraint(QLayout::SetFixedSize);

  // The detail lines keep their room while hidden, so nothing jumps.
  auto* lines = new QGridLayout;
  lines->setColumnStretch(1, 1);
  column->addLayout(lines);
  const auto field = [this](SaveField place) -> QLabel*& { return fields_[static_cast<int>(place)]; };
  field(SaveField::TimeElapsed) = AddField(lines, kLabelTimeElapsed, "timeElapsedValue");
  field(SaveField::TimeLeft) = AddField(lines, kLabelTimeLeft, "timeLeftValue");
  field(SaveField::DataSize) = AddField(lines, kLabelDataSize, "dataSizeValue");
  field(SaveField::DataCopied) = AddField(lines, kLabelDataCopied, "dataCopiedValue");
  field(SaveField::LastName) = AddField(lines, kLabelLastDataName, "lastNameValue");
  field(SaveField::FolderName) = AddField(lines, kLabelFolderName, "folderNameValue");
  for (QWidget* control : details_) {
    QSizePolicy policy = control->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    control->setSizePolicy(policy);
  }
  field(SaveField::TimeElapsed)->setText(ToQString(kNoTimeYet));
  field(SaveField::TimeLeft)->setText(ToQString(kNoTimeYet));
  field(SaveField::DataSize)
      ->setText(ToQString(SaveSizeText(session_.saveState.selectedBytes.load(), kSizeSuffixProgress)));

  column->addSpacing(8);
  const auto addBar = [this, column](std::string_view caption, const char* objectName) {
    column->addWidget(save_parts::TextLabel(this, caption));
    auto* bar = new CGradientProgressCtrl(this);
    bar->setObjectName(QString::fromLatin1(objectName));
    column->addWidget(bar);
    return bar;
  };
  currentBar_ = addBar(kLabelCurrentBar, "currentBar");
  overallBar_ = addBar(kLabelOverallBar, "overallBar");
  column->addSpacing(8);
  column->addWidget(save_parts::TextLabel(this, kNoteHideDetails, "detailsNote"));

  detailsButton_ = save_parts::Button(this, kButtonHideDetails, "detailsButton");
  skipButton_ = save_parts::Button(this, kButtonSkip, "skipButton");
  pauseButton_ = save_parts::Button(this, kButtonPause, "pauseButton");
  stopButton_ = save_parts::Button(this, kButtonStop, "stopButton");
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(detailsButton_);
  buttons->addStretch(1);
  buttons->addWidget(skipButton_);
  buttons->addWidget(pauseButton_);
  buttons->addWidget(stopButton_);
  column->addLayout(buttons);

  connect(detailsButton_, &QPushButton::clicked, this, &DataCopyProgress::ToggleDetails);
  connect(skipButton_, &QPushButton::clicked, this, &DataCopyProgress::Skip);
  connect(pauseButton_, &QPushButton::clicked, this, &DataCopyProgress::TogglePause);
  connect(stopButton_, &QPushButton::clicked, this, &DataCopyProgress::AskStop);
}

void DataCopyProgress::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (started_) return;
  started_ = true;
  // The walk starts once the dialog is on the screen.
  QTimer::singleShot(0, this, &DataCopyProgress::Start);
}

void DataCopyProgress::Start() {
  workerFinished_.store(false);
  worker_ = std::thread([this] {
    const SaveWalkEnd end = SaveSelection(job_, destination_);
    QMetaObject::invokeMethod(
        this, [this, end] { WalkEnded(end); }, Qt::QueuedConnection);
    workerFinished_.store(true);
  });
}

void DataCopyProgress::ShowReports(const PostedReports::Batch& batch) {
  if (tearingDown_) return;
  for (const auto& [place, text] : batch.texts) {
    if (place >= 0 && place < static_cast<int>(fields_.size())) fields_[place]->setText(ToQString(text));
  }
  for (const auto& [place, value] : batch.values) {
    (place == kFileBarPlace ? currentBar_ : overallBar_)->SetPosition(value);
  }
}

void DataCopyProgress::Skip() { session_.saveState.errors.skipFile = true; }

void DataCopyProgress::TogglePause() {
  if (end_) return;
  paused_ = !paused_;
  if (paused_) {
    session_.worker.RequestPause();
    progress_.Pause();
  } else {
    progress_.Resume();
    session_.worker.Resume();
  }
  UpdateButtons();
}

void DataCopyProgress::reject() { AskStop(); }

void DataCopyProgress::AskStop() {
  if (asking_ || end_) return;
  asking_ = true;
  UpdateButtons();
  stoppedByUser_ = AskToStopSave(prompts_, session_.worker, progress_);
  asking_ = false;
  // No lets the walk go on; a pause the user had set stays.
  if (!stoppedByUser_ && paused_) {
    session_.worker.RequestPause();
    progress_.Pause();
  }
  UpdateButtons();
  // The walk may have ended while the question was open.
  if (end_) Finish();
}

void DataCopyProgress::ToggleDetails() {
  detailsHidden_ = !detailsHidden_;
  if (detailsHidden_) {
    progress_.HideDetails();
  } else {
    progress_.ShowDetails();
  }
  for (QWidget* control : details_) control->setVisible(!detailsHidden_);
  UpdateButtons();
}

void DataCopyProgress::WalkEnded(SaveWalkEnd end) {
  if (tearingDown_) return;
  end_ = end;
  UpdateButtons();
  if (!asking_) Finish();
}

void DataCopyProgress::Finish() {
  if (worker_.joinable()) worker_.join();
  // A pause asked for after the walk's last checkpoint, or the one the stop
  // question left, must not hold the next worker.
  session_.worker.Resume();
  paused_ = false;
  if (!stoppedByUser_ && end_ != SaveWalkEnd::Stopped) {
    prompts_.ShowMessage(SaveVerdict(session_.saveState));
    if (const std::string note = PossiblyOverwrittenNote(session_.saveState); !note.empty()) prompts_.ShowMessage(note);
  }
  done(QDialog::Accepted);
}

void DataCopyProgress::UpdateButtons() {
  const bool usable = !end_ && !asking_;
  pauseButton_->setText(ToQString(paused_ ? kButtonResume : kButtonPause));
  detailsButton_->setText(ToQString(detailsHidden_ ? kButtonShowDetails : kButtonHideDetails));
  for (QPushButton* button : {skipButton_, pauseButton_, stopButton_, detailsButton_}) button->setEnabled(usable);
}

}  // namespace korv
