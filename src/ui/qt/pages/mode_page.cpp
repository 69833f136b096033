#include "ui/qt/pages/mode_page.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "engine/analysis_driver.h"
#include "ui/logic/wizard_flow.h"
#include "ui/qt/controls/hover_button.h"
#include "ui/qt/controls/embedded_art.h"
#include "ui/qt/controls/label.h"
#include "ui/qt/controls/page_banner.h"
#include "ui/qt/controls/page_toolbar.h"
#include "ui/qt/pictures.h"

namespace korv {

namespace {

std::string_view ModeCaption(RecoveryMode mode) {
  switch (mode) {
    case RecoveryMode::DeletedData:
      return kModeDeleted;
    case RecoveryMode::FormattedData:
      return kModeFormatted;
    case RecoveryMode::PartitionData:
      return kModePartition;
    case RecoveryMode::RawData:
      return kModeRaw;
    case RecoveryMode::CreateDiskImage:
      return kModeImaging;
    case RecoveryMode::None:
      break;
  }
  return {};
}

QFrame* SeparatorLine(QWidget* parent) {
  auto* line = new QFrame(parent);
  line->setFrameShape(QFrame::HLine);
  line->setFrameShadow(QFrame::Sunken);
  return line;
}

}  // namespace

CRecoveryMode::CRecoveryMode(QWidget* parent) : QWidget(parent) {
  FillPageBackground(this);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new PageBanner(this));
  layout->addWidget(SeparatorLine(this));
  layout->addWidget(SeparatorLine(this));

  toolbar_ = new PageToolbar(this);
  const WizardState noMode;
  for (ToolbarButton button : kAllToolbarButtons) {
    toolbar_->SetButtonEnabled(button, ToolbarButtonEnabled(button, WizardPage::Mode, noMode, BuiltCapabilities()));
  }
  connect(toolbar_, &PageToolbar::clicked, this, [this](int button) {
    if (static_cast<ToolbarButton>(button) == ToolbarButton::Help) emit helpRequested();
  });
  layout->addWidget(toolbar_, 0, Qt::AlignLeft);

  auto* heading = new CLabel(this);
  heading->setObjectName(QStringLiteral("modeHeading"));
  heading->SetFontScale(kHeadingFontScale).SetBold(true).SetTextColor(QColor(art::kHeadingInk));
  heading->SetTransparent(true);
  heading->setText(ToQString(kModePageHeading));
  layout->addSpacing(24);
  layout->addWidget(heading, 0, Qt::AlignHCenter);
  layout->addSpacing(24);

  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(MakeModeButton(RecoveryMode::DeletedData, "deletedButton"));
  row->addWidget(MakeModeButton(RecoveryMode::FormattedData, "formattedButton"));
  row->addWidget(MakeModeButton(RecoveryMode::PartitionData, "partitionButton"));
  row->addWidget(MakeModeButton(RecoveryMode::RawData, "rawButton"));
  row->addWidget(MakeModeButton(RecoveryMode::CreateDiskImage, "imageButton"));
  row->addStretch();
  layout->addLayout(row);
  layout->addStretch();

  // Created with its picture, but imaging is not offered from this page.
  modeButton(RecoveryMode::CreateDiskImage)->hide();
}

QWidget* CRecoveryMode::MakeModeButton(RecoveryMode mode, const char* objectName) {
  auto* button = new CHoverButton(this);
  button->setObjectName(QString::fromLatin1(objectName));
  button->LoadPicture(ModeButtonPicture(mode), CHoverButton::Frames::Three);
  button->SetCaption(ToQString(ModeCaption(mode)));
  button->setToolTip(ToQString(ModeCaption(mode)));
  button->setEnabled(ModeButtonEnabled(mode, BuiltCapabilities()));
  connect(button, &QAbstractButton::clicked, this, [this, mode] { emit modeChosen(static_cast<int>(mode)); });
  buttons_[mode] = button;
  return button;
}

CHoverButton* CRecoveryMode::modeButton(RecoveryMode mode) const {
  const auto found = buttons_.find(mode);
  return found == buttons_.end() ? nullptr : found->second;
}

}  // namespace korv
