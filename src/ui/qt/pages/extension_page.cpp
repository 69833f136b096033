#include "ui/qt/pages/extension_page.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <chrono>
#include <utility>

#include "app/session.h"
#include "carve/carve_types.h"
#include "engine/analysis_driver.h"
#include "engine/analysis_job.h"
#include "platform/file.h"
#include "save/save_walk.h"
#include "ui/logic/wizard_flow.h"
#include "ui/qt/controls/gradient_progress.h"
#include "ui/qt/controls/hover_button.h"
#include "ui/qt/controls/page_banner.h"
#include "ui/qt/pages/analysis_page.h"
#include "ui/qt/pages/source_page.h"
#include "ui/qt/pictures.h"
#include "ui/qt/save/data_copy_path.h"
#include "ui/qt/ui_thread.h"
#include "ui/qt/wizard_host.h"

namespace korv {

// Carries the scan's reports to the UI thread; the texts are copied before
// the hop.
class ExtensionWiseRecovery::PageSink final : public ProgressSink {
 public:
  explicit PageSink(ExtensionWiseRecovery& page) : page_(page) {}

  void SetText(ProgressField field, std::string_view text) override {
    Post([&page = page_, field, shown = std::string(text)] { page.ShowText(field, shown); });
  }
  void SetPercent(int percent) override {
    Post([&page = page_, percent] { page.ShowPercent(percent); });
  }
  void Pulse() override {}

 private:
  template <typename Call>
  void Post(Call call) {
    QMetaObject::invokeMethod(&page_, std::move(call), Qt::QueuedConnection);
  }

  ExtensionWiseRecovery& page_;
};

// The destination dialog in raw mode, as the writer asks for it from the
// worker when a folder runs out of room: the folder picker, on the UI thread.
class ExtensionWiseRecovery::FolderDialog final : public CarveDestinationDialog {
 public:
  explicit FolderDialog(ExtensionWiseRecovery& page) : page_(page) {}

  std::optional<std::filesystem::path> ChooseFolder() override {
    return OnUiThreadAndWait(&page_, [this] { return page_.PickFolder(); });
  }

 private:
  ExtensionWiseRecovery& page_;
};

ExtensionWiseRecovery::ExtensionWiseRecovery(WizardHost& host, QWidget* parent)
    : QWidget(parent),
      host_(host),
      sink_(std::make_unique<PageSink>(*this)),
      folderDialog_(std::make_unique<FolderDialog>(*this)) {
  chooseFolder = [this] {
    DataCopyPath dialog(host_.session(), host_.dialogParent());
    if (dialog.exec() != QDialog::Accepted || !dialog.carvingFolder()) return QString();
    return QString::fromStdString(dialog.carvingFolder()->string());
  };
  freeSpace = [](const std::filesystem::path& path) { return FreeSpace(path); };
  BuildControls();
  FillList();
  ResetProgress();
}

ExtensionWiseRecovery::~ExtensionWiseRecovery() {
  tearingDown_ = true;
  if (!worker_.joinable()) return;
  host_.session().worker.RequestStop();
  // The worker may be carrying a question to this thread; let it through
  // rather than wait on a worker that waits on us.
  while (!workerFinished_.load()) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  worker_.join();
}

void ExtensionWiseRecovery::BuildControls() {
  FillPageBackground(this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new PageBanner(this));

  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("extensionList"));
  list_->setColumnCount(1);
  list_->setHeaderLabels({ToQString(kExtensionListHeading)});
  list_->setRootIsDecorated(false);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  // The rows line up their names and descriptions in a fixed-width font.
  list_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  layout->addWidget(list_, 1);

  exactEnds_ = new QCheckBox(ToQString(kExactEndsCaption), this);
  exactEnds_->setObjectName(QStringLiteral("exactEndsCheck"));
  exactEnds_->setChecked(true);
  layout->addWidget(exactEnds_);
  layout->addWidget(MakeProgressArea());
  layout->addWidget(MakeButtonRow());
}

QWidget* ExtensionWiseRecovery::MakeProgressArea() {
  auto* area = new QWidget(this);
  auto* grid = new QGridLayout(area);
  grid->setContentsMargins(0, 0, 0, 0);
  const auto addLine = [this, grid](std::string_view caption, const char* name) {
    auto* value = new QLabel(this);
    value->setObjectName(QString::fromLatin1(name));
    value->setTextFormat(Qt::PlainText);
    const int row = grid->rowCount();
    grid->addWidget(new QLabel(ToQString(caption), this), row, 0);
    grid->addWidget(value, row, 1);
    return value;
  };
  filesValue_ = addLine(kLabelFilesFound, "filesValue");
  sectorValue_ = addLine(kLabelCurrentSector, "sectorValue");
  grid->setColumnStretch(1, 1);
  statusValue_ = new QLabel(this);
  statusValue_->setObjectName(QStringLiteral("statusValue"));
  statusValue_->setTextFormat(Qt::PlainText);
  grid->addWidget(statusValue_, grid->rowCount(), 0, 1, 2);
  progressBar_ = new CGradientProgressCtrl(this);
  progressBar_->setObjectName(QStringLiteral("progressBar"));
  grid->addWidget(progressBar_, grid->rowCount(), 0, 1, 2);
  return area;
}

QWidget* ExtensionWiseRecovery::MakeButtonRow() {
  auto* row = new QWidget(this);
  auto* buttons = new QHBoxLayout(row);
  backButton_ = MakePageButton(picture::kBack, kBackCaption, "backButton", row);
  stopButton_ = MakePageButton(picture::kStop, kCaptionStop, "stopButton", row);
  nextButton_ = MakePageButton(picture::kNext, kNextCaption, "nextButton", row);
  buttons->addStretch();
  buttons->addWidget(backButton_);
  buttons->addWidget(stopButton_);
  buttons->addWidget(nextButton_);
  connect(backButton_, &QAbstractButton::clicked, this, &ExtensionWiseRecovery::Back);
  connect(stopButton_, &QAbstractButton::clicked, this, &ExtensionWiseRecovery::AskStop);
  connect(nextButton_, &QAbstractButton::clicked, this, &ExtensionWiseRecovery::Next);
  return row;
}

void ExtensionWiseRecovery::FillList() {
  list_->clear();
  for (const CarveRow& row : CarveRows()) {
    auto* item = new QTreeWidgetItem(list_, {ToQString(row.text)});
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(0, Qt::Unchecked);
  }
}

void ExtensionWiseRecovery::ResetProgress() {
  for (QLabel* value : {statusValue_, filesValue_, sectorValue_}) value->clear();
  progressBar_->SetPosition(0);
  UpdateButtons();
}

void ExtensionWiseRecovery::Open() {
  Session& session = host_.session();
  session.wizard.activePage = ActivePage::ExtensionChoice;
  // The destination dialog only picks a folder while this is set.
  session.runFlags.rawRun = true;
  FillList();
  exactEnds_->setChecked(true);
  lastSummary_.reset();
  ResetProgress();
}

std::vector<std::size_t> ExtensionWiseRecovery::tickedRows() const {
  std::vector<std::size_t> rows;
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    if (list_->topLevelItem(i)->checkState(0) == Qt::Checked) rows.push_back(static_cast<std::size_t>(i));
  }
  return rows;
}

void ExtensionWiseRecovery::Back() {
  if (running_) return;
  host_.session().runFlags.rawRun = false;
  host_.CloseExtensionPage();
}

void ExtensionWiseRecovery::Next() {
  if (running_) return;
  const std::vector<std::size_t> rows = tickedRows();
  if (rows.empty()) {
    host_.ShowMessage(kMsgNoExtensionTicked);
    return;
  }
  // A closed picker starts nothing; the page keeps its ticks.
  const auto folder = PickFolder();
  if (!folder) return;
  const auto destination = AcceptDestination(folder->string(), host_.session().prompts);
  if (!destination) return;
  StartScan(*destination, rows);
}

std::optional<std::filesystem::path> ExtensionWiseRecovery::PickFolder() {
  const QString folder = chooseFolder();
  if (folder.isEmpty()) return std::nullopt;
  return std::filesystem::path(folder.toStdString());
}

void ExtensionWiseRecovery::StartScan(const std::filesystem::path& destination, const std::vector<std::size_t>& rows) {
  JoinWorker();
  Session& session = host_.session();
  entries_ = BuildCarveEntries(rows);
  writer_ = std::make_unique<CarvedFileWriter>(destination, session.prompts, *folderDialog_, freeSpace);
  job_ =
      std::make_unique<CarveJob>(CarveJob{session.sectors, session.worker, *sink_, *writer_, entries_,
                                          session.range.firstSector, session.range.endSector, exactEnds_->isChecked()});
  session.worker.Reset();
  ResetProgress();
  running_ = true;
  UpdateButtons();
  workerFinished_.store(false);
  worker_ = std::thread([this, job = job_.get()] {
    const CarveSummary summary = RunRawScan(*job);
    QMetaObject::invokeMethod(
        this, [this, summary] { ScanEnded(summary); }, Qt::QueuedConnection);
    workerFinished_.store(true);
  });
}

void ExtensionWiseRecovery::AskStop() {
  if (!running_ || asking_) return;
  asking_ = true;
  UpdateButtons();
  const bool stop = host_.AskQuestion(kQuestionStopAnalysis);
  asking_ = false;
  if (stop && running_) host_.session().worker.RequestStop();
  UpdateButtons();
  if (pendingSummary_) ScanEnded(*std::exchange(pendingSummary_, std::nullopt));
}

void ExtensionWiseRecovery::ScanEnded(const CarveSummary& summary) {
  if (tearingDown_) return;
  // The end message waits for the stop question to be answered.
  if (asking_) {
    pendingSummary_ = summary;
    return;
  }
  JoinWorker();
  running_ = false;
  lastSummary_ = summary;
  // The run is over: a results page opened later must not save as a raw run.
  host_.session().runFlags.rawRun = false;
  statusValue_->setText(ToQString(summary.endMessage));
  UpdateButtons();
  host_.ShowMessage(summary.endMessage);
  const std::string unwritten = UnwrittenFilesText(summary);
  if (!unwritten.empty()) host_.ShowMessage(unwritten);
}

void ExtensionWiseRecovery::ShowText(ProgressField field, const std::string& shown) {
  if (tearingDown_) return;
  switch (field) {
    case ProgressField::Status:
      statusValue_->setText(ToQString(shown));
      return;
    case ProgressField::Files:
      filesValue_->setText(ToQString(shown));
      return;
    case ProgressField::Sector:
      sectorValue_->setText(ToQString(shown));
      return;
    default:
      return;
  }
}

void ExtensionWiseRecovery::ShowPercent(int percent) {
  if (tearingDown_) return;
  progressBar_->SetPosition(percent);
}

void ExtensionWiseRecovery::JoinWorker() {
  if (worker_.joinable()) worker_.join();
}

void ExtensionWiseRecovery::UpdateButtons() {
  backButton_->setEnabled(!running_);
  nextButton_->setEnabled(!running_);
  list_->setEnabled(!running_);
  exactEnds_->setEnabled(!running_);
  stopButton_->setEnabled(running_ && !asking_);
}

}  // namespace korv
