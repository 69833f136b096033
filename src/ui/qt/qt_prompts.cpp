#include "ui/qt/qt_prompts.h"

#include <string>

#include "ui/qt/dialogs/bad_sector_dialog.h"
#include "ui/qt/dialogs/message_dialogs.h"
#include "ui/qt/ui_thread.h"

namespace korv {

QtPrompts::QtPrompts(QObject* owner) : QObject(owner) {}

BadSectorAnswer QtPrompts::AskBadSector(std::string_view message) {
  return OnUiThreadAndWait(this,
                           [this, text = std::string(message)] { return SectorsBadStatusAction::Ask(parent_, text); });
}

bool QtPrompts::AskYesNo(std::string_view question) {
  return OnUiThreadAndWait(this, [this, text = std::string(question)] { return AskQuestionBox(parent_, text); });
}

void QtPrompts::ShowMessage(std::string_view message) {
  // A message has no answer; an acknowledgement stands in for one.
  OnUiThreadAndWait(this, [this, text = std::string(message)] {
    ShowMessageBox(parent_, text);
    return true;
  });
}

}  // namespace korv
