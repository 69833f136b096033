// Driving the wizard as a user would: answering the modal dialog that opens
// next, clicking buttons by name and waiting for what a worker thread does.
#pragma once

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <functional>
#include <memory>
#include <string>

namespace korv::test {

// Runs `action` on the next modal dialog once it is open, on screen and
// active, so clicks and key presses reach it (polled from the event loop,
// so it works while the code under test sits in exec()). Gives up after
// `timeoutMs`; `answered` (when given) tells whether it ran. A dialog the
// action left open is closed after `timeoutMs` more, so a lost click fails
// the test instead of hanging it.
inline void WhenDialogOpens(std::function<void(QWidget*)> action, bool* answered = nullptr, int timeoutMs = 10000) {
  // Owned by the application, so a watch still waiting when the test ends is
  // freed with it.
  auto* timer = new QTimer(qApp);
  auto clock = std::make_shared<QElapsedTimer>();
  clock->start();
  QWidget* before = QApplication::activeModalWidget();
  QObject::connect(timer, &QTimer::timeout, [=] {
    QWidget* modal = QApplication::activeModalWidget();
    const bool open = modal != nullptr && modal != before && modal->isVisible();
    const bool ready = open && modal->windowHandle() != nullptr && modal->windowHandle()->isExposed() &&
                       QApplication::activeWindow() == modal;
    if (open && !ready) modal->activateWindow();
    const bool timedOut = clock->elapsed() >= timeoutMs;
    if (!ready && !timedOut) return;
    timer->stop();
    timer->deleteLater();
    if (!open) return;
    if (answered != nullptr) *answered = true;
    // A dialog shown again later is answered by a watch of its own; this one
    // closes it only while its own answer is the last one given.
    static int lastWatch = 0;
    const int watch = ++lastWatch;
    QPointer<QWidget> dialog(modal);
    modal->setProperty("korvWatch", watch);
    action(modal);
    QTimer::singleShot(timeoutMs, qApp, [dialog, watch] {
      if (dialog == nullptr || !dialog->isVisible()) return;
      if (dialog->property("korvWatch").toInt() == watch) dialog->close();
    });
  });
  timer->start(20);
}

// Clicks the button named `objectName` inside `parent`.
inline bool ClickNamed(QWidget* parent, const char* objectName) {
  auto* button = parent->findChild<QAbstractButton*>(QString::fromLatin1(objectName));
  if (button == nullptr) return false;
  QTest::mouseClick(button, Qt::LeftButton);
  return true;
}

// The text of the message or question dialog `dialog`.
inline std::string DialogText(QWidget* dialog) {
  auto* text = dialog->findChild<QLabel*>(QStringLiteral("messageText"));
  return text == nullptr ? std::string() : text->text().toStdString();
}

// Processes events until `done()` or the time is up.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 20000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > timeoutMs) return false;
    QTest::qWait(10);
  }
  return true;
}

}  // namespace korv::test
