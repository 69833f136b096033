#include "ui/logic/wizard_flow.h"

#include <cstdio>

namespace korv {

std::string_view ModeTitleSuffix(RecoveryMode mode) {
  switch (mode) {
    case RecoveryMode::DeletedData:
      return " - Deleted Data Recovery";
    case RecoveryMode::FormattedData:
      return " - Formatted Data Recovery";
    case RecoveryMode::PartitionData:
      return " - Partition Data Recovery";
    case RecoveryMode::RawData:
      return " - Raw Data Recovery";
    case RecoveryMode::CreateDiskImage:
      return " - Create Disk Image";
    case RecoveryMode::None:
      break;
  }
  return {};
}

std::string WindowTitle(WizardPage page, RecoveryMode mode) {
  std::string title(kProgramTitle);
  if (page != WizardPage::Mode) title += ModeTitleSuffix(mode);
  return title;
}

void ChooseMode(WizardState& wizard, RecoveryMode mode) {
  wizard.mode = mode;
  wizard.rangeMode = IsRangeMode(mode);
  wizard.imagingMode = mode == RecoveryMode::CreateDiskImage;
  if (mode == RecoveryMode::DeletedData) wizard.formattedMode = false;
  if (mode == RecoveryMode::FormattedData) wizard.formattedMode = true;
}

std::string_view MenuItemText(MenuItem item) {
  switch (item) {
    case MenuItem::FormattedDataRecovery:
      return "&Formatted Data Recovery";
    case MenuItem::RecoverSelected:
      return "&Recover Selected";
    case MenuItem::RecoveryFilter:
      return "Recovery F&ilter";
    case MenuItem::SaveLog:
      return "&Save Log";
    case MenuItem::LoadLog:
      return "&Load Log";
    case MenuItem::SearchData:
      return "&Search Data";
    case MenuItem::RenameData:
      return "R&ename Data";
    case MenuItem::Exit:
      return "E&xit";
    case MenuItem::LargeIcons:
      return "Large I&cons";
    case MenuItem::Details:
      return "&Details";
    case MenuItem::SmallIcons:
      return "&Small Icons";
    case MenuItem::CreateDiskImage:
      return "Create Disk &Image...";
    case MenuItem::ViewHelp:
      return "&View Help";
    case MenuItem::About:
      return "&About Korvane";
  }
  return {};
}

Capabilities BuiltCapabilities() {
  Capabilities built;
  built.resultsView = true;
  built.recoveryLog = true;
  built.rawRecovery = true;
  built.partitionScan = true;
  built.search = true;
  return built;
}

namespace {

bool AlwaysAvailable(MenuItem item) {
  return item == MenuItem::Exit || item == MenuItem::ViewHelp || item == MenuItem::About;
}

// Whether the work behind a menu item exists in this build.
bool MenuItemBuilt(MenuItem item, const Capabilities& built) {
  switch (item) {
    case MenuItem::SaveLog:
    case MenuItem::LoadLog:
      return built.recoveryLog;
    case MenuItem::SearchData:
      return built.search && built.resultsView;
    case MenuItem::FormattedDataRecovery:
    case MenuItem::RecoverSelected:
    case MenuItem::RecoveryFilter:
    case MenuItem::RenameData:
    case MenuItem::LargeIcons:
    case MenuItem::Details:
    case MenuItem::SmallIcons:
      return built.resultsView;
    default:
      return true;
  }
}

bool ResultsPageOffers(MenuItem item, const WizardState& wizard) {
  if (item == MenuItem::LoadLog) return false;
  if (item == MenuItem::FormattedDataRecovery) return !wizard.formattedMode && !wizard.rangeRun;
  return true;
}

}  // namespace

bool MenuItemEnabled(MenuItem item, WizardPage page, const WizardState& wizard, const Capabilities& built) {
  if (AlwaysAvailable(item)) return true;
  if (!MenuItemBuilt(item, built)) return false;
  // The mode page keeps the imaging button hidden; the menu offers the mode
  // where a mode is chosen.
  if (item == MenuItem::CreateDiskImage) return page == WizardPage::Mode;
  switch (page) {
    case WizardPage::Source:
      return item == MenuItem::LoadLog;
    case WizardPage::Results:
      return ResultsPageOffers(item, wizard);
    case WizardPage::PartitionResults:
      return item == MenuItem::SaveLog;
    default:
      return false;
  }
}

std::string_view ToolbarCaption(ToolbarButton button) {
  switch (button) {
    case ToolbarButton::Help:
      return "Help";
    case ToolbarButton::LoadLog:
      return "Load log";
    case ToolbarButton::SaveLog:
      return "Save Log";
    case ToolbarButton::Settings:
      return "Settings";
    case ToolbarButton::Search:
      return "Search";
  }
  return {};
}

std::string_view ToolbarPicture(ToolbarButton button) {
  switch (button) {
    case ToolbarButton::Help:
      return picture::kHelpToolbar;
    case ToolbarButton::LoadLog:
      return picture::kLoadLogToolbar;
    case ToolbarButton::SaveLog:
      return picture::kSaveLogToolbar;
    case ToolbarButton::Settings:
      return picture::kSettingsToolbar;
    case ToolbarButton::Search:
      return picture::kSearchToolbar;
  }
  return {};
}

bool ToolbarButtonEnabled(ToolbarButton button, WizardPage page, const WizardState& wizard, const Capabilities& built) {
  if (button == ToolbarButton::Help) return true;
  switch (page) {
    case WizardPage::Source:
      return button == ToolbarButton::LoadLog && built.recoveryLog && wizard.mode != RecoveryMode::RawData &&
             wizard.mode != RecoveryMode::CreateDiskImage;
    case WizardPage::Results:
      if (button == ToolbarButton::SaveLog) return built.recoveryLog && built.resultsView;
      if (button == ToolbarButton::Settings) return built.resultsView;
      if (button == ToolbarButton::Search) return built.search && built.resultsView;
      return false;
    case WizardPage::PartitionResults:
      return button == ToolbarButton::SaveLog && built.recoveryLog;
    default:
      return false;
  }
}

bool ModeButtonEnabled(RecoveryMode mode, const Capabilities& built) {
  switch (mode) {
    case RecoveryMode::DeletedData:
    case RecoveryMode::FormattedData:
      return true;
    case RecoveryMode::PartitionData:
      return built.partitionScan;
    case RecoveryMode::RawData:
      return built.rawRecovery;
    default:
      return false;
  }
}

std::string_view ModeButtonPicture(RecoveryMode mode) {
  switch (mode) {
    case RecoveryMode::DeletedData:
      return picture::kDeletedDataRecovery;
    case RecoveryMode::FormattedData:
      return picture::kFormattedDataRecovery;
    case RecoveryMode::PartitionData:
      return picture::kPartitionDataRecovery;
    case RecoveryMode::RawData:
      return picture::kRawDataRecovery;
    case RecoveryMode::CreateDiskImage:
      return picture::kCreateDiskImage;
    case RecoveryMode::None:
      break;
  }
  return {};
}

std::string PicturePath(std::string_view folder, std::string_view pictureName) {
  std::string name(pictureName);
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  std::string path(folder);
  if (!path.empty() && path.back() == '/' && !name.empty() && name.front() == '/') path.pop_back();
  if (!path.empty() && path.back() != '/' && !name.empty() && name.front() != '/') path += '/';
  return path + name;
}

std::string PictureFolder(const char* environmentValue, std::string_view programFolder) {
  if (environmentValue != nullptr && *environmentValue != '\0') return environmentValue;
  return std::string(programFolder) + "/../share/korvane/vireon";
}

WindowRect MainWindowRect(const WindowRect& desktop) {
  const int right = desktop.x + desktop.width;
  WindowRect window{desktop.x + 100, desktop.y + 50, 1080, 668};
  if (right < 1025) {
    window.width = desktop.width - 100;
    window.height = desktop.height - 100;
  }
  return window;
}

std::string ProgressPercentText(double position) {
  char text[32];
  std::snprintf(text, sizeof text, "%3.0f %%", position);
  return text;
}

}  // namespace korv
