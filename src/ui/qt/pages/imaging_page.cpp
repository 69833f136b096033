#include "ui/qt/pages/imaging_page.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/session.h"
#include "common/size_text.h"
#include "engine/analysis_driver.h"
#include "engine/analysis_progress.h"
#include "imaging/run_imaging.h"
#include "platform/file.h"
#include "storage/disk_image.h"
#include "storage/inventory.h"
#include "ui/logic/wizard_flow.h"
#include "ui/qt/controls/hover_button.h"
#include "ui/qt/controls/page_banner.h"
#include "ui/qt/pages/analysis_page.h"
#include "ui/qt/pictures.h"
#include "ui/qt/save/qt_save_questions.h"
#include "ui/qt/recent_folders.h"
#include "ui/qt/wizard_host.h"

namespace korv {

namespace {

constexpr int kDiskItem = 0;
constexpr int kImageItem = 1;
inline constexpr std::string_view kShaLine = "SHA-256: ";

// The device being imaged; empty for a disk file, which no device is.
std::string SourceDevicePath(const CurrentSource& source) {
  if (source.isVirtual() || source.isImage()) return {};
  return source.devices.current();
}

QLabel* PlainLabel(std::string_view text, const char* name, QWidget* parent) {
  auto* label = new QLabel(ToQString(text), parent);
  if (name != nullptr) label->setObjectName(QString::fromLatin1(name));
  label->setTextFormat(Qt::PlainText);
  label->setWordWrap(true);
  return label;
}

// The copy as the analysis page runs it: its fixed lines, the run, and the
// end message with the image's hash.
AnalysisOutcome CopyRange(Session& session, AnalysisProgress& progress, const ImagingTarget& target,
                          SaveQuestions& questions) {
  ProgressSink& sink = progress.sink();
  sink.SetText(ProgressField::Mode, kModeImaging);
  sink.SetText(ProgressField::Device, DeviceName(session.source));
  sink.SetText(ProgressField::Capacity, CapacityText(session.range, session.sectors.sectorBytes()));
  FileImageOutput output;
  const ImagingJob job{session.sectors, session.worker, sink, questions, session.saveState.errors, target, output};
  const ImagingSummary summary = RunImaging(job);
  std::string message = summary.endMessage;
  if (!summary.sha256.empty()) message += "\n" + std::string(kShaLine) + summary.sha256;
  session.prompts.ShowMessage(message);
  return AnalysisOutcome::WorkerDone;
}

}  // namespace

CreateDiskImage::CreateDiskImage(WizardHost& host, QWidget* parent)
    : QWidget(parent), host_(host), questions_(std::make_unique<QtSaveQuestions>(host.dialogParent())) {
  chooseFolder = [this] {
    const QString typed = pathField_->text();
    return QFileDialog::getExistingDirectory(this, QString(), typed.isEmpty() ? LastFolder(FolderUse::ImagingTarget) : typed);
  };
  freeSpace = [](const std::filesystem::path& path) { return FreeSpace(path); };
  BuildControls();
}

CreateDiskImage::~CreateDiskImage() = default;

void CreateDiskImage::BuildControls() {
  FillPageBackground(this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new PageBanner(this));

  auto* grid = new QGridLayout();
  typeCombo_ = new QComboBox(this);
  typeCombo_->setObjectName(QStringLiteral("imageTypeCombo"));
  typeCombo_->addItems({ToQString(kImageTypeDisk), ToQString(kImageTypeImage)});
  grid->addWidget(PlainLabel(kLabelImageType, nullptr, this), 0, 0);
  grid->addWidget(typeCombo_, 0, 1, 1, 2);

  targetLabel_ = PlainLabel(kLabelTargetImage, "targetLabel", this);
  diskCombo_ = new QComboBox(this);
  diskCombo_->setObjectName(QStringLiteral("targetDiskCombo"));
  pathField_ = new QLineEdit(this);
  pathField_->setObjectName(QStringLiteral("pathField"));
  browseButton_ = new QPushButton(ToQString(kCaptionBrowse), this);
  browseButton_->setObjectName(QStringLiteral("browseButton"));
  grid->addWidget(targetLabel_, 1, 0);
  grid->addWidget(diskCombo_, 1, 1, 1, 2);
  grid->addWidget(pathField_, 2, 1);
  grid->addWidget(browseButton_, 2, 2);

  modelValue_ = PlainLabel({}, "modelValue", this);
  sizeValue_ = PlainLabel({}, "diskSizeValue", this);
  grid->addWidget(PlainLabel(kLabelModelNumber, nullptr, this), 3, 0);
  grid->addWidget(modelValue_, 3, 1, 1, 2);
  grid->addWidget(PlainLabel(kLabelTargetDiskSize, nullptr, this), 4, 0);
  grid->addWidget(sizeValue_, 4, 1, 1, 2);

  multifile_ = new QCheckBox(ToQString(kLabelMultifile), this);
  multifile_->setObjectName(QStringLiteral("multifileCheck"));
  grid->addWidget(multifile_, 5, 1, 1, 2);
  grid->setColumnStretch(1, 1);
  layout->addLayout(grid);

  layout->addWidget(PlainLabel(kHelpImageType, nullptr, this));
  layout->addWidget(PlainLabel(kHelpMultifile, nullptr, this));
  layout->addStretch(1);

  auto* buttons = new QHBoxLayout();
  backButton_ = MakePageButton(picture::kBack, kCaptionBack, "backButton", this);
  startButton_ = MakePageButton(picture::kNext, kCaptionStart, "startButton", this);
  buttons->addStretch();
  buttons->addWidget(backButton_);
  buttons->addWidget(startButton_);
  layout->addLayout(buttons);

  connect(typeCombo_, &QComboBox::currentIndexChanged, this, [this] { ShowType(); });
  connect(diskCombo_, &QComboBox::currentIndexChanged, this, [this] { ShowChosenDisk(); });
  connect(browseButton_, &QAbstractButton::clicked, this, &CreateDiskImage::Browse);
  connect(backButton_, &QAbstractButton::clicked, this, [this] { host_.CloseImagingPage(); });
  connect(startButton_, &QAbstractButton::clicked, this, &CreateDiskImage::Start);
}

void CreateDiskImage::Open() {
  FillTargetDisks();
  typeCombo_->setCurrentIndex(kImageItem);
  ShowType();
}

// The machine's disks that answer, except the one being imaged. The open
// disk file is no target: it is not a device.
void CreateDiskImage::FillTargetDisks() {
  Session& session = host_.session();
  session.sourceTree.Fill(session.OpenDiskFacts());
  disks_.clear();
  diskCombo_->clear();
  const std::string sourceDevice = SourceDevicePath(session.source);
  for (int number = 0; number < kDevicePathSlots; ++number) {
    const std::string name = DiskValueName(number);
    const std::string mark = ReadInventoryValue(session.inventory, "", name);
    if (mark.empty() || mark == kInventoryVirtualMark) continue;
    const std::string& path = session.source.devices.paths[static_cast<std::size_t>(number)];
    if (path.empty() || path == sourceDevice) continue;
    disks_.push_back({number, path, name, ReadInventoryValue(session.inventory, kInventoryModel, name),
                      RegisteredDiskBytes(session.inventory, number)});
    diskCombo_->addItem(ToQString(name));
  }
  ShowChosenDisk();
}

void CreateDiskImage::ShowType() {
  const bool toDisk = typeCombo_->currentIndex() == kDiskItem;
  targetLabel_->setText(ToQString(toDisk ? kLabelTargetDisk : kLabelTargetImage));
  diskCombo_->setVisible(toDisk);
  modelValue_->setVisible(toDisk);
  sizeValue_->setVisible(toDisk);
  pathField_->setVisible(!toDisk);
  browseButton_->setVisible(!toDisk);
  multifile_->setVisible(!toDisk);
}

void CreateDiskImage::ShowChosenDisk() {
  const int index = diskCombo_->currentIndex();
  if (index < 0 || static_cast<std::size_t>(index) >= disks_.size()) {
    modelValue_->clear();
    sizeValue_->clear();
    return;
  }
  const TargetDiskChoice& disk = disks_[static_cast<std::size_t>(index)];
  modelValue_->setText(ToQString(disk.model));
  sizeValue_->setText(ToQString(FormatSizeText(disk.sizeBytes)));
}

void CreateDiskImage::Browse() {
  const QString folder = chooseFolder();
  if (folder.isEmpty()) return;
  RememberFolder(FolderUse::ImagingTarget, folder);
  pathField_->setText(ToQString(PathFieldForFolder(folder.toStdString())));
}

bool CreateDiskImage::ChooseImageTarget(std::uint64_t imageBytes) {
  Session& session = host_.session();
  const std::filesystem::path folder = ImageFolderFromField(pathField_->text().toStdString());
  if (const auto refusal = CheckImageTarget(folder, imageBytes, ImageFolderBeingRead(session.source), session.prompts, freeSpace)) {
    if (!refusal->empty()) host_.ShowMessage(*refusal);
    return false;
  }
  // A typed folder is remembered as a browsed one is.
  RememberFolder(FolderUse::ImagingTarget, QString::fromStdString(folder.string()));
  target_ = {};
  target_.imageFolder = folder;
  target_.split = multifile_->isChecked();
  return true;
}

bool CreateDiskImage::ChooseDiskTarget(std::uint64_t imageBytes) {
  Session& session = host_.session();
  const int index = diskCombo_->currentIndex();
  const TargetDiskChoice none;
  const TargetDiskChoice& disk =
      index >= 0 && static_cast<std::size_t>(index) < disks_.size() ? disks_[static_cast<std::size_t>(index)] : none;
  if (const auto refusal = CheckTargetDisk(disk, imageBytes, SourceDevicePath(session.source), session.prompts)) {
    if (!refusal->empty()) host_.ShowMessage(*refusal);
    return false;
  }
  target_ = {};
  target_.toDisk = true;
  target_.targetDisk = disk.slot;
  target_.targetDevicePath = disk.devicePath;
  target_.targetText = disk.valueName + " - " + disk.model;
  return true;
}

void CreateDiskImage::Start() {
  Session& session = host_.session();
  const std::uint64_t imageBytes =
      (session.range.endSector - session.range.firstSector) * std::uint64_t{session.sectors.sectorBytes()};
  const bool chosen = typeCombo_->currentIndex() == kDiskItem ? ChooseDiskTarget(imageBytes) : ChooseImageTarget(imageBytes);
  if (!chosen) return;
  host_.OpenImagingRun([target = target_, questions = questions_.get()](Session& run, AnalysisProgress& progress) {
    return CopyRange(run, progress, target, *questions);
  });
}

}  // namespace korv
