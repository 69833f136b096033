#include "ui/logic/wizard_flow.h"

#include <gtest/gtest.h>

namespace korv {
namespace {

TEST(WizardFlowTest, TitlesCarryTheModeSuffixAfterTheModePageOnly) {
  EXPECT_EQ(WindowTitle(WizardPage::Mode, RecoveryMode::DeletedData), "Korvane Vireon");
  EXPECT_EQ(WindowTitle(WizardPage::Source, RecoveryMode::DeletedData), "Korvane Vireon - Deleted Data Recovery");
  EXPECT_EQ(WindowTitle(WizardPage::Results, RecoveryMode::FormattedData), "Korvane Vireon - Formatted Data Recovery");
  EXPECT_EQ(WindowTitle(WizardPage::Analysis, RecoveryMode::CreateDiskImage), "Korvane Vireon - Create Disk Image");
  // Composed afresh each time: switching modes never stacks suffixes.
  EXPECT_EQ(WindowTitle(WizardPage::Source, RecoveryMode::RawData), "Korvane Vireon - Raw Data Recovery");
}

TEST(WizardFlowTest, ModeButtonsSetTheWizardStateAndRangeModesKeepFormatted) {
  WizardState wizard;
  ChooseMode(wizard, RecoveryMode::FormattedData);
  EXPECT_TRUE(wizard.formattedMode);
  EXPECT_FALSE(wizard.rangeMode);
  ChooseMode(wizard, RecoveryMode::PartitionData);
  EXPECT_EQ(wizard.mode, RecoveryMode::PartitionData);
  EXPECT_TRUE(wizard.rangeMode);
  EXPECT_TRUE(wizard.formattedMode) << "the range modes leave formattedMode as it was";
  EXPECT_FALSE(wizard.imagingMode);
  ChooseMode(wizard, RecoveryMode::CreateDiskImage);
  EXPECT_TRUE(wizard.imagingMode);
  EXPECT_TRUE(wizard.rangeMode);
  ChooseMode(wizard, RecoveryMode::DeletedData);
  EXPECT_FALSE(wizard.formattedMode);
  EXPECT_FALSE(wizard.imagingMode);
  EXPECT_FALSE(wizard.rangeMode);
}

TEST(WizardFlowTest, MenuAvailabilityFollowsThePageTable) {
  WizardState wizard;
  Capabilities everything{true, true, true, true, true};
  for (MenuItem item : kAllMenuItems) {
    const bool always = item == MenuItem::Exit || item == MenuItem::ViewHelp || item == MenuItem::About;
    const bool imaging = item == MenuItem::CreateDiskImage;
    EXPECT_EQ(MenuItemEnabled(item, WizardPage::Mode, wizard, everything), always || imaging) << MenuItemText(item);
    EXPECT_EQ(MenuItemEnabled(item, WizardPage::Source, wizard, everything), always || item == MenuItem::LoadLog)
        << MenuItemText(item);
    EXPECT_EQ(MenuItemEnabled(item, WizardPage::Results, wizard, everything), item != MenuItem::LoadLog && !imaging)
        << MenuItemText(item);
  }
  wizard.rangeRun = true;
  EXPECT_FALSE(MenuItemEnabled(MenuItem::FormattedDataRecovery, WizardPage::Results, wizard, everything));
  wizard = {};
  wizard.formattedMode = true;
  EXPECT_FALSE(MenuItemEnabled(MenuItem::FormattedDataRecovery, WizardPage::Results, wizard, everything));
}

TEST(WizardFlowTest, WorkNotYetBuiltIsNeverOffered) {
  const WizardState wizard;
  const Capabilities now = BuiltCapabilities();
  EXPECT_TRUE(MenuItemEnabled(MenuItem::LoadLog, WizardPage::Source, wizard, now));
  EXPECT_TRUE(ToolbarButtonEnabled(ToolbarButton::LoadLog, WizardPage::Source, wizard, now));
  EXPECT_TRUE(MenuItemEnabled(MenuItem::SaveLog, WizardPage::PartitionResults, wizard, now));
  EXPECT_TRUE(MenuItemEnabled(MenuItem::SearchData, WizardPage::Results, wizard, now));
  EXPECT_TRUE(ToolbarButtonEnabled(ToolbarButton::Search, WizardPage::Results, wizard, now));
  EXPECT_TRUE(ModeButtonEnabled(RecoveryMode::PartitionData, now));
  EXPECT_TRUE(ModeButtonEnabled(RecoveryMode::RawData, now));
  EXPECT_TRUE(ModeButtonEnabled(RecoveryMode::DeletedData, now));
  EXPECT_TRUE(ModeButtonEnabled(RecoveryMode::FormattedData, now));
  EXPECT_FALSE(ModeButtonEnabled(RecoveryMode::CreateDiskImage, Capabilities{true, true, true, true, true}))
      << "the imaging button stays hidden on the mode page";
}

TEST(WizardFlowTest, ToolbarOnTheSourcePageOffersLoadLogOutsideRawAndImaging) {
  const Capabilities everything{true, true, true, true, true};
  WizardState wizard;
  for (RecoveryMode mode : {RecoveryMode::DeletedData, RecoveryMode::FormattedData, RecoveryMode::PartitionData}) {
    ChooseMode(wizard, mode);
    EXPECT_TRUE(ToolbarButtonEnabled(ToolbarButton::LoadLog, WizardPage::Source, wizard, everything));
  }
  for (RecoveryMode mode : {RecoveryMode::RawData, RecoveryMode::CreateDiskImage}) {
    ChooseMode(wizard, mode);
    EXPECT_FALSE(ToolbarButtonEnabled(ToolbarButton::LoadLog, WizardPage::Source, wizard, everything));
  }
  for (ToolbarButton button : {ToolbarButton::SaveLog, ToolbarButton::Settings, ToolbarButton::Search}) {
    EXPECT_FALSE(ToolbarButtonEnabled(button, WizardPage::Source, wizard, everything));
    EXPECT_FALSE(ToolbarButtonEnabled(button, WizardPage::Mode, wizard, everything));
  }
  EXPECT_TRUE(ToolbarButtonEnabled(ToolbarButton::Help, WizardPage::Mode, wizard, BuiltCapabilities()));
}

// The volume list offers Save Log alone (once the recovery log is built),
// besides what every page offers.
TEST(WizardFlowTest, VolumeListOffersOnlySaveLogAndHelp) {
  const WizardState wizard;
  for (const bool log : {false, true}) {
    const Capabilities built{log, true, true, true, true};
    for (MenuItem item : kAllMenuItems) {
      const bool always = item == MenuItem::Exit || item == MenuItem::ViewHelp || item == MenuItem::About;
      EXPECT_EQ(MenuItemEnabled(item, WizardPage::PartitionResults, wizard, built),
                always || (log && item == MenuItem::SaveLog))
          << MenuItemText(item);
    }
    for (ToolbarButton button : kAllToolbarButtons) {
      EXPECT_EQ(ToolbarButtonEnabled(button, WizardPage::PartitionResults, wizard, built),
                button == ToolbarButton::Help || (log && button == ToolbarButton::SaveLog))
          << ToolbarCaption(button);
    }
  }
}

TEST(WizardFlowTest, PicturesJoinTheFolderWithSlashes) {
  EXPECT_EQ(PicturePath("/usr/share/korvane/vireon", "\\Next-btn.bmp"), "/usr/share/korvane/vireon/Next-btn.bmp");
  EXPECT_EQ(PicturePath("/pictures/", "\\Step-1.bmp"), "/pictures/Step-1.bmp");
  EXPECT_EQ(PictureFolder("/from/env", "/opt/bin"), "/from/env");
  EXPECT_EQ(PictureFolder("", "/opt/bin"), "/opt/bin/../share/korvane/vireon");
  EXPECT_EQ(PictureFolder(nullptr, "/opt/bin"), "/opt/bin/../share/korvane/vireon");
}

TEST(WizardFlowTest, MainWindowFitsSmallDesktopsAndIsFixedOnLargeOnes) {
  const WindowRect small = MainWindowRect({0, 0, 1024, 768});
  EXPECT_EQ(small.width, 924);
  EXPECT_EQ(small.height, 668);
  EXPECT_EQ(small.x, 100);
  EXPECT_EQ(small.y, 50);
  const WindowRect large = MainWindowRect({0, 0, 1280, 1024});
  EXPECT_EQ(large.width, 1080);
  EXPECT_EQ(large.height, 668);
}

TEST(WizardFlowTest, ProgressTextIsRightAlignedInThreeCharacters) {
  EXPECT_EQ(ProgressPercentText(7), "  7 %");
  EXPECT_EQ(ProgressPercentText(100), "100 %");
  EXPECT_EQ(ProgressPercentText(0), "  0 %");
}

}  // namespace
}  // namespace korv
