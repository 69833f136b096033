// The preview and the opening of found files: a chosen file is extracted on
// a worker, then shown in the preview pane or handed to the desktop. While
// it is extracted the lists and the page's buttons take no input, and
// "&Stop" asks whether to end it; the extraction goes on meanwhile and its
// end waits for the answer, which decides whether anything is shown.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

#include "ui/logic/preview_rules.h"
#include "ui/logic/results_tree.h"

class QWidget;

namespace korv {

class FileOpener;
class PreviewPane;
class ResultsWorkers;
class WizardHost;

class PreviewController {
 public:
  // `setInputEnabled` turns the lists and the page's buttons on or off;
  // `refocus` gives the list the keyboard back once an extraction ends;
  // `dialogParent` is the parent of the program chooser.
  PreviewController(WizardHost& host, PreviewPane& pane, ResultsWorkers& workers,
                    std::function<void(bool)> setInputEnabled, std::function<void()> refocus, QWidget* dialogParent);
  ~PreviewController();
  PreviewController(const PreviewController&) = delete;
  PreviewController& operator=(const PreviewController&) = delete;

  // An extraction runs or its end is held.
  bool previewing() const { return previewing_; }
  FileOpener& opener() { return *opener_; }

  // A row of the list was chosen: a file is previewed when it may be.
  void Preview(const ResultRow& item);
  // "&Open" and double-click on a file.
  void Open(std::uint32_t insertionNumber);
  // "&Stop" of the wait controls.
  void AskStop();
  // The pane idle, nothing stopped.
  void Reset();
  // Leaving the page ends a running extraction.
  void Cancel() { cancelExtraction_ = true; }
  // After the workers were waited for: no extraction runs.
  void EndWork() { previewing_ = false; }

 private:
  struct Extraction {
    std::optional<std::filesystem::path> path;
    PreviewKind kind = PreviewKind::None;
    bool open = false;
  };

  void Start(std::uint32_t insertionNumber, PreviewKind kind, bool open);
  void Ended(Extraction extraction);
  void Show(const Extraction& extraction);

  WizardHost& host_;
  PreviewPane& pane_;
  ResultsWorkers& workers_;
  std::function<void(bool)> setInputEnabled_;
  std::function<void()> refocus_;
  QWidget* dialogParent_;
  std::unique_ptr<FileOpener> opener_;
  bool previewing_ = false;
  bool stopPreview_ = false;
  // Read by the extraction worker: Stop (Yes) and leaving the page end it.
  std::atomic<bool> cancelExtraction_{false};
};

}  // namespace korv
