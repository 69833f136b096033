// What a page of the wizard may ask of the window that hosts it. The main
// window stacks the pages: opening the next page pushes it, closing a page
// pops it, and the page that started a chain shows again when it returns.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "engine/analysis_driver.h"

class QWidget;

namespace korv {

class AnalysisProgress;
class Session;

class WizardHost {
 public:
  virtual ~WizardHost() = default;

  virtual Session& session() = 0;
  // The window dialogs are shown over.
  virtual QWidget* dialogParent() = 0;

  // The system's message and question dialogs, on the UI thread.
  virtual void ShowMessage(std::string_view message) = 0;
  virtual bool AskQuestion(std::string_view question) = 0;

  // The exit question; Yes ends the process at once with status 0.
  virtual void AskExit() = 0;
  virtual void ShowHelp() = 0;
  virtual void ShowAbout() = 0;

  // Source page: Back closes it and the mode page shows again.
  virtual void CloseSourcePage() = 0;
  // Source page: Next passed its checks for a partition mode; the analysis
  // page opens over it.
  virtual void OpenAnalysisPage() = 0;
  // Source page: Next passed its checks in Raw Data Recovery; the
  // extension page opens over it.
  virtual void OpenExtensionPage() = 0;
  // Extension page: Back closes it and the source page shows again.
  virtual void CloseExtensionPage() = 0;
  // Source page: Next passed its checks in Create Disk Image; the imaging
  // page opens over it. Back there closes it again.
  virtual void OpenImagingPage() = 0;
  virtual void CloseImagingPage() = 0;
  // Imaging page: Start passed its checks; `run` copies on the analysis
  // page's worker, and the imaging page shows again when it ends.
  virtual void OpenImagingRun(std::function<AnalysisOutcome(Session&, AnalysisProgress&)> run) = 0;
  // Source page: Next passed its checks for a typed range in Partition Data
  // Recovery; the analysis page runs the scan for the range's volumes.
  virtual void OpenVolumeScan() = 0;
  // Volume list: Next with volume `number` (from 1) picked; the analysis
  // page copies its finds, then the results page shows them.
  virtual void OpenVolumeCopy(std::int64_t number) = 0;
  // Volume list: Back (the lists already freed) returns to the source page.
  virtual void CloseVolumeList() = 0;
  // Source page: a recovery log's header was loaded; the analysis page
  // loads its lists instead of analysing.
  virtual void OpenLogReplay() = 0;
  // Analysis page: the run ended; the host opens what the outcome names
  // and closes the analysis page.
  virtual void AnalysisEnded(AnalysisOutcome outcome) = 0;

  // Results page: Back (confirmed) closes it and the source page shows
  // again.
  virtual void CloseResultsPage() = 0;
  // Results page: "&Formatted Data Recovery" (confirmed) closes it without
  // the back question and runs a formatted analysis of the same selection.
  virtual void RestartAsFormatted() = 0;
};

}  // namespace korv
