// The extension page of Raw Data Recovery: its rows, what Next does before a
// scan starts, and whole scans of the carving disk into a folder.
#include "ui/qt/pages/extension_page.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "carve/carve_types.h"
#include "engine/analysis_driver.h"
#include "qt_test_support.h"
#include "scripted_host.h"
#include "support/test_support.h"
#include "ui/logic/wizard_flow.h"
#include "ui/qt/pictures.h"

namespace korv {
namespace {

namespace fs = std::filesystem;
using test::ClickNamed;
using test::WaitUntil;

const fs::path kCarveDisk = KORV_CARVE_DISK;

class ExtensionPageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Session& session = host.session();
    ASSERT_TRUE(session.OpenVirtualFile(kCarveDisk / "carve.qcow2").accepted);
    ASSERT_TRUE(session.SelectDisk());
    ChooseMode(session.wizard, RecoveryMode::RawData);
    // The wiped volume starts at the disk's first sector.
    session.range.firstSector = 0;
    page = std::make_unique<ExtensionWiseRecovery>(host);
    page->chooseFolder = [this] {
      ++foldersAsked;
      return folderAnswer;
    };
    page->resize(900, 700);
    page->show();
    page->Open();
  }

  QTreeWidget* List() const { return page->findChild<QTreeWidget*>(QStringLiteral("extensionList")); }
  QCheckBox* ExactEnds() const { return page->findChild<QCheckBox*>(QStringLiteral("exactEndsCheck")); }

  void Tick(std::string_view names) {
    const auto rows = RowsNamed(names);
    ASSERT_TRUE(rows.has_value());
    for (std::size_t row : *rows) List()->topLevelItem(static_cast<int>(row))->setCheckState(0, Qt::Checked);
  }

  void RunToEnd() {
    ASSERT_TRUE(ClickNamed(page.get(), "nextButton"));
    ASSERT_TRUE(page->running());
    ASSERT_TRUE(WaitUntil([&] { return !page->running(); }, 120000));
  }

  test::ScriptedHost host;
  test::TempDir out;
  std::unique_ptr<ExtensionWiseRecovery> page;
  QString folderAnswer = QString::fromStdString(out.path().string());
  int foldersAsked = 0;
};

TEST_F(ExtensionPageTest, ListsEveryTypeInOrderNothingTickedAndExactEndsOn) {
  QTreeWidget* list = List();
  const auto rows = CarveRows();
  ASSERT_EQ(list->topLevelItemCount(), static_cast<int>(rows.size()));
  ASSERT_GT(rows.size(), 23U) << "the added types follow the classic rows";
  EXPECT_EQ(list->topLevelItem(0)->text(0), QStringLiteral("AVI    -   Audio Video Interleave"));
  EXPECT_EQ(list->topLevelItem(8)->text(0), QStringLiteral("JPEG   -   Image Format"));
  EXPECT_EQ(list->topLevelItem(22)->text(0), QStringLiteral("ZIP    -   Compressed Archive File"));
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const QTreeWidgetItem* item = list->topLevelItem(static_cast<int>(i));
    EXPECT_EQ(item->text(0), ToQString(rows[i].text)) << i;
    EXPECT_EQ(item->checkState(0), Qt::Unchecked) << i;
  }
  EXPECT_EQ(list->headerItem()->text(0), ToQString(kExtensionListHeading));
  EXPECT_TRUE(ExactEnds()->isChecked());
  EXPECT_TRUE(host.session().runFlags.rawRun) << "opening the page marks the run as raw";
}

// Next that starts nothing: the page stays with its ticks and no scan runs.
struct RefusedNext {
  const char* name;
  const char* ticked;  // empty: nothing ticked
  bool folderChosen;
  int foldersAsked;
  const char* message;  // empty: none
};

class ExtensionPageRefusalTest : public ExtensionPageTest, public ::testing::WithParamInterface<RefusedNext> {};

TEST_P(ExtensionPageRefusalTest, NextStartsNoScan) {
  const RefusedNext& c = GetParam();
  if (*c.ticked != '\0') Tick(c.ticked);
  if (!c.folderChosen) folderAnswer.clear();
  const std::vector<std::size_t> before = page->tickedRows();
  ASSERT_TRUE(ClickNamed(page.get(), "nextButton"));
  EXPECT_FALSE(page->running());
  EXPECT_EQ(foldersAsked, c.foldersAsked);
  const std::vector<std::string> expected =
      *c.message == '\0' ? std::vector<std::string>{} : std::vector<std::string>{c.message};
  EXPECT_EQ(host.messages, expected);
  EXPECT_EQ(page->tickedRows(), before);
  EXPECT_FALSE(page->lastSummary().has_value());
  EXPECT_TRUE(fs::is_empty(out.path()));
}

INSTANTIATE_TEST_SUITE_P(Cases, ExtensionPageRefusalTest,
                         ::testing::Values(RefusedNext{"NothingTicked", "", true, 0, kMsgNoExtensionTicked.data()},
                                           RefusedNext{"FolderPickerClosed", "jpeg,xls", false, 1, ""}),
                         [](const auto& info) { return std::string(info.param.name); });

struct Original {
  std::string type;
  std::vector<std::uint8_t> bytes;
};

std::vector<Original> OriginalsOf(const std::vector<std::string>& types) {
  std::vector<Original> originals;
  const std::vector<std::uint8_t> text = test::ReadFileBytes(kCarveDisk / "originals" / "files.json");
  const auto files = nlohmann::json::parse(text.begin(), text.end());
  for (const auto& file : files) {
    const std::string type = file["type"];
    if (std::find(types.begin(), types.end(), type) == types.end()) continue;
    originals.push_back({type, test::ReadFileBytes(kCarveDisk / "originals" / file["name"].get<std::string>())});
  }
  return originals;
}

// Whether `folder`/TYPE holds a file that is `original` (exact), or, by the
// whole-sector rule, whole sectors that agree with it as far as both go (a
// JPEG may be cut at its thumbnail's end).
bool Carved(const fs::path& folder, const Original& original, bool exact) {
  const fs::path typeFolder = folder / original.type;
  if (!fs::is_directory(typeFolder)) return false;
  for (const auto& entry : fs::directory_iterator(typeFolder)) {
    const std::vector<std::uint8_t> bytes = test::ReadFileBytes(entry.path());
    const std::size_t shared = std::min(bytes.size(), original.bytes.size());
    const bool sameStart =
        shared >= std::min<std::size_t>(512, original.bytes.size()) &&
        std::equal(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(shared), original.bytes.begin());
    if (exact ? bytes == original.bytes : bytes.size() % 512 == 0 && sameStart) return true;
  }
  return false;
}

class ExtensionPageScanTest : public ExtensionPageTest, public ::testing::WithParamInterface<bool> {};

// A whole scan from Next: every JPEG and PNG of the disk written into the
// chosen folder, the end message shown, and the raw run over.
TEST_P(ExtensionPageScanTest, NextCarvesTheTickedTypesIntoTheChosenFolder) {
  const bool exact = GetParam();
  Tick("JPEG,PNG");
  ExactEnds()->setChecked(exact);
  RunToEnd();

  const std::vector<Original> originals = OriginalsOf({"JPEG", "PNG"});
  ASSERT_FALSE(originals.empty());
  for (const Original& original : originals) EXPECT_TRUE(Carved(out.path(), original, exact)) << original.type;
  ASSERT_TRUE(page->lastSummary().has_value());
  EXPECT_EQ(page->lastSummary()->filesWritten, originals.size());
  EXPECT_EQ(host.messages, std::vector<std::string>{std::string(kMsgRawCompleted)});
  EXPECT_FALSE(host.session().runFlags.rawRun) << "a later results page must not save as a raw run";
  EXPECT_EQ(foldersAsked, 1);
  EXPECT_EQ(page->tickedRows(), *RowsNamed("JPEG,PNG")) << "the page stays with its ticks";
}

INSTANTIATE_TEST_SUITE_P(Ends, ExtensionPageScanTest, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "ExactEnds" : "WholeSectors"; });

// A second scan into the same folder keeps what the first one wrote.
TEST_F(ExtensionPageTest, SecondScanIntoTheSameFolderKeepsTheFirst) {
  Tick("PNG");
  RunToEnd();
  RunToEnd();
  std::size_t files = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(out.path() / "PNG")) ++files;
  EXPECT_EQ(files, 2 * OriginalsOf({"PNG"}).size());
}

// A destination with no room: each file brings the space question. Stop,
// pressed while the first question is open and confirmed, ends the scan at
// its next checkpoint with the aborted message; No to every question
// leaves no file behind.
TEST_F(ExtensionPageTest, StopDuringTheSpaceQuestionAbortsTheScan) {
  page->freeSpace = [](const fs::path&) { return std::optional<std::uint64_t>(0); };
  host.answers = {true};
  int spaceQuestions = 0;
  QTimer answerer;
  QObject::connect(&answerer, &QTimer::timeout, [&] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (dialog == nullptr || !dialog->isVisible()) return;
    EXPECT_EQ(test::DialogText(dialog), std::string(kMsgDestinationSpace));
    if (++spaceQuestions == 1) page->findChild<QAbstractButton*>(QStringLiteral("stopButton"))->click();
    dialog->findChild<QAbstractButton*>(QStringLiteral("noButton"))->click();
  });
  answerer.start(20);
  Tick("JPEG,PNG");
  RunToEnd();
  answerer.stop();

  EXPECT_GE(spaceQuestions, 1);
  EXPECT_EQ(host.questions, std::vector<std::string>{std::string(kQuestionStopAnalysis)});
  ASSERT_TRUE(page->lastSummary().has_value());
  EXPECT_TRUE(page->lastSummary()->stopped);
  EXPECT_EQ(page->lastSummary()->filesWritten, 0U);
  EXPECT_EQ(page->lastSummary()->declinedFiles, static_cast<std::uint64_t>(spaceQuestions));
  const std::vector<std::string> messages = {std::string(kMsgRawAborted),
                                             std::string(kMsgNoRoom) + std::to_string(spaceQuestions) + "\n"};
  EXPECT_EQ(host.messages, messages) << "the files left out are named after the end message";
  for (const auto& entry : fs::recursive_directory_iterator(out.path())) {
    EXPECT_FALSE(entry.is_regular_file()) << entry.path();
  }
  EXPECT_FALSE(host.session().runFlags.rawRun);
  EXPECT_FALSE(page->findChild<QAbstractButton*>(QStringLiteral("stopButton"))->isEnabled());
}

TEST_F(ExtensionPageTest, BackClosesThePageAndEndsTheRawRun) {
  ASSERT_TRUE(ClickNamed(page.get(), "backButton"));
  EXPECT_EQ(host.extensionPagesClosed, 1);
  EXPECT_FALSE(host.session().runFlags.rawRun);
}

}  // namespace
}  // namespace korv
