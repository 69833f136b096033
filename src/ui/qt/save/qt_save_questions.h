// The save's replace and copy-error questions as the wizard's dialogs.
// Called from the UI thread, a dialog opens at once; called from the save
// worker, the call is carried to the UI thread and the worker waits for the
// answer.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "save/save_state.h"

namespace korv {

class QtSaveQuestions final : public QObject, public SaveQuestions {
  Q_OBJECT
 public:
  // Made on the UI thread; the dialogs open over `dialogParent`.
  explicit QtSaveQuestions(QWidget* dialogParent);

  ReplaceReply AskReplace(std::string_view question, const std::filesystem::path& path) override;
  CopyErrorAnswer AskCopyError(std::string_view question, const std::filesystem::path& path) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace korv
