// The save dialogs driven as a user drives them, over a real analysis of the
// sample disk's FAT32 volume: a full save and the files it writes, saving
// again with each replace answer, the refusals that keep the destination
// dialog open, Pause, Stop and Hide Details while a save runs, and the
// filter dialog.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QWindow>
#include <deque>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "app/session.h"
#include "engine/analysis_progress.h"
#include "qt_test_support.h"
#include "save/result_selection.h"
#include "save/save_walk.h"
#include "support/reader_checks.h"
#include "support/test_support.h"
#include "ui/qt/qt_prompts.h"
#include "ui/qt/save/calculate_data_size.h"
#include "ui/qt/save/data_copy_path.h"
#include "ui/qt/save/data_saving_settings.h"

namespace korv {
namespace {

namespace fs = std::filesystem;
using test::ClickNamed;
using test::WaitUntil;

const fs::path kSampleDir = KORV_SOURCE_DIR "/samples";
constexpr int kFatPartition = 2;

// The sample's FAT32 files as its manifest lists them. Its one deleted file
// has a long name, so it is found under the name the manifest gives.
struct ManifestFile {
  std::string sha256;
  std::uint64_t size = 0;
};

std::map<std::string, ManifestFile> SampleFatManifest() {
  std::ifstream in(kSampleDir / "sample.json");
  const auto manifest = nlohmann::json::parse(in);
  std::map<std::string, ManifestFile> files;
  for (const auto& partition : manifest["partitions"]) {
    if (partition["number"] != kFatPartition) continue;
    for (const auto& entry : partition["entries"]) {
      if (entry["kind"] == "file") files[entry["path"]] = {entry["sha256"], entry["size"]};
    }
  }
  return files;
}

// The sample's FAT32 files by path, with their SHA-256.
std::map<std::string, std::string> SampleFatFiles() {
  std::map<std::string, std::string> sums;
  for (const auto& [path, file] : SampleFatManifest()) sums[path] = file.sha256;
  return sums;
}

// What a save wrote below `folder`, the "Lost" folder left out.
std::map<std::string, std::string> SavedFiles(const fs::path& folder) {
  std::map<std::string, std::string> saved;
  for (const auto& [path, sum] : test::Sha256Below(folder)) {
    if (!path.starts_with("Lost")) saved[path] = sum;
  }
  return saved;
}

// Check boxes and radio buttons take a click on their indicator or text,
// which need not lie at the middle of the widget.
void Check(QWidget* parent, const char* name) {
  parent->findChild<QAbstractButton*>(QString::fromLatin1(name))->click();
}

// "Projects/invoices.txt" with `number` before its extension.
std::string NumberedName(const std::string& path, int number) {
  const auto dot = path.rfind('.');
  return path.substr(0, dot) + std::to_string(number) + path.substr(dot);
}

// A user answering the dialogs of one flow in order. Each step waits for a
// modal dialog holding a child of the given name (and, for a message or a
// question, showing the given text) and acts on it; the next step waits for
// the next dialog. Actions run from the event loop after the poll, so one
// that opens a nested dialog does not hold the poll up. A step not met in
// time closes whatever is open and is reported.
class User : public QObject {
 public:
  using Action = std::function<void(QWidget*)>;

  User() {
    connect(&poll_, &QTimer::timeout, this, &User::Poll);
    poll_.start(15);
  }

  // A message or question showing `text`, answered with `button`.
  User& Answer(std::string_view text, const char* button) {
    return On("messageText", std::string(text), [button](QWidget* dialog) { ClickNamed(dialog, button); });
  }
  // The dialog holding a child named `child`.
  User& On(const char* child, Action action) { return On(child, {}, std::move(action)); }

  bool finished() const { return steps_.empty(); }
  // Every message and question text met, in order.
  std::vector<std::string> texts;
  std::vector<std::string> failures;

 private:
  struct Step {
    QString child;
    std::string text;
    Action action;
  };

  User& On(const char* child, std::string text, Action action) {
    steps_.push_back({QString::fromLatin1(child), std::move(text), std::move(action)});
    return *this;
  }

  bool Matches(QWidget* dialog, const Step& step) const {
    if (dialog->findChild<QObject*>(step.child) == nullptr) return false;
    return step.text.empty() || test::DialogText(dialog) == step.text;
  }

  void Poll() {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr || !dialog->isVisible() || dialog == lastActed_) return;
    // A click reaches a window only once it is on the screen.
    if (dialog->windowHandle() == nullptr || !dialog->windowHandle()->isExposed()) return;
    if (steps_.empty() || !Matches(dialog, steps_.front())) return GiveUpWhenStuck(dialog);
    if (const std::string text = test::DialogText(dialog); !text.empty()) texts.push_back(text);
    Action action = std::move(steps_.front().action);
    steps_.pop_front();
    lastActed_ = dialog;
    stuckSince_.restart();
    QPointer<QWidget> target(dialog);
    QTimer::singleShot(0, this, [target, action] {
      if (target) action(target);
    });
  }

  void GiveUpWhenStuck(QWidget* dialog) {
    if (!stuckSince_.isValid()) stuckSince_.start();
    if (stuckSince_.elapsed() < 15000) return;
    failures.push_back(
        "stuck on a dialog showing \"" + test::DialogText(dialog) + "\", " + std::to_string(steps_.size()) +
        " steps left, next " +
        (steps_.empty() ? std::string() : steps_.front().child.toStdString() + " " + steps_.front().text));
    if (auto* stuck = qobject_cast<QDialog*>(dialog)) stuck->done(QDialog::Rejected);
    stuckSince_.restart();
  }

  QTimer poll_;
  std::deque<Step> steps_;
  QPointer<QWidget> lastActed_;
  QElapsedTimer stuckSince_;
};

class SaveDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(session_.OpenVirtualFile(kSampleDir / "sample.vhd").accepted);
    ASSERT_TRUE(session_.SelectPartition(kFatPartition));
    NullProgress sink;
    AnalysisProgress progress(sink);
    ASSERT_EQ(session_.Analyse(RecoveryMode::DeletedData, progress), AnalysisOutcome::DeletedRunEnded);
    SelectEverything(session_.store);
  }

  // Opens a new destination dialog as the results page does (modally),
  // lets `prepare` adjust it, types `path` and clicks "&OK". True when the
  // flow came back to the dialog, which is then cancelled.
  bool SaveTo(const fs::path& path, User& user, const std::function<void(DataCopyPath&)>& prepare = {}) {
    DataCopyPath dialog(session_, nullptr);
    bool stayed = false;
    QTimer::singleShot(0, &dialog, [&] {
      if (prepare) prepare(dialog);
      dialog.findChild<QLineEdit*>(QStringLiteral("pathEdit"))->setText(QString::fromStdString(path.string()));
      ClickNamed(&dialog, "okButton");
      stayed = dialog.isVisible();
      if (stayed) dialog.reject();
    });
    dialog.exec();
    EXPECT_TRUE(WaitUntil([&] { return user.finished(); }, 5000)) << "dialogs left unanswered";
    EXPECT_TRUE(user.failures.empty()) << user.failures.front();
    return stayed;
  }

  fs::path Out(const std::string& name) const { return dir_ / name; }

  test::TempDir dir_;
  QtPrompts prompts_;
  Session session_{prompts_, SessionOptions{dir_ / "inventory.json", false}};
};

TEST_F(SaveDialogs, SavesTheTickedFilesThenAnswersEachReplaceChoice) {
  const auto expected = SampleFatFiles();
  {
    User user;
    user.Answer(kMsgSavingCompleted, "okButton");
    EXPECT_FALSE(SaveTo(Out("out"), user));
    EXPECT_EQ(SavedFiles(Out("out")), expected);
  }
  {
    // Yes without the check box asks again for every file.
    User user;
    for (std::size_t i = 0; i < expected.size(); ++i) {
      user.On("replaceYes", [](QWidget* dialog) { ClickNamed(dialog, "replaceYes"); });
    }
    user.Answer(kMsgSavingCompleted, "okButton");
    SaveTo(Out("out"), user);
    EXPECT_EQ(SavedFiles(Out("out")), expected);
  }
  {
    // Skip for all: the first file counts as done, the others are skipped
    // unasked and uncounted.
    User user;
    user.On("replaceSkip", [](QWidget* dialog) {
      Check(dialog, "replaceForAll");
      ClickNamed(dialog, "replaceSkip");
    });
    user.Answer(kMsgSavingNotCompleted, "okButton");
    SaveTo(Out("out"), user);
    // The root's one file comes first.
    EXPECT_EQ(session_.saveState.bytesSaved, SampleFatManifest().at("README.TXT").size);
    EXPECT_EQ(SavedFiles(Out("out")), expected);
  }
  {
    // Rename for all: one question, then every file under a new name.
    User user;
    user.On("replaceRename", [](QWidget* dialog) {
      Check(dialog, "replaceForAll");
      ClickNamed(dialog, "replaceRename");
    });
    user.Answer(kMsgSavingCompleted, "okButton");
    SaveTo(Out("out"), user);
    auto renamed = expected;
    for (const auto& [path, sum] : expected) renamed[NumberedName(path, 0)] = sum;
    EXPECT_EQ(SavedFiles(Out("out")), renamed);
  }
}

TEST_F(SaveDialogs, RefusalsKeepTheDestinationDialogOpen) {
  {
    User user;
    user.Answer(kMsgSelectRecoveryPath, "okButton");
    EXPECT_TRUE(SaveTo("", user));
  }
  {
    // A file in the way of the folder is never removed.
    std::ofstream(Out("taken")) << "x";
    User user;
    user.Answer(kMsgSelectRecoveryPath, "okButton");
    EXPECT_TRUE(SaveTo(Out("taken"), user));
  }
  {
    // Free space below the selection: the question; No goes back.
    User user;
    user.On("noButton", [](QWidget* question) { ClickNamed(question, "noButton"); });
    EXPECT_TRUE(SaveTo(Out("scarce"), user, [this](DataCopyPath& dialog) {
      dialog.freeSpace = [](const fs::path&) { return std::optional<std::uint64_t>(1); };
      dialog.chooseFolder = [this] { return QString::fromStdString(Out("chosen").string()); };
      ClickNamed(&dialog, "browseButton");
      EXPECT_EQ(dialog.findChild<QLineEdit*>(QStringLiteral("pathEdit"))->text().toStdString(), Out("chosen").string());
    }));
    EXPECT_EQ(user.texts, std::vector<std::string>{InsufficientSpaceQuestion(session_.saveState.selectedBytes)});
    EXPECT_TRUE(SavedFiles(Out("scarce")).empty());
  }
  {
    // Stopping the count where it stands (held before its first folder by
    // a pause) leaves nothing selected.
    session_.worker.RequestPause();
    User user;
    user.On("evaluationStop", [](QWidget* dialog) {
      EXPECT_EQ(dialog->windowTitle().toStdString(), kTitleEvaluation);
      ClickNamed(dialog, "evaluationStop");
    });
    user.Answer(kQuestionStopEvaluation, "yesButton");
    user.Answer(kMsgNothingSelected, "okButton");
    EXPECT_TRUE(SaveTo(Out("stopped"), user));
    session_.worker.Resume();
  }
  {
    SelectEverything(session_.store, kFlagNo);
    User user;
    user.Answer(kMsgNothingSelected, "okButton");
    EXPECT_TRUE(SaveTo(Out("nothing"), user));
  }
}

// In a raw run the dialog only picks the carving folder: no evaluation, no
// save; the folder is made when missing, and an empty path is refused.
TEST_F(SaveDialogs, RawRunOnlyPicksTheCarvingFolder) {
  session_.runFlags.rawRun = true;
  {
    User user;
    user.Answer(kMsgSelectRecoveryPath, "okButton");
    EXPECT_TRUE(SaveTo("", user));
  }
  User user;
  DataCopyPath dialog(session_, nullptr);
  QTimer::singleShot(0, &dialog, [&] {
    dialog.findChild<QLineEdit*>(QStringLiteral("pathEdit"))
        ->setText(QString::fromStdString(Out("carved/new").string()));
    ClickNamed(&dialog, "okButton");
  });
  EXPECT_EQ(dialog.exec(), QDialog::Accepted);
  ASSERT_TRUE(dialog.carvingFolder().has_value());
  EXPECT_EQ(*dialog.carvingFolder(), Out("carved/new"));
  EXPECT_TRUE(fs::is_directory(Out("carved/new")));
  EXPECT_TRUE(fs::is_empty(Out("carved/new"))) << "nothing is saved into it";
  EXPECT_TRUE(user.texts.empty());
}

TEST_F(SaveDialogs, TheEvaluationShowsTheCountAndSizeReached) {
  std::uint64_t bytes = 0;
  std::int64_t files = 0;
  for (const auto& [path, file] : SampleFatManifest()) {
    bytes += file.size;
    ++files;
  }
  CalculateDataSize evaluation(session_, prompts_, nullptr);
  evaluation.show();
  ASSERT_TRUE(WaitUntil([&] { return !evaluation.isVisible(); }));
  EXPECT_EQ(session_.saveState.selectedFiles, files);
  EXPECT_EQ(evaluation.findChild<QLabel*>(QStringLiteral("totalFilesValue"))->text().toLongLong(), files);
  EXPECT_EQ(evaluation.findChild<QLabel*>(QStringLiteral("dataSizeValue"))->text().toStdString(),
            SaveSizeText(bytes, kSizeSuffixEvaluation));
}

// The save is held before its first folder by a pause asked for as the
// free space is looked up, so it is caught under way.
void HoldTheSave(Session& session, DataCopyPath& dialog) {
  dialog.freeSpace = [&session](const fs::path&) -> std::optional<std::uint64_t> {
    session.worker.RequestPause();
    return std::nullopt;
  };
}

QString Caption(QWidget* dialog, const char* name) {
  return dialog->findChild<QPushButton*>(QString::fromLatin1(name))->text();
}

TEST_F(SaveDialogs, PauseHideDetailsAndStopAnsweredNoLetTheSaveFinish) {
  User user;
  user.On("stopButton", [](QWidget* progress) {
    ClickNamed(progress, "pauseButton");
    EXPECT_EQ(Caption(progress, "pauseButton").toStdString(), kButtonResume);
    ClickNamed(progress, "detailsButton");
    EXPECT_EQ(Caption(progress, "detailsButton").toStdString(), kButtonShowDetails);
    EXPECT_TRUE(progress->findChild<QLabel*>(QStringLiteral("lastNameValue"))->isHidden());
    ClickNamed(progress, "stopButton");
  });
  user.Answer(kQuestionStopSave, "noButton");
  // No leaves the user's pause in force; Resume lets the save go on.
  user.On("stopButton", [this](QWidget* progress) {
    EXPECT_TRUE(session_.worker.paused());
    ClickNamed(progress, "pauseButton");
    EXPECT_EQ(Caption(progress, "pauseButton").toStdString(), kButtonPause);
  });
  user.Answer(kMsgSavingCompleted, "okButton");
  EXPECT_FALSE(SaveTo(Out("out"), user, [this](DataCopyPath& dialog) { HoldTheSave(session_, dialog); }));
  EXPECT_EQ(SavedFiles(Out("out")), SampleFatFiles());
}

TEST_F(SaveDialogs, StopAnsweredYesAbortsTheSave) {
  User user;
  user.On("stopButton", [](QWidget* progress) { ClickNamed(progress, "stopButton"); });
  user.Answer(kQuestionStopSave, "yesButton");
  user.Answer(kMsgSavingAborted, "okButton");
  EXPECT_FALSE(SaveTo(Out("out"), user, [this](DataCopyPath& dialog) { HoldTheSave(session_, dialog); }));
  // No verdict follows the abort, and nothing was written.
  EXPECT_EQ(user.texts, (std::vector<std::string>{std::string(kQuestionStopSave), std::string(kMsgSavingAborted)}));
  EXPECT_TRUE(SavedFiles(Out("out")).empty());
}

TEST_F(SaveDialogs, TheFilterDialogChecksExtensionsAndKeepsOrRestoresItsSettings) {
  SaveFilters& filters = session_.saveFilters;
  const SaveFilters original = filters;
  {
    DataSavingSettings dialog(filters, nullptr);
    dialog.show();
    auto* edit = dialog.findChild<QLineEdit*>(QStringLiteral("extensionEdit"));
    auto* list = dialog.findChild<QListWidget*>(QStringLiteral("extensionList"));
    const std::string_view refused[] = {kMsgExtensionTooLong, kMsgExtensionBlank, kMsgExtensionDot, kMsgExtensionStar,
                                        kMsgExtensionExists};
    User user;
    for (const std::string_view message : refused) user.Answer(message, "okButton");
    for (const char* text : {"XLS", "document", " x", "a.b", "a*", "XLS", "xls", "jpeg1"}) {
      edit->setText(QString::fromLatin1(text));
      ClickNamed(&dialog, "addExtension");
    }
    EXPECT_TRUE(user.finished());
    EXPECT_EQ(user.texts, std::vector<std::string>(std::begin(refused), std::end(refused)));
    EXPECT_EQ(filters.extensions, (std::vector<std::string>{"jpeg1", "xls", "XLS"}));
    EXPECT_EQ(list->currentRow(), 0);
    EXPECT_TRUE(edit->text().isEmpty());
    list->setCurrentRow(1);
    ClickNamed(&dialog, "removeExtension");
    EXPECT_EQ(filters.extensions, (std::vector<std::string>{"jpeg1", "XLS"}));
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text(), QStringLiteral("XLS"));

    // A radio button takes effect at once.
    Check(&dialog, "deletedOnly");
    EXPECT_EQ(filters.deletedChoice, DeletedChoice::DeletedOnly);

    const auto choose = [&](const char* name, int index) {
      dialog.findChild<QComboBox*>(QString::fromLatin1(name))->setCurrentIndex(index);
    };
    choose("dateKind", static_cast<int>(DateKind::Created));
    choose("fromMonth", 1);
    choose("fromYear", 2010 - kFirstListedYear);
    choose("toDay", 27);
    choose("toMonth", 1);
    choose("toYear", 2010 - kFirstListedYear);
    EXPECT_EQ(filters.dateRange(DateKind::Created), (DateRange{{2010, 2, 1}, {2010, 2, 28}}));
    // The whole span of the lists is stored as off.
    choose("fromMonth", 0);
    choose("fromYear", 0);
    choose("toDay", 30);
    choose("toMonth", 11);
    choose("toYear", kLastListedYear - kFirstListedYear);
    EXPECT_FALSE(filters.dateRange(DateKind::Created).on());
    EXPECT_EQ(filters.dateRange(DateKind::Created), DateRange{});

    ClickNamed(&dialog, "cancelButton");
    EXPECT_EQ(filters, original);
  }
  {
    // Through "&Settings..." of the destination dialog; "&Apply" keeps.
    DataCopyPath destination(session_, nullptr);
    destination.show();
    User user;
    user.On("applyButton", [](QWidget* dialog) {
      dialog->findChild<QLineEdit*>(QStringLiteral("extensionEdit"))->setText(QStringLiteral("txt"));
      ClickNamed(dialog, "addExtension");
      dialog->findChild<QComboBox*>(QStringLiteral("fromYear"))->setCurrentIndex(2000 - kFirstListedYear);
      Check(dialog, "excludeDeleted");
      ClickNamed(dialog, "applyButton");
    });
    ClickNamed(&destination, "settingsButton");
    EXPECT_TRUE(user.finished());
    EXPECT_EQ(filters.extensions, std::vector<std::string>{"txt"});
    EXPECT_EQ(filters.deletedChoice, DeletedChoice::Exclude);
    EXPECT_EQ(filters.dateRange(DateKind::Modified), (DateRange{{2000, 1, 1}, {kLastListedYear, 12, 31}}));
  }
}

}  // namespace
}  // namespace korv
