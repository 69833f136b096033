#include "ui/qt/pages/volume_list_page.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/session.h"
#include "engine/partition_volumes.h"
#include "ui/logic/volume_list.h"
#include "ui/logic/wizard_flow.h"
#include "ui/qt/controls/hover_button.h"
#include "ui/qt/controls/page_banner.h"
#include "ui/qt/controls/page_toolbar.h"
#include "ui/qt/log/log_commands.h"
#include "ui/qt/pages/source_page.h"
#include "ui/qt/pictures.h"
#include "ui/qt/wizard_host.h"

namespace korv {

namespace {

// Where a node keeps the volume it stands for (0 for the root).
constexpr int kVolumeRole = Qt::UserRole;

QLabel* MakeValue(const char* objectName, QWidget* parent) {
  auto* value = new QLabel(parent);
  value->setObjectName(QString::fromLatin1(objectName));
  value->setTextInteractionFlags(Qt::TextSelectableByMouse);
  return value;
}

}  // namespace

ExhaustiveDisplayPartitionInformation::ExhaustiveDisplayPartitionInformation(WizardHost& host, QWidget* parent)
    : QWidget(parent), host_(host), logSaver_(std::make_unique<LogSaver>(host)) {
  connect(logSaver_.get(), &LogSaver::finished, this, [this] { setEnabled(true); });
  FillPageBackground(this);

  toolbar_ = new PageToolbar(this);
  toolbar_->setObjectName(QStringLiteral("pageToolbar"));
  connect(toolbar_, &PageToolbar::clicked, this, &ExhaustiveDisplayPartitionInformation::ToolbarClicked);

  auto* step = new QLabel(this);
  step->setObjectName(QStringLiteral("stepPicture"));
  step->setPixmap(LoadPicture(picture::kStep2));

  tree_ = new QTreeWidget(this);
  tree_->setObjectName(QStringLiteral("volumeTree"));
  tree_->setHeaderHidden(true);
  tree_->setColumnCount(1);
  tree_->setMinimumWidth(280);
  connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) { NodeSelected(current); });

  auto* note = new QLabel(DisplayQString(kVolumeListNote), this);
  note->setObjectName(QStringLiteral("noteLine"));
  note->setWordWrap(true);

  auto* content = new QHBoxLayout;
  content->setContentsMargins(12, 0, 12, 0);
  content->addWidget(tree_, 1);
  content->addWidget(MakeInformationPanel(), 1);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 12);
  AddPageTop(*layout, this, toolbar_, step);
  layout->addLayout(content, 1);
  layout->addWidget(note);
  layout->addWidget(MakeButtonRow());
  note->setContentsMargins(12, 0, 12, 0);
}

ExhaustiveDisplayPartitionInformation::~ExhaustiveDisplayPartitionInformation() = default;

QWidget* ExhaustiveDisplayPartitionInformation::MakeInformationPanel() {
  auto* panel = new QWidget(this);
  typeValue_ = MakeValue("typeValue", panel);
  sizeValue_ = MakeValue("sizeValue", panel);
  startValue_ = MakeValue("startValue", panel);
  endValue_ = MakeValue("endValue", panel);
  auto* grid = new QGridLayout(panel);
  int row = 0;
  for (const auto& [caption, value] :
       {std::pair{kLabelPartitionType, typeValue_}, std::pair{kLabelPartitionSize, sizeValue_},
        std::pair{kLabelStartSector, startValue_}, std::pair{kLabelEndSector, endValue_}}) {
    grid->addWidget(new QLabel(DisplayQString(caption), panel), row, 0);
    grid->addWidget(value, row, 1);
    ++row;
  }
  grid->setRowStretch(row, 1);
  grid->setColumnStretch(1, 1);
  return panel;
}

QWidget* ExhaustiveDisplayPartitionInformation::MakeButtonRow() {
  auto* row = new QWidget(this);
  back_ = MakePageButton(picture::kBack, kBackCaption, "backButton", row);
  next_ = MakePageButton(picture::kNext, kNextCaption, "nextButton", row);
  connect(back_, &CHoverButton::clicked, this, &ExhaustiveDisplayPartitionInformation::Back);
  connect(next_, &CHoverButton::clicked, this, &ExhaustiveDisplayPartitionInformation::Next);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(12, 0, 12, 0);
  layout->addStretch(1);
  layout->addWidget(back_);
  layout->addWidget(next_);
  return row;
}

void ExhaustiveDisplayPartitionInformation::Open() {
  currentVolume_ = 1;
  FillTree();
  emptyNoticePending_ = host_.session().volumeCandidates.empty();
  // The host shows the page before opening it; the notice waits for the
  // page to be on screen either way.
  if (isVisible()) QTimer::singleShot(0, this, &ExhaustiveDisplayPartitionInformation::ShowEmptyNotice);
}

void ExhaustiveDisplayPartitionInformation::Returned() { FillTree(); }

void ExhaustiveDisplayPartitionInformation::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (emptyNoticePending_) QTimer::singleShot(0, this, &ExhaustiveDisplayPartitionInformation::ShowEmptyNotice);
}

void ExhaustiveDisplayPartitionInformation::ShowEmptyNotice() {
  if (!emptyNoticePending_) return;
  emptyNoticePending_ = false;
  host_.ShowMessage(kMsgNoPartitionRecognised);
}

void ExhaustiveDisplayPartitionInformation::FillTree() {
  Session& session = host_.session();
  session.wizard.activePage = ActivePage::PartitionResults;
  ApplyToolbar();
  tree_->clear();
  auto* root = new QTreeWidgetItem(tree_, QStringList(ToQString(kVolumeTreeRoot)));
  root->setData(0, kVolumeRole, QVariant::fromValue<qlonglong>(0));
  const VolumeCandidateList& volumes = session.volumeCandidates;
  for (std::size_t i = 0; i < volumes.size(); ++i) {
    const auto number = static_cast<qlonglong>(i + 1);
    auto* node = new QTreeWidgetItem(root, QStringList(ToQString(VolumeNodeText(i + 1, volumes[i]))));
    node->setData(0, kVolumeRole, QVariant::fromValue(number));
  }
  root->setExpanded(true);
  SelectVolume(currentVolume_);
}

// Selects the node of volume `number`, or the root when the list has no
// such volume.
void ExhaustiveDisplayPartitionInformation::SelectVolume(std::int64_t number) {
  QTreeWidgetItem* root = tree_->topLevelItem(0);
  QTreeWidgetItem* node = root;
  if (IsListedVolume(number, static_cast<std::size_t>(root->childCount()))) {
    node = root->child(static_cast<int>(number - 1));
  }
  tree_->setCurrentItem(node);
  NodeSelected(node);
}

std::int64_t ExhaustiveDisplayPartitionInformation::selectedVolume() const {
  const QTreeWidgetItem* node = tree_->currentItem();
  if (node == nullptr) return 0;
  const std::int64_t number = node->data(0, kVolumeRole).toLongLong();
  return IsListedVolume(number, host_.session().volumeCandidates.size()) ? number : 0;
}

void ExhaustiveDisplayPartitionInformation::NodeSelected(QTreeWidgetItem* node) {
  const std::int64_t number = node == nullptr ? 0 : selectedVolume();
  next_->setEnabled(number != 0);
  ShowVolume(number);
}

void ExhaustiveDisplayPartitionInformation::ShowVolume(std::int64_t number) {
  for (QLabel* value : {typeValue_, sizeValue_, startValue_, endValue_}) value->clear();
  if (number == 0) return;
  const Session& session = host_.session();
  const VolumeCandidate shown =
      ShownVolumeExtent(session.volumeCandidates[static_cast<std::size_t>(number - 1)], session.range);
  typeValue_->setText(ToQString(FileSystemName(shown.fileSystem)));
  sizeValue_->setText(ToQString(VolumeSizeText(shown)));
  startValue_->setText(QString::number(shown.firstSector));
  endValue_->setText(QString::number(shown.endSector));
}

void ExhaustiveDisplayPartitionInformation::ApplyToolbar() {
  const WizardState& wizard = host_.session().wizard;
  for (const ToolbarButton button : kAllToolbarButtons) {
    toolbar_->SetButtonEnabled(button,
                               ToolbarButtonEnabled(button, WizardPage::PartitionResults, wizard, BuiltCapabilities()));
  }
}

void ExhaustiveDisplayPartitionInformation::ToolbarClicked(int button) {
  if (static_cast<ToolbarButton>(button) == ToolbarButton::Help) host_.ShowHelp();
  if (static_cast<ToolbarButton>(button) == ToolbarButton::SaveLog) SaveLog();
}

void ExhaustiveDisplayPartitionInformation::SaveLog() {
  if (logSaver_->saving()) return;
  setEnabled(false);
  logSaver_->Save(true);
  if (!logSaver_->saving()) setEnabled(true);
}

// The scan's lists must stay as they are while the log is written.
void ExhaustiveDisplayPartitionInformation::Next() {
  if (logSaver_->saving()) return;
  const std::int64_t number = selectedVolume();
  if (number == 0) return;
  currentVolume_ = number;
  host_.OpenVolumeCopy(number);
}

void ExhaustiveDisplayPartitionInformation::Back() {
  logSaver_->Wait();
  host_.session().LeaveVolumeList();
  tree_->clear();
  host_.CloseVolumeList();
}

}  // namespace korv
