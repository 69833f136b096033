#include "ui/qt/qt_prompts.h"

#include <QApplication>
#include <QThread>
#include <string>

#include "ui/qt/dialogs/bad_sector_dialog.h"
#include "ui/qt/dialogs/message_dialogs.h"

namespace korv {

QtPrompts::QtPrompts(QObject* owner) : QObject(owner) {}

namespace {

bool OnUiThread() { return QThread::currentThread() == qApp->thread(); }

// Each question runs its dialog on the UI thread. From a worker the call is
// carried there and the worker waits, so the answer comes back as if the
// dialog had opened on the worker itself. The text is copied first: the
// caller's view may not outlive the hop.
template <typename Ask>
auto OnUiThreadAndWait(QObject* uiObject, Ask ask) {
  using Answer = decltype(ask());
  if (OnUiThread()) return ask();
  Answer answer{};
  QMetaObject::invokeMethod(
      uiObject, [&] { answer = ask(); }, Qt::BlockingQueuedConnection);
  return answer;
}

}  // namespace

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
