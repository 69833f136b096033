// The engine's questions asked from a worker thread reach the wizard's
// dialogs on the UI thread, and the worker waits for the answer.
#include "ui/qt/qt_prompts.h"

#include <gtest/gtest.h>

#include <QThread>
#include <atomic>
#include <string>
#include <thread>

#include "engine/analysis_driver.h"
#include "qt_test_support.h"
#include "ui/qt/dialogs/message_dialogs.h"

namespace korv {
namespace {

using test::ClickNamed;
using test::DialogText;
using test::WaitUntil;
using test::WhenDialogOpens;

// Records where and what the dialog was before answering it with `button`.
struct DialogSeen {
  bool onUiThread = false;
  bool isQuestion = false;
  std::string text;
};

std::function<void(QWidget*)> Answer(DialogSeen& seen, const char* button) {
  return [&seen, button](QWidget* dialog) {
    seen.onUiThread = dialog->thread() == qApp->thread() && QThread::currentThread() == qApp->thread();
    seen.isQuestion = qobject_cast<ViewQuestionMsg*>(dialog) != nullptr;
    seen.text = DialogText(dialog);
    ClickNamed(dialog, button);
  };
}

TEST(QtPromptsTest, AQuestionFromAWorkerOpensOnTheUiThreadAndReturnsTheAnswer) {
  QtPrompts prompts;
  DialogSeen seen;
  WhenDialogOpens(Answer(seen, "yesButton"));
  std::atomic<int> answer{-1};
  std::thread worker([&] { answer = prompts.AskYesNo(kQuestionStopAnalysis) ? 1 : 0; });
  const bool answered = WaitUntil([&] { return answer.load() != -1; });
  worker.join();
  ASSERT_TRUE(answered);
  EXPECT_EQ(answer.load(), 1);
  EXPECT_TRUE(seen.onUiThread);
  EXPECT_TRUE(seen.isQuestion);
  // "&&" in the question shows one "&".
  EXPECT_EQ(seen.text,
            "Do you want to stop Recovery analysis. This may show "
            "incomplete data & you may need to run this "
            "step again.");
}

TEST(QtPromptsTest, AMessageFromAWorkerHoldsItUntilAcknowledged) {
  QtPrompts prompts;
  std::atomic<bool> returned{false};
  bool returnedBeforeOk = true;
  DialogSeen seen;
  WhenDialogOpens([&](QWidget* dialog) {
    QTest::qWait(100);  // the worker has had time to run on, were it not held
    returnedBeforeOk = returned.load();
    Answer(seen, "okButton")(dialog);
  });
  std::thread worker([&] {
    prompts.ShowMessage(kMsgRecoveryNotPossible);
    returned = true;
  });
  const bool acknowledged = WaitUntil([&] { return returned.load(); });
  worker.join();
  ASSERT_TRUE(acknowledged);
  EXPECT_FALSE(returnedBeforeOk);
  EXPECT_TRUE(seen.onUiThread);
  EXPECT_EQ(seen.text, std::string(kMsgRecoveryNotPossible));
}

TEST(QtPromptsTest, TheBadSectorQuestionFromAWorkerGivesTheButtonPressed) {
  QtPrompts prompts;
  DialogSeen seen;
  WhenDialogOpens(Answer(seen, "skipAllButton"));
  std::atomic<int> answer{-1};
  std::thread worker([&] { answer = static_cast<int>(prompts.AskBadSector("lSectorNoRead 42")); });
  const bool answered = WaitUntil([&] { return answer.load() != -1; });
  worker.join();
  ASSERT_TRUE(answered);
  EXPECT_EQ(answer.load(), static_cast<int>(BadSectorAnswer::SkipAll));
  EXPECT_TRUE(seen.onUiThread);
}

TEST(QtPromptsTest, OnTheUiThreadTheDialogOpensAtOnce) {
  QtPrompts prompts;
  DialogSeen seen;
  WhenDialogOpens(Answer(seen, "noButton"));
  EXPECT_FALSE(prompts.AskYesNo(kQuestionGoBack));
  EXPECT_TRUE(seen.isQuestion);
  EXPECT_EQ(seen.text, std::string(kQuestionGoBack));
}

}  // namespace
}  // namespace korv
