#include "ui/qt/pages/analysis_page.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>
#include <chrono>
#include <string>

#include "app/session.h"
#include "ui/logic/wizard_flow.h"
#include "ui/qt/controls/embedded_art.h"
#include "ui/qt/controls/gradient_progress.h"
#include "ui/qt/controls/hover_button.h"
#include "ui/qt/controls/label.h"
#include "ui/qt/controls/page_banner.h"
#include "ui/qt/pictures.h"
#include "ui/qt/wizard_host.h"

namespace korv {

namespace {

constexpr int kClockMs = 1000;
constexpr int kPulseMs = 2000;
// How often a pause asked for is checked for having been taken.
constexpr int kParkPollMs = 20;

QFont FixedFont() { return QFontDatabase::systemFont(QFontDatabase::FixedFont); }

}  // namespace

// Carries every report of the worker to the UI thread. The texts are copied
// before the hop; a report still queued when the page goes is dropped.
class RecoveryAnalysis::PageSink final : public ProgressSink {
 public:
  explicit PageSink(RecoveryAnalysis& page) : page_(page) {}

  void SetText(ProgressField field, std::string_view text) override {
    Post([&page = page_, field, shown = std::string(text)] { page.ShowText(field, shown); });
  }
  void SetPercent(int percent) override {
    Post([&page = page_, percent] { page.ShowPercent(percent); });
  }
  void Pulse() override {
    Post([&page = page_] { page.StartPulse(); });
  }
  void SetVisible(ProgressGroup group, bool visible) override {
    Post([&page = page_, group, visible] { page.SetGroupVisible(group, visible); });
  }

 private:
  template <typename Call>
  void Post(Call call) {
    QMetaObject::invokeMethod(&page_, std::move(call), Qt::QueuedConnection);
  }

  RecoveryAnalysis& page_;
};

RecoveryAnalysis::RecoveryAnalysis(WizardHost& host, QWidget* parent)
    : QWidget(parent), host_(host), sink_(std::make_unique<PageSink>(*this)) {
  BuildControls();
  clockTimer_.setInterval(kClockMs);
  pulseTimer_.setInterval(kPulseMs);
  parkPoll_.setInterval(kParkPollMs);
  connect(&clockTimer_, &QTimer::timeout, this, &RecoveryAnalysis::ShowClock);
  connect(&pulseTimer_, &QTimer::timeout, this, &RecoveryAnalysis::StepPulse);
  connect(&parkPoll_, &QTimer::timeout, this, &RecoveryAnalysis::CheckParked);
  ResetControls();
}

RecoveryAnalysis::~RecoveryAnalysis() {
  tearingDown_ = true;
  if (!worker_.joinable()) return;
  WorkerControl& worker = host_.session().worker;
  worker.RequestAbandon();
  worker.Resume();
  // A worker may be carrying a question to this thread; let it through
  // rather than wait on a worker that waits on us.
  while (!workerFinished_.load()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  worker_.join();
}

QLabel* RecoveryAnalysis::AddLabel(const char* objectName, std::string_view text) {
  auto* label = new QLabel(this);
  label->setObjectName(QString::fromLatin1(objectName));
  // Names come from the disk: never read them as rich text.
  label->setTextFormat(Qt::PlainText);
  label->setText(DisplayQString(text));
  return label;
}

void RecoveryAnalysis::BuildControls() {
  FillPageBackground(this);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 12);
  stepPicture_ = AddLabel("stepPicture");
  AddPageTop(*layout, this, nullptr, stepPicture_);

  auto* body = new QHBoxLayout;
  layout->addLayout(body, 1);
  auto* column = new QVBoxLayout;
  body->addStretch(1);
  body->addLayout(column, 4);
  body->addStretch(1);
  AddHeading(*column);
  AddFixedLines(*column);
  AddDetailLines(*column);
  AddStatusLines(*column);
  layout->addLayout(MakeButtonRow());
}

void RecoveryAnalysis::AddHeading(QVBoxLayout& column) {
  auto* heading = new CLabel(this);
  heading->setObjectName(QStringLiteral("headingText"));
  heading->SetFontScale(kHeadingFontScale).SetBold(true).SetTextColor(QColor(art::kHeadingInk));
  heading->setTextFormat(Qt::PlainText);
  heading->setText(DisplayQString(kAnalysisHeading));
  column.addWidget(heading);

  bannerText_ = AddLabel("bannerText");
  bannerText_->setWordWrap(true);
  QFont bold = bannerText_->font();
  bold.setBold(true);
  bannerText_->setFont(bold);
  column.addWidget(bannerText_);
  column.addSpacing(10);
}

// The labels are padded to line up in a fixed-width font.
QLabel* RecoveryAnalysis::AddLine(QGridLayout& grid, std::string_view caption, const char* labelName, QWidget* value) {
  QLabel* label = AddLabel(labelName, caption);
  label->setFont(FixedFont());
  value->setFont(FixedFont());
  const int row = grid.rowCount();
  grid.addWidget(label, row, 0);
  grid.addWidget(value, row, 1);
  grid.setColumnStretch(1, 1);
  return label;
}

// Mode, device, capacity and the time elapsed: always shown.
void RecoveryAnalysis::AddFixedLines(QVBoxLayout& column) {
  auto* fixedLines = new QGridLayout;
  column.addLayout(fixedLines);
  modeValue_ = AddLabel("modeValue");
  deviceValue_ = AddLabel("deviceValue");
  capacityValue_ = AddLabel("capacityValue");
  elapsedValue_ = AddLabel("elapsedValue");
  AddLine(*fixedLines, kLabelMode, "modeLabel", modeValue_);
  AddLine(*fixedLines, kLabelDevice, "deviceLabel", deviceValue_);
  AddLine(*fixedLines, kLabelCapacity, "capacityLabel", capacityValue_);
  AddLine(*fixedLines, kAnalysisTimeElapsed, "elapsedLabel", elapsedValue_);
  column.addSpacing(10);
}

// The details keep their room while hidden, so nothing below them jumps.
void RecoveryAnalysis::AddDetailLines(QVBoxLayout& column) {
  auto* detailArea = new QWidget(this);
  auto* detailLines = new QGridLayout(detailArea);
  detailLines->setContentsMargins(0, 0, 0, 0);
  column.addWidget(detailArea);
  QWidget* sizeValues = MakeSizeValues();
  sizeLabel_ = AddLine(*detailLines, kLabelTotalSize, "sizeLabel", sizeValues);
  foldersValue_ = AddLabel("foldersValue");
  filesValue_ = AddLabel("filesValue");
  lastNameValue_ = AddLabel("lastNameValue");
  sectorValue_ = AddLabel("sectorValue");
  QLabel* foldersLabel = AddLine(*detailLines, kLabelFoldersFound, "foldersLabel", foldersValue_);
  QLabel* filesLabel = AddLine(*detailLines, kLabelFilesFound, "filesLabel", filesValue_);
  QLabel* lastNameLabel = AddLine(*detailLines, kLabelLastName, "lastNameLabel", lastNameValue_);
  sectorLabel_ = AddLine(*detailLines, kLabelCurrentSector, "sectorLabel", sectorValue_);
  details_ = {sizeLabel_,  sizeValues,    foldersLabel,   foldersValue_, filesLabel,
              filesValue_, lastNameLabel, lastNameValue_, sectorLabel_,  sectorValue_};
  for (QWidget* control : details_) {
    QSizePolicy policy = control->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    control->setSizePolicy(policy);
  }
}

// The size line holds the total size, or the index records found while a
// formatted scan counts them.
QWidget* RecoveryAnalysis::MakeSizeValues() {
  sizeValue_ = AddLabel("sizeValue");
  indexCountValue_ = AddLabel("indexCountValue");
  sizeValue_->setFont(FixedFont());
  indexCountValue_->setFont(FixedFont());
  auto* sizeValues = new QWidget(this);
  auto* sizeRow = new QHBoxLayout(sizeValues);
  sizeRow->setContentsMargins(0, 0, 0, 0);
  sizeRow->addWidget(sizeValue_);
  sizeRow->addWidget(indexCountValue_);
  sizeRow->addStretch();
  return sizeValues;
}

void RecoveryAnalysis::AddStatusLines(QVBoxLayout& column) {
  statusValue_ = AddLabel("statusValue");
  statusValue_->setFont(FixedFont());
  column.addWidget(statusValue_);
  pulseBar_ = new CGradientProgressCtrl(this);
  pulseBar_->setObjectName(QStringLiteral("pulseBar"));
  column.addWidget(pulseBar_);
  column.addSpacing(10);
  column.addWidget(AddLabel("performanceHint", kHintImprovePerformance));
  column.addWidget(AddLabel("detailsHint", kHintHideDetails));
  column.addStretch();
}

QHBoxLayout* RecoveryAnalysis::MakeButtonRow() {
  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(kPageSideMargin, 0, kPageSideMargin, 0);
  // Details and Pause have no pictures of their own: they show their
  // captions, which change with their state.
  detailsButton_ = MakePageButton({}, {}, "detailsButton", this);
  pauseButton_ = MakePageButton({}, {}, "pauseButton", this);
  stopButton_ = MakePageButton(picture::kStop, kCaptionStop, "stopButton", this);
  backButton_ = MakePageButton(picture::kBack, kCaptionBack, "backButton", this);
  buttons->addWidget(detailsButton_);
  buttons->addWidget(pauseButton_);
  buttons->addStretch();
  buttons->addWidget(backButton_);
  buttons->addWidget(stopButton_);

  connect(detailsButton_, &QAbstractButton::clicked, this, &RecoveryAnalysis::ToggleDetails);
  connect(pauseButton_, &QAbstractButton::clicked, this, &RecoveryAnalysis::TogglePause);
  connect(stopButton_, &QAbstractButton::clicked, this, &RecoveryAnalysis::AskStop);
  connect(backButton_, &QAbstractButton::clicked, this, &RecoveryAnalysis::AskBack);
  return buttons;
}

void RecoveryAnalysis::ResetControls() {
  for (QLabel* value : {modeValue_, deviceValue_, capacityValue_, sizeValue_, indexCountValue_, foldersValue_,
                        filesValue_, lastNameValue_, sectorValue_, statusValue_, bannerText_}) {
    value->clear();
  }
  stepPicture_->clear();
  sizeLabel_->setText(DisplayQString(kLabelTotalSize));
  elapsedValue_->setText(QStringLiteral("0 : 0 : 0"));
  statusValue_->show();
  pulseBar_->SetPosition(0);
  pulse_ = AnalysisPulse();
  detailsHidden_ = false;
  sectorLineShown_ = true;
  ApplyDetailVisibility();
  hold_ = Hold::None;
  pendingOutcome_.reset();
  UpdateButtons();
}

void RecoveryAnalysis::Start() {
  // The results page's switch to formatted recovery keeps the chosen mode
  // and sets only formattedMode.
  const WizardState& wizard = host_.session().wizard;
  const RecoveryMode mode = wizard.formattedMode ? RecoveryMode::FormattedData : wizard.mode;
  Start([mode](Session& session, AnalysisProgress& progress) { return session.AnalyseSelectedRange(mode, progress); });
}

void RecoveryAnalysis::Start(Run run) {
  if (running_) return;
  JoinWorker();
  Session& session = host_.session();
  session.wizard.activePage = ActivePage::Analysis;
  ResetControls();
  progress_ = std::make_unique<AnalysisProgress>(*sink_);
  running_ = true;
  UpdateButtons();
  clockTimer_.start();

  workerFinished_.store(false);
  worker_ = std::thread([this, &session, run = std::move(run), progress = progress_.get()] {
    const AnalysisOutcome outcome = run(session, *progress);
    QMetaObject::invokeMethod(
        this, [this, outcome] { RunEnded(outcome); }, Qt::QueuedConnection);
    workerFinished_.store(true);
  });
}

void RecoveryAnalysis::ShowText(ProgressField field, const std::string& shown) {
  if (tearingDown_) return;
  const QString text = ToQString(shown);
  switch (field) {
    case ProgressField::Banner:
      bannerText_->setText(DisplayQString(shown));
      return;
    case ProgressField::StepPicture:
      stepPicture_->setPixmap(LoadPicture(shown));
      return;
    case ProgressField::Mode:
      modeValue_->setText(text);
      return;
    case ProgressField::Device:
      deviceValue_->setText(text);
      return;
    case ProgressField::Capacity:
      capacityValue_->setText(text);
      return;
    case ProgressField::SizeLabel:
      // A new size line starts empty: its old value meant something else.
      sizeLabel_->setText(text);
      sizeValue_->clear();
      indexCountValue_->clear();
      return;
    case ProgressField::Size:
      sizeValue_->setText(text);
      return;
    case ProgressField::Folders:
      foldersValue_->setText(text);
      return;
    case ProgressField::Files:
      filesValue_->setText(text);
      return;
    case ProgressField::LastName:
      lastNameValue_->setText(text);
      return;
    case ProgressField::Sector:
      sectorValue_->setText(text);
      return;
    case ProgressField::IndexCount:
      indexCountValue_->setText(text);
      return;
    case ProgressField::Status:
      statusValue_->setText(text);
      return;
    case ProgressField::Elapsed:
      elapsedValue_->setText(text);
      return;
  }
}

void RecoveryAnalysis::ShowPercent(int percent) {
  if (tearingDown_) return;
  // A step that measures its work ends the pulse of the one before it.
  pulsing_ = false;
  pulseTimer_.stop();
  pulseBar_->SetPosition(percent);
}

void RecoveryAnalysis::StartPulse() {
  if (tearingDown_ || !running_ || pulsing_) return;
  pulsing_ = true;
  if (hold_ != Hold::Paused) pulseTimer_.start();
}

void RecoveryAnalysis::StepPulse() { pulseBar_->SetPosition(pulse_.Step()); }

void RecoveryAnalysis::SetGroupVisible(ProgressGroup group, bool visible) {
  if (tearingDown_) return;
  switch (group) {
    case ProgressGroup::Details:
      // The page hid the details itself when asked; a late report of the
      // engine must not undo a Show that came after it.
      ApplyDetailVisibility();
      return;
    case ProgressGroup::SectorLine:
      sectorLineShown_ = visible;
      ApplyDetailVisibility();
      return;
    case ProgressGroup::Status:
      statusValue_->setVisible(visible);
      return;
  }
}

void RecoveryAnalysis::ApplyDetailVisibility() {
  for (QWidget* control : details_) control->setVisible(!detailsHidden_);
  if (!sectorLineShown_) {
    sectorLabel_->hide();
    sectorValue_->hide();
  }
}

void RecoveryAnalysis::ShowClock() {
  if (progress_ != nullptr) elapsedValue_->setText(ToQString(progress_->ClockText()));
}

void RecoveryAnalysis::ToggleDetails() {
  if (!running_) return;
  detailsHidden_ = !detailsHidden_;
  if (detailsHidden_) {
    progress_->HideDetails();
    clockTimer_.stop();
  } else {
    progress_->ShowDetails();
    if (hold_ != Hold::Paused) {
      ShowClock();
      clockTimer_.start();
    }
  }
  ApplyDetailVisibility();
  UpdateButtons();
}

void RecoveryAnalysis::TogglePause() {
  if (!running_) return;
  if (hold_ == Hold::None) {
    RequestHold();
  } else {
    ResumeRun();
  }
}

void RecoveryAnalysis::RequestHold() {
  if (hold_ != Hold::None) return;
  host_.session().worker.RequestPause();
  hold_ = Hold::Pausing;
  parkPoll_.start();
  UpdateButtons();
}

void RecoveryAnalysis::CheckParked() {
  if (!running_ || hold_ != Hold::Pausing) {
    parkPoll_.stop();
    return;
  }
  if (!host_.session().worker.parked()) return;
  parkPoll_.stop();
  hold_ = Hold::Paused;
  FreezeDisplay();
  UpdateButtons();
}

void RecoveryAnalysis::FreezeDisplay() {
  if (progress_ != nullptr) progress_->PauseClock();
  ShowClock();
  clockTimer_.stop();
  pulseTimer_.stop();
}

void RecoveryAnalysis::ResumeRun() {
  parkPoll_.stop();
  host_.session().worker.Resume();
  hold_ = Hold::None;
  if (progress_ != nullptr) progress_->ResumeClock();
  if (!detailsHidden_) clockTimer_.start();
  if (pulsing_) pulseTimer_.start();
  UpdateButtons();
}

bool RecoveryAnalysis::AskWhileHeld(std::string_view question) {
  RequestHold();
  FreezeDisplay();
  asking_ = true;
  UpdateButtons();
  const bool yes = host_.AskQuestion(question);
  asking_ = false;
  return yes;
}

void RecoveryAnalysis::AskStop() {
  if (!running_ || asking_) return;
  const bool stop = AskWhileHeld(kQuestionStopAnalysis);
  if (stop) host_.session().worker.RequestStop();
  ResumeRun();
  if (pendingOutcome_) Finish(*pendingOutcome_);
}

void RecoveryAnalysis::AskBack() {
  if (!running_ || asking_) return;
  const bool back = AskWhileHeld(kQuestionGoBack);
  if (back) host_.session().worker.RequestAbandon();
  ResumeRun();
  if (pendingOutcome_) Finish(*pendingOutcome_);
}

void RecoveryAnalysis::RunEnded(AnalysisOutcome outcome) {
  if (tearingDown_) return;
  if (asking_) {
    pendingOutcome_ = outcome;
    return;
  }
  Finish(outcome);
}

void RecoveryAnalysis::Finish(AnalysisOutcome outcome) {
  JoinWorker();
  running_ = false;
  pendingOutcome_.reset();
  parkPoll_.stop();
  clockTimer_.stop();
  pulseTimer_.stop();
  pulsing_ = false;
  // A pause asked for after the worker's last checkpoint was never taken;
  // it must not hold the next worker.
  if (hold_ != Hold::None) host_.session().worker.Resume();
  hold_ = Hold::None;
  ShowClock();
  UpdateButtons();
  // The host may close this page: nothing after this call.
  host_.AnalysisEnded(outcome);
}

void RecoveryAnalysis::JoinWorker() {
  if (worker_.joinable()) worker_.join();
}

void RecoveryAnalysis::UpdateButtons() {
  const bool usable = running_ && !asking_;
  detailsButton_->SetCaption(ToQString(detailsHidden_ ? kCaptionShowDetails : kCaptionHideDetails));
  pauseButton_->SetCaption(ToQString(hold_ == Hold::Paused ? kCaptionResume : kCaptionPause));
  detailsButton_->setEnabled(usable);
  // While a pause is on its way there is nothing to toggle yet.
  pauseButton_->setEnabled(usable && hold_ != Hold::Pausing);
  stopButton_->setEnabled(usable);
  backButton_->setEnabled(usable);
}

}  // namespace korv
