// The wizard's rules that need no window: the program's title and the
// titles of its pages, what each mode button sets, which menu items and
// toolbar buttons a page offers, the pictures pages load, the main window's
// size and the texts of the progress bar. The desktop front end shows them;
// tests check them without a display.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/recovery_mode.h"
#include "common/wizard_state.h"

namespace korv {

inline constexpr std::string_view kProgramTitle = "Korvane Vireon";
inline constexpr std::string_view kVersionText = "Version 3.2";
inline constexpr std::string_view kQuestionExit = "Do you want to exit from Korvane.";
inline constexpr std::string_view kModePageHeading = "Please Select Recovery Option";

// The splash: shown for 1.5 s of its 2 s display time, cut out where its
// picture has the transparent colour.
inline constexpr int kSplashDisplayMs = 2000;
inline constexpr int kSplashShownMs = 1500;
inline constexpr std::uint8_t kSplashTransparentRed = 255;
inline constexpr std::uint8_t kSplashTransparentGreen = 0;
inline constexpr std::uint8_t kSplashTransparentBlue = 240;

// The pages of the wizard, as the main window stacks them.
enum class WizardPage { Mode, Source, Analysis, Results, PartitionResults, ExtensionChoice, Imaging };

// " - Deleted Data Recovery" and so on; empty for no mode.
std::string_view ModeTitleSuffix(RecoveryMode mode);
// The title of a page: the program's title, followed by the mode's suffix on
// every page after the mode page. Always composed afresh, so a suffix never
// accumulates.
std::string WindowTitle(WizardPage page, RecoveryMode mode);

// What a mode button writes into the wizard state. The buttons of the range
// modes leave `formattedMode` as it was.
void ChooseMode(WizardState& wizard, RecoveryMode mode);

// Whether the mode page offers the file selection again when the source page
// of `mode` returns: only after Deleted Data Recovery.
constexpr bool ReofferFileSelectionAfter(RecoveryMode mode) { return mode == RecoveryMode::DeletedData; }

// The main menu.
enum class MenuItem {
  FormattedDataRecovery,
  RecoverSelected,
  RecoveryFilter,
  SaveLog,
  LoadLog,
  SearchData,
  RenameData,
  CreateDiskImage,
  Exit,
  LargeIcons,
  Details,
  SmallIcons,
  ViewHelp,
  About,
};
inline constexpr std::array kAllMenuItems = {
    MenuItem::FormattedDataRecovery,
    MenuItem::RecoverSelected,
    MenuItem::RecoveryFilter,
    MenuItem::SaveLog,
    MenuItem::LoadLog,
    MenuItem::SearchData,
    MenuItem::RenameData,
    MenuItem::CreateDiskImage,
    MenuItem::Exit,
    MenuItem::LargeIcons,
    MenuItem::Details,
    MenuItem::SmallIcons,
    MenuItem::ViewHelp,
    MenuItem::About,
};

inline constexpr std::string_view kMenuData = "&Data";
inline constexpr std::string_view kMenuView = "&View";
inline constexpr std::string_view kMenuHelp = "&Help";
std::string_view MenuItemText(MenuItem item);

// Capabilities that come with later work. A command whose capability has not
// landed is shown greyed on every page, so nothing pretends to work.
struct Capabilities {
  bool recoveryLog = false;    // "&Save Log", "&Load Log", "Load log"
  bool search = false;         // "&Search Data"
  bool resultsView = false;    // the results page and its commands
  bool partitionScan = false;  // Partition Data Recovery
  bool rawRecovery = false;    // Raw Data Recovery
};
// What this build offers.
Capabilities BuiltCapabilities();

// Whether a menu item is available on a page. "E&xit" and the Help items are
// available on every page; the pages the menu table does not list (analysis
// and the like) offer nothing else.
bool MenuItemEnabled(MenuItem item, WizardPage page, const WizardState& wizard, const Capabilities& built);

// The toolbar row of the mode, source and results pages.
enum class ToolbarButton { Help, LoadLog, SaveLog, Settings, Search };
inline constexpr std::array kAllToolbarButtons = {ToolbarButton::Help, ToolbarButton::LoadLog, ToolbarButton::SaveLog,
                                                  ToolbarButton::Settings, ToolbarButton::Search};
std::string_view ToolbarCaption(ToolbarButton button);
std::string_view ToolbarPicture(ToolbarButton button);
bool ToolbarButtonEnabled(ToolbarButton button, WizardPage page, const WizardState& wizard, const Capabilities& built);

// Whether a mode button of the mode page can be chosen in this build.
bool ModeButtonEnabled(RecoveryMode mode, const Capabilities& built);
// The picture of a mode button.
std::string_view ModeButtonPicture(RecoveryMode mode);

// Picture file names, as the pages name them (with their leading "\").
namespace picture {
inline constexpr std::string_view kDeletedDataRecovery = "\\deleted-data-recovery.bmp";
inline constexpr std::string_view kFormattedDataRecovery = "\\formatted-data-recovery.bmp";
inline constexpr std::string_view kPartitionDataRecovery = "\\partition-data-recovery.bmp";
inline constexpr std::string_view kRawDataRecovery = "\\raw-data-recovery.bmp";
inline constexpr std::string_view kCreateDiskImage = "\\create-disk-image.bmp";
inline constexpr std::string_view kHelpToolbar = "\\Help-tbar.bmp";
inline constexpr std::string_view kLoadLogToolbar = "\\Load-Recovery-tbar.bmp";
inline constexpr std::string_view kSaveLogToolbar = "\\Save-Recovery-tbar.bmp";
inline constexpr std::string_view kSettingsToolbar = "\\recover-tbar.bmp";
inline constexpr std::string_view kSearchToolbar = "\\Search-tbar.bmp";
inline constexpr std::string_view kStep1 = "\\Step-1.bmp";
inline constexpr std::string_view kStep2 = "\\Step-2.bmp";
inline constexpr std::string_view kStep3 = "\\Step-3.bmp";
inline constexpr std::string_view kStep4 = "\\Step-4.bmp";
inline constexpr std::string_view kNext = "\\Next-btn.bmp";
inline constexpr std::string_view kBack = "\\Back-btn.bmp";
inline constexpr std::string_view kStop = "\\Stop-btn.bmp";
inline constexpr std::string_view kSave = "\\Save.bmp";
inline constexpr std::string_view kPreview = "\\preview.bmp";
inline constexpr std::string_view kNoPreview = "\\NoPreview.bmp";
inline constexpr std::string_view kSearchAdvanced = "\\SearchAdv.bmp";
inline constexpr std::string_view kInformation = "\\Information.bmp";
inline constexpr std::string_view kQuestion = "\\Question.bmp";
inline constexpr std::string_view kOk = "\\ok.bmp";
inline constexpr std::string_view kYes = "\\Yes.bmp";
inline constexpr std::string_view kNo = "\\no.bmp";
inline constexpr std::string_view kRetry = "\\retry.bmp";
inline constexpr std::string_view kRetryAll = "\\retryall.bmp";
inline constexpr std::string_view kSkip = "\\skip.bmp";
inline constexpr std::string_view kSkipAll = "\\skipall.bmp";
}  // namespace picture

// A picture name joined to the picture folder: the leading "\" (or any "\")
// becomes "/".
std::string PicturePath(std::string_view folder, std::string_view pictureName);

// The picture folder: `KORVANE_PICTURES` when set and not empty, else
// <folder of the program>/../share/korvane/vireon.
std::string PictureFolder(const char* environmentValue, std::string_view programFolder);

struct WindowRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};
// The main window's place on a desktop: (width - 100) x (height - 100) on a
// desktop whose right edge is below 1025 pixels, else 1080 x 668; at the
// desktop's left + 100, top + 50.
WindowRect MainWindowRect(const WindowRect& desktop);

// The progress bar's text: "%3.0f %%" of the position.
std::string ProgressPercentText(double position);

}  // namespace korv
