#include "ui/qt/pages/source_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QRegularExpressionValidator>
#include <QShowEvent>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <filesystem>
#include <unordered_map>

#include "app/session.h"
#include "engine/analysis_job.h"
#include "ui/logic/wizard_flow.h"
#include "ui/qt/controls/embedded_art.h"
#include "ui/qt/controls/hover_button.h"
#include "ui/qt/controls/page_banner.h"
#include "ui/qt/controls/page_toolbar.h"
#include "ui/qt/controls/pie_chart.h"
#include "ui/qt/pictures.h"
#include "ui/qt/wizard_host.h"

namespace korv {

namespace {

constexpr int kNodeIdRole = Qt::UserRole;

QIcon NodeIcon(const QStyle& style, SourceNodeKind kind) {
  switch (kind) {
    case SourceNodeKind::Root:
      return style.standardIcon(QStyle::SP_ComputerIcon);
    case SourceNodeKind::Group:
      return style.standardIcon(QStyle::SP_DirIcon);
    case SourceNodeKind::Disk:
      return style.standardIcon(QStyle::SP_DriveHDIcon);
    case SourceNodeKind::Partition:
      return style.standardIcon(QStyle::SP_DriveHDIcon);
  }
  return {};
}

QLabel* MakeInformationLine(int number, QWidget* parent) {
  auto* line = new QLabel(parent);
  line->setObjectName(QStringLiteral("infoLine%1").arg(number));
  QFont font = line->font();
  font.setBold(true);
  line->setFont(font);
  return line;
}

}  // namespace

DeletedFilesRecovery::DeletedFilesRecovery(WizardHost& host, QWidget* parent) : QWidget(parent), host_(host) {
  chooseLogFile = [this] { return AskOpenLogPath(host_.dialogParent()); };
  FillPageBackground(this);

  toolbar_ = new PageToolbar(this);
  toolbar_->setObjectName(QStringLiteral("pageToolbar"));
  connect(toolbar_, &PageToolbar::clicked, this, &DeletedFilesRecovery::ToolbarClicked);

  auto* step = new QLabel(this);
  step->setObjectName(QStringLiteral("stepPicture"));
  step->setPixmap(LoadPicture(picture::kStep1));

  tree_ = new QTreeWidget(this);
  tree_->setObjectName(QStringLiteral("sourceTree"));
  tree_->setHeaderHidden(true);
  tree_->setColumnCount(1);
  tree_->setMinimumWidth(280);
  connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) { NodeSelected(current); });

  auto* hint = new QLabel(DisplayQString(kSourceHint), this);
  hint->setObjectName(QStringLiteral("hintLine"));

  auto* content = new QHBoxLayout;
  content->setContentsMargins(12, 0, 12, 0);
  content->addWidget(tree_, 1);
  content->addWidget(MakeInformationPanel(), 1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 12);
  AddPageTop(*layout, this, toolbar_, step);
  layout->addLayout(content, 1);
  layout->addWidget(MakeRangeGroup());
  layout->addWidget(hint);
  layout->addWidget(MakeButtonRow());
  hint->setContentsMargins(12, 0, 12, 0);
}

QWidget* DeletedFilesRecovery::MakeInformationPanel() {
  auto* panel = new QWidget(this);
  auto* layout = new QVBoxLayout(panel);
  layout->setContentsMargins(0, 0, 0, 0);
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    lines_[i] = MakeInformationLine(static_cast<int>(i) + 1, panel);
    layout->addWidget(lines_[i]);
  }
  chart_ = new CPieChartWnd(panel);
  chart_->setObjectName(QStringLiteral("pieChart"));
  chart_->SetTitle(ToQString(kDriveInformationTitle));
  layout->addWidget(chart_, 1);
  return panel;
}

QWidget* DeletedFilesRecovery::MakeRangeGroup() {
  rangeGroup_ = new QWidget(this);
  rangeGroup_->setObjectName(QStringLiteral("rangeGroup"));
  selectRange_ = new QCheckBox(DisplayQString(kSelectRange), rangeGroup_);
  selectRange_->setObjectName(QStringLiteral("selectRange"));
  connect(selectRange_, &QCheckBox::toggled, this, &DeletedFilesRecovery::ApplySelectRange);

  // Sector numbers only, as a numeric edit field takes them.
  auto* digits = new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), rangeGroup_);
  startingRange_ = new QLineEdit(rangeGroup_);
  startingRange_->setObjectName(QStringLiteral("startingRange"));
  startingRange_->setValidator(digits);
  endingRange_ = new QLineEdit(rangeGroup_);
  endingRange_->setObjectName(QStringLiteral("endingRange"));
  endingRange_->setValidator(digits);
  fileSystemChoice_ = new QComboBox(rangeGroup_);
  fileSystemChoice_->setObjectName(QStringLiteral("fileSystemChoice"));
  for (const FileSystemKind item : kFileSystemItems) fileSystemChoice_->addItem(ToQString(FileSystemName(item)));

  auto* layout = new QGridLayout(rangeGroup_);
  layout->setContentsMargins(12, 0, 12, 0);
  layout->addWidget(selectRange_, 0, 0, 1, 2);
  layout->addWidget(new QLabel(DisplayQString(kLabelStartingRange), rangeGroup_), 1, 0);
  layout->addWidget(startingRange_, 1, 1);
  layout->addWidget(new QLabel(DisplayQString(kLabelEndingRange), rangeGroup_), 1, 2);
  layout->addWidget(endingRange_, 1, 3);
  layout->addWidget(new QLabel(DisplayQString(kLabelFileSystem), rangeGroup_), 1, 4);
  layout->addWidget(fileSystemChoice_, 1, 5);
  layout->setColumnStretch(6, 1);
  return rangeGroup_;
}

QWidget* DeletedFilesRecovery::MakeButtonRow() {
  auto* row = new QWidget(this);
  back_ = MakePageButton(picture::kBack, kBackCaption, "backButton", row);
  next_ = MakePageButton(picture::kNext, kNextCaption, "nextButton", row);
  connect(back_, &CHoverButton::clicked, this, &DeletedFilesRecovery::Back);
  connect(next_, &CHoverButton::clicked, this, &DeletedFilesRecovery::NextClicked);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(12, 0, 12, 0);
  layout->addStretch(1);
  layout->addWidget(back_);
  layout->addWidget(next_);
  return row;
}

void DeletedFilesRecovery::Open() {
  WizardState& wizard = host_.session().wizard;
  wizard.activePage = ActivePage::Source;
  setWindowTitle(ToQString(WindowTitle(WizardPage::Source, wizard.mode)));
  const Capabilities built = BuiltCapabilities();
  for (const ToolbarButton button : kAllToolbarButtons) {
    toolbar_->SetButtonEnabled(button, ToolbarButtonEnabled(button, WizardPage::Source, wizard, built));
  }

  tree_->clear();
  ShowLines(BareInformationLines());
  chart_->Clear();
  chart_->SetTitle(ToQString(kDriveInformationTitle));
  chart_->Redraw();

  rangeGroup_->setVisible(wizard.rangeMode);
  selectRange_->setChecked(false);
  startingRange_->clear();
  endingRange_->clear();
  fileSystemChoice_->setCurrentIndex(-1);
  ApplySelectRange();
  ScheduleFill();
}

void DeletedFilesRecovery::Returned() {
  Session& session = host_.session();
  session.wizard.activePage = ActivePage::Source;
  if (!loadingLog_) return;
  loadingLog_ = false;
  session.runFlags.logLoaded = false;
  ChooseMode(session.wizard, modeBeforeLog_);
}

void DeletedFilesRecovery::LoadLog() {
  Session& session = host_.session();
  const WizardState& wizard = session.wizard;
  if (loadingLog_ || wizard.mode == RecoveryMode::RawData || wizard.mode == RecoveryMode::CreateDiskImage) return;
  const LogPathChoice chosen = chooseLogFile();
  if (!chosen) return;
  if (chosen->isEmpty()) {
    host_.ShowMessage(kMsgLogNoPath);
    return;
  }
  const RecoveryMode mode = wizard.mode;
  if (const auto refusal = session.LoadLogHeader(std::filesystem::path(chosen->toStdString()))) {
    host_.ShowMessage(*refusal);
    return;
  }
  loadingLog_ = true;
  modeBeforeLog_ = mode;
  session.range.badSectorPolicy = BadSectorPolicy::Retry;
  host_.OpenLogReplay();
}

std::array<QString, 4> DeletedFilesRecovery::informationLines() const {
  std::array<QString, 4> texts;
  for (std::size_t i = 0; i < lines_.size(); ++i) texts[i] = lines_[i]->text();
  return texts;
}

// The tree is filled once the page is on the screen, so the page shows
// before the disks are read.
void DeletedFilesRecovery::ScheduleFill() {
  fillPending_ = true;
  if (!isVisible()) return;
  QTimer::singleShot(0, this, [this] {
    if (!fillPending_) return;
    fillPending_ = false;
    FillTree();
  });
}

void DeletedFilesRecovery::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (fillPending_) ScheduleFill();
}

void DeletedFilesRecovery::FillTree() {
  Session& session = host_.session();
  const std::string problem = session.sourceTree.Fill(session.OpenDiskFacts());
  AddTreeItems();
  if (!problem.empty()) host_.ShowMessage(problem);
}

void DeletedFilesRecovery::AddTreeItems() {
  tree_->clear();
  std::unordered_map<std::uint64_t, QTreeWidgetItem*> items;
  QTreeWidgetItem* firstDisk = nullptr;
  for (const SourceNode& node : host_.session().sourceTree.nodes()) {
    const auto parent = items.find(node.parent);
    auto* item = parent == items.end() ? new QTreeWidgetItem(tree_) : new QTreeWidgetItem(parent->second);
    item->setText(0, ToQString(node.text));
    item->setIcon(0, NodeIcon(*style(), node.kind));
    item->setData(0, kNodeIdRole, QVariant::fromValue<qulonglong>(node.id));
    items[node.id] = item;
    if (node.kind == SourceNodeKind::Disk && firstDisk == nullptr) firstDisk = item;
  }
  // Everything but the partitions shows open.
  for (const auto& [id, item] : items) {
    if (item->childCount() > 0) item->setExpanded(true);
  }
  if (firstDisk != nullptr) tree_->setCurrentItem(firstDisk);
  tree_->setFocus(Qt::OtherFocusReason);
}

void DeletedFilesRecovery::NodeSelected(QTreeWidgetItem* item) {
  if (item == nullptr) return;
  Session& session = host_.session();
  const std::uint64_t id = item->data(0, kNodeIdRole).toULongLong();
  session.sourceTree.Select(id);
  const SourceNode* node = session.sourceTree.Find(id);
  if (node == nullptr) return;
  switch (node->kind) {
    case SourceNodeKind::Disk:
      ShowLines(DiskInformationLines(ReadDiskFacts(session.inventory, node->diskNumber)));
      break;
    case SourceNodeKind::Partition:
      ShowPartitionLines();
      break;
    default:
      return;
  }
  ShowRangeOfSelection();
  ShowChart();
}

void DeletedFilesRecovery::ShowLines(const InformationLines& lines) {
  for (std::size_t i = 0; i < lines_.size(); ++i) lines_[i]->setText(DisplayQString(lines[i]));
}

void DeletedFilesRecovery::ShowPartitionLines() {
  const std::vector<std::string> text = host_.session().sourceTree.PartitionInformationText();
  InformationLines lines;
  for (std::size_t i = 0; i < lines.size() && i < text.size(); ++i) lines[i] = text[i];
  ShowLines(lines);
}

void DeletedFilesRecovery::ShowChart() {
  chart_->Clear();
  for (const ChartSlice& slice : host_.session().sourceTree.ChartShares()) {
    chart_->AddSlice(ToQString(slice.label), slice.percent);
  }
  chart_->Redraw();
}

void DeletedFilesRecovery::ShowRangeOfSelection() {
  const Session& session = host_.session();
  if (!session.wizard.rangeMode) return;
  startingRange_->setText(QString::number(session.range.firstSector));
  endingRange_->setText(QString::number(session.range.endSector));
  fileSystemChoice_->setCurrentIndex(FileSystemItem(session.range.fileSystem));
  ApplySelectRange();
}

// Unchecked, the fields keep their contents (Next still reads them) but
// cannot be edited.
void DeletedFilesRecovery::ApplySelectRange() {
  const bool editable = selectRange_->isChecked();
  startingRange_->setEnabled(editable);
  endingRange_->setEnabled(editable);
  fileSystemChoice_->setEnabled(editable);
}

void DeletedFilesRecovery::Back() {
  SelectedRange& range = host_.session().range;
  range.selectedText.clear();
  range.partitionText.clear();
  host_.CloseSourcePage();
}

// The focus within the page's window: the window may not be the active one
// at the moment (a dialog just closed over it), yet a click on Next has
// given Next the focus the window returns to.
bool DeletedFilesRecovery::NextHasFocus() const { return window()->focusWidget() == next_; }

// Next acts only when the button holds the keyboard focus (a click gives
// it), so a key meant for another control never starts a run.
void DeletedFilesRecovery::NextClicked() {
  if (!NextHasFocus()) return;
  Next();
}

void DeletedFilesRecovery::Next() {
  Session& session = host_.session();
  const RangeFields fields{startingRange_->text().toStdString(), endingRange_->text().toStdString(),
                           fileSystemChoice_->currentIndex()};
  const StartOutcome outcome = session.sourceTree.ValidateAndStart(session.wizard.mode, fields);
  switch (outcome.action) {
    case StartAction::None:
      if (!outcome.message.empty()) host_.ShowMessage(outcome.message);
      return;
    case StartAction::StartAnalysis:
      // Each confirmed source starts with the bad-sector dialog asking again.
      session.range.badSectorPolicy = BadSectorPolicy::Retry;
      host_.OpenAnalysisPage();
      return;
    case StartAction::RunPartitionScan:
      session.range.badSectorPolicy = BadSectorPolicy::Retry;
      host_.OpenVolumeScan();
      return;
    case StartAction::OpenExtensionPage:
      session.range.badSectorPolicy = BadSectorPolicy::Retry;
      host_.OpenExtensionPage();
      return;
    case StartAction::OpenImagingPage:
      session.range.badSectorPolicy = BadSectorPolicy::Retry;
      host_.OpenImagingPage();
      return;
  }
}

void DeletedFilesRecovery::keyPressEvent(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Escape:
      host_.AskExit();
      return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
      // Enter is the default button's key: it acts only on a focused Next.
      if (NextHasFocus()) Next();
      return;
    default:
      QWidget::keyPressEvent(event);
  }
}

void DeletedFilesRecovery::ToolbarClicked(int button) {
  if (static_cast<ToolbarButton>(button) == ToolbarButton::Help) host_.ShowHelp();
  if (static_cast<ToolbarButton>(button) == ToolbarButton::LoadLog) LoadLog();
}

}  // namespace korv
