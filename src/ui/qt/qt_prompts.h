// The engine's questions and messages as the wizard's dialogs. Called from
// the UI thread, a dialog opens at once; called from a worker, the call is
// carried to the UI thread and the worker waits for the answer.
#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

#include "common/prompts.h"

namespace korv {

class QtPrompts final : public QObject, public Prompts {
  Q_OBJECT
 public:
  explicit QtPrompts(QObject* owner = nullptr);
  // The window the dialogs open over (the main window).
  void SetDialogParent(QWidget* parent) { parent_ = parent; }

  BadSectorAnswer AskBadSector(std::string_view message) override;
  bool AskYesNo(std::string_view question) override;
  void ShowMessage(std::string_view message) override;

 private:
  QPointer<QWidget> parent_;
};

}  // namespace korv
