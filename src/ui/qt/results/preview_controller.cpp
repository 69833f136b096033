#include "ui/qt/results/preview_controller.h"

#include <QString>
#include <utility>

#include "app/session.h"
#include "ui/qt/results/file_opener.h"
#include "ui/qt/results/preview_pane.h"
#include "ui/qt/results/results_workers.h"
#include "ui/qt/wizard_host.h"

namespace korv {

PreviewController::PreviewController(WizardHost& host, PreviewPane& pane, ResultsWorkers& workers,
                                     std::function<void(bool)> setInputEnabled, std::function<void()> refocus,
                                     QWidget* dialogParent)
    : host_(host),
      pane_(pane),
      workers_(workers),
      setInputEnabled_(std::move(setInputEnabled)),
      refocus_(std::move(refocus)),
      dialogParent_(dialogParent),
      opener_(std::make_unique<FileOpener>(host.session())) {}

PreviewController::~PreviewController() = default;

void PreviewController::Preview(const ResultRow& item) {
  if (item.folder) {
    pane_.ShowIdle();
    return;
  }
  const FoundFile& file = host_.session().store.file(item.id);
  if (!ExtractForPreview(file.name, file.size)) {
    pane_.ShowNoPreview();
    return;
  }
  Start(file.insertionNumber, PreviewKindOf(file.name), false);
}

void PreviewController::Open(std::uint32_t insertionNumber) { Start(insertionNumber, PreviewKind::None, true); }

void PreviewController::Start(std::uint32_t insertionNumber, PreviewKind kind, bool open) {
  if (previewing_) return;
  previewing_ = true;
  stopPreview_ = false;
  cancelExtraction_ = false;
  setInputEnabled_(false);
  pane_.ShowWaiting(true);
  auto extraction = std::make_shared<Extraction>(Extraction{std::nullopt, kind, open});
  workers_.Start(
      ResultsWorkers::Lane::Preview,
      [this, extraction, insertionNumber] { extraction->path = opener_->Extract(insertionNumber, &cancelExtraction_); },
      [this, extraction] { Ended(std::move(*extraction)); });
}

void PreviewController::Ended(Extraction extraction) {
  previewing_ = false;
  pane_.ShowWaiting(false);
  setInputEnabled_(true);
  refocus_();
  if (stopPreview_) return;
  Show(extraction);
}

void PreviewController::Show(const Extraction& extraction) {
  if (extraction.open) {
    if (extraction.path) opener_->Open(*extraction.path, dialogParent_);
    return;
  }
  if (!extraction.path) {
    pane_.ShowNoPreview();
    return;
  }
  const QString path = QString::fromStdString(extraction.path->string());
  switch (extraction.kind) {
    case PreviewKind::Picture:
      pane_.ShowPicture(path);
      return;
    case PreviewKind::RichText:
      pane_.ShowRichText(path);
      return;
    case PreviewKind::Archive:
      pane_.ShowArchive(path);
      return;
    case PreviewKind::None:
      pane_.ShowNoPreview();
      return;
  }
}

void PreviewController::AskStop() {
  if (!previewing_ || workers_.holding()) return;
  if (workers_.AskHolding([this] { return host_.AskQuestion(kQuestionStopPreview); })) {
    stopPreview_ = true;
    cancelExtraction_ = true;
  }
  workers_.ReplayHeld();
}

void PreviewController::Reset() {
  stopPreview_ = false;
  pane_.ShowWaiting(false);
  pane_.ShowIdle();
}

}  // namespace korv
