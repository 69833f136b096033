// A window for one page under test: it owns a session over a temporary
// inventory, answers the page's questions from a script and counts what the
// page asked of it.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "app/session.h"
#include "common/progress.h"
#include "ui/logic/wizard_flow.h"
#include "support/test_support.h"
#include "ui/qt/qt_prompts.h"
#include "ui/qt/wizard_host.h"

namespace korv::test {

class ScriptedHost final : public WizardHost {
 public:
  ScriptedHost() : session_(prompts_, SessionOptions{dir_.path() / "inventory.json", false}) {}

  Session& session() override { return session_; }
  QWidget* dialogParent() override { return nullptr; }
  void ShowMessage(std::string_view message) override { messages.emplace_back(message); }
  // The next scripted answer; No when the script has run out.
  bool AskQuestion(std::string_view question) override {
    questions.emplace_back(question);
    if (whileAsking) whileAsking();
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void AskExit() override {}
  void ShowHelp() override { ++helpShown; }
  void ShowAbout() override {}
  void CloseSourcePage() override {}
  void OpenAnalysisPage() override {}
  void OpenExtensionPage() override { ++extensionPagesOpened; }
  void CloseExtensionPage() override { ++extensionPagesClosed; }
  void OpenImagingPage() override {}
  void CloseImagingPage() override { ++imagingPagesClosed; }
  // Kept for the test to run.
  void OpenImagingRun(std::function<AnalysisOutcome(Session&, AnalysisProgress&)> run) override {
    imagingRuns.push_back(std::move(run));
  }
  void OpenVolumeScan() override { ++volumeScans; }
  void OpenLogReplay() override { ++logReplays; }
  void OpenVolumeCopy(std::int64_t number) override { volumeCopies.push_back(number); }
  void CloseVolumeList() override { ++volumeListsClosed; }
  void AnalysisEnded(AnalysisOutcome outcome) override { outcomes.push_back(outcome); }
  void CloseResultsPage() override { ++resultsClosed; }
  void RestartAsFormatted() override { ++formattedRestarts; }

  std::deque<bool> answers;
  // Runs while a question is open, as the user takes time to answer.
  std::function<void()> whileAsking;
  std::vector<std::string> questions;
  std::vector<std::string> messages;
  std::vector<AnalysisOutcome> outcomes;
  int helpShown = 0;
  int extensionPagesOpened = 0;
  int extensionPagesClosed = 0;
  int imagingPagesClosed = 0;
  std::vector<std::function<AnalysisOutcome(Session&, AnalysisProgress&)>> imagingRuns;
  int resultsClosed = 0;
  int formattedRestarts = 0;
  int volumeScans = 0;
  int logReplays = 0;
  std::vector<std::int64_t> volumeCopies;
  int volumeListsClosed = 0;

 private:
  TempDir dir_;
  QtPrompts prompts_;
  Session session_;
};

// Deleted Data Recovery of partition `partition` of `disk`, as the source
// page's Next starts it, run on the calling thread.
inline void RunDeletedRecovery(Session& session, const std::filesystem::path& disk, int partition) {
  ASSERT_TRUE(session.OpenVirtualFile(disk).accepted);
  ASSERT_TRUE(session.SelectPartition(partition));
  ChooseMode(session.wizard, RecoveryMode::DeletedData);
  NullProgress sink;
  AnalysisProgress progress(sink);
  ASSERT_EQ(session.Analyse(RecoveryMode::DeletedData, progress), AnalysisOutcome::DeletedRunEnded);
}

}  // namespace korv::test
