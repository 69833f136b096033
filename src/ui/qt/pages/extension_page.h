// The extension page of Raw Data Recovery: the file types carving knows,
// each with a check box, the "exact ends" choice, Back and Next. Next asks
// the destination dialog, in its raw mode, for the folder carved files go
// to, and carves the selected range on a worker
// thread; the page shows the scan's status, files written, current sector
// and a bar meanwhile, and Stop ends the scan early. The end message is
// shown when the scan ends and the page stays, ticks and all.
//
// Object names: "extensionList", "exactEndsCheck", "statusValue",
// "filesValue", "sectorValue", "progressBar", "backButton", "nextButton",
// "stopButton".
#pragma once

#include <QString>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "carve/raw_scan.h"
#include "common/progress.h"

class QCheckBox;
class QLabel;
class QTreeWidget;

namespace korv {

class CGradientProgressCtrl;
class CHoverButton;
class WizardHost;

inline constexpr std::string_view kExtensionListHeading = "Raw Data Recovery gszSavingExtensions";
inline constexpr std::string_view kExactEndsCaption = "Cut files at their exact ends";

class ExtensionWiseRecovery : public QWidget {
  Q_OBJECT
 public:
  explicit ExtensionWiseRecovery(WizardHost& host, QWidget* parent = nullptr);
  // A scan still going on is abandoned and its thread joined.
  ~ExtensionWiseRecovery() override;

  // The page opens for a new raw run: nothing ticked, no progress shown.
  void Open();

  // Where carved files go: the destination dialog in its raw mode, which
  // checks and creates the folder; empty when it was cancelled. Tests
  // replace it, and the free-space query.
  std::function<QString()> chooseFolder;
  FreeSpaceFunction freeSpace;

  bool running() const { return running_; }
  // What the last scan did; nothing before the first one ends.
  const std::optional<CarveSummary>& lastSummary() const { return lastSummary_; }
  // The list's rows ticked now, in list order.
  std::vector<std::size_t> tickedRows() const;

 private:
  class PageSink;
  class FolderDialog;

  void BuildControls();
  QWidget* MakeProgressArea();
  QWidget* MakeButtonRow();
  void FillList();
  void ResetProgress();

  void Back();
  void Next();
  void AskStop();
  void StartScan(const std::filesystem::path& destination, const std::vector<std::size_t>& rows);
  void ScanEnded(const CarveSummary& summary);
  void ShowText(ProgressField field, const std::string& shown);
  void ShowPercent(int percent);
  std::optional<std::filesystem::path> PickFolder();
  void JoinWorker();
  void UpdateButtons();

  WizardHost& host_;
  std::unique_ptr<PageSink> sink_;
  std::unique_ptr<FolderDialog> folderDialog_;
  // What the worker uses; they live until the next scan starts.
  std::vector<CarveEntry> entries_;
  std::unique_ptr<CarvedFileWriter> writer_;
  std::unique_ptr<CarveJob> job_;
  std::thread worker_;
  std::atomic<bool> workerFinished_{true};
  bool running_ = false;
  bool asking_ = false;
  bool tearingDown_ = false;
  std::optional<CarveSummary> lastSummary_;
  std::optional<CarveSummary> pendingSummary_;

  QTreeWidget* list_ = nullptr;
  QCheckBox* exactEnds_ = nullptr;
  QLabel* statusValue_ = nullptr;
  QLabel* filesValue_ = nullptr;
  QLabel* sectorValue_ = nullptr;
  CGradientProgressCtrl* progressBar_ = nullptr;
  CHoverButton* backButton_ = nullptr;
  CHoverButton* nextButton_ = nullptr;
  CHoverButton* stopButton_ = nullptr;
};

}  // namespace korv
