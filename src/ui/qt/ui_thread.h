// Running a dialog for a worker: the dialog runs on the UI thread; from a
// worker the call is carried there and the worker waits, so the answer
// comes back as if the dialog had opened on the worker itself. Callers copy
// their texts into `ask` first: the caller's views may not outlive the hop.
#pragma once

#include <QApplication>
#include <QObject>
#include <QThread>

namespace korv {

inline bool OnUiThread() { return QThread::currentThread() == qApp->thread(); }

// `uiObject` lives on the UI thread; `ask` returns the answer (not void).
template <typename Ask>
auto OnUiThreadAndWait(QObject* uiObject, Ask ask) {
  using Answer = decltype(ask());
  if (OnUiThread()) return ask();
  Answer answer{};
  QMetaObject::invokeMethod(
      uiObject, [&] { answer = ask(); }, Qt::BlockingQueuedConnection);
  return answer;
}

}  // namespace korv
