// Writing carved files: names that never overwrite, the space question and
// its destination dialog, and short writes that leave no partial file.
#include <csignal>
#include <sys/resource.h>

#include "carve_test_disk.h"
#include "support/byte_writers.h"

namespace korv::test {
namespace {

constexpr std::uint64_t kSector = 512;

class CarvedWriterTest : public CarveScanTest {
 protected:
  // Two XML files of `bytes` bytes each, whose ends are exact.
  void PutTwoFiles(std::size_t bytes = 600) {
    for (const std::uint64_t sector : {4u, 40u}) {
      std::string text = "<?xml version=\"1.0\"?>\r\n<a>";
      text.resize(bytes - 6, 'x');
      Put(sector * kSector, text + "</a>\r\n");
    }
  }
};

// Numbers whose file exists are passed over, so a second scan into the
// same folder keeps the first one's files.
TEST_F(CarvedWriterTest, NumbersSkipExistingFiles) {
  PutTwoFiles();
  std::filesystem::create_directories(out_.path() / "XML");
  WriteFileBytes(out_.path() / "XML" / "0.XML", {1, 2, 3});
  WriteFileBytes(out_.path() / "XML" / "2.XML", {4, 5, 6});
  const CarveSummary summary = Scan("XML", true, 0, 100);
  EXPECT_EQ(summary.filesWritten, 2u);
  EXPECT_EQ(Carved("XML/0.XML"), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_EQ(Carved("XML/2.XML"), (std::vector<std::uint8_t>{4, 5, 6}));
  EXPECT_EQ(Carved("XML/1.XML").size(), 600u);
  EXPECT_EQ(Carved("XML/3.XML").size(), 600u);
}

struct SpaceCase {
  const char* name;
  std::vector<bool> answers;  // to the space question and the stop question, in order
  bool dialogGivesFolder;
  std::uint64_t written;
  bool stopped;
};

class SpaceQuestion : public CarvedWriterTest, public ::testing::WithParamInterface<SpaceCase> {};

TEST_P(SpaceQuestion, FollowsTheAnswers) {
  const SpaceCase& c = GetParam();
  PutTwoFiles();
  TempDir roomy;
  const std::filesystem::path full = out_.path();
  freeSpace_ = [full](const std::filesystem::path& path) -> std::optional<std::uint64_t> {
    return path == full ? 100 : 1'000'000;
  };
  prompts_.yesNoAnswers.assign(c.answers.begin(), c.answers.end());
  if (c.dialogGivesFolder) dialog_.answers = {roomy.path()};
  const CarveSummary summary = Scan("XML", true, 0, 100);
  ASSERT_FALSE(prompts_.yesNoQuestions.empty());
  EXPECT_EQ(prompts_.yesNoQuestions.front(), kMsgDestinationSpace);
  EXPECT_EQ(summary.filesWritten, c.written);
  EXPECT_EQ(summary.stopped, c.stopped);
  EXPECT_EQ(summary.endMessage, c.stopped ? kMsgRawAborted : kMsgRawCompleted);
  // Nothing is ever written where there is no room.
  EXPECT_FALSE(std::filesystem::exists(full / "XML" / "0.XML"));
  if (c.written > 0) EXPECT_TRUE(std::filesystem::exists(roomy.path() / "XML" / "1.XML"));
}

INSTANTIATE_TEST_SUITE_P(
    Answers, SpaceQuestion,
    ::testing::Values(SpaceCase{"NoSkipsEachFile", {false, false}, false, 0, false},
                      SpaceCase{"YesPicksAnotherFolder", {true}, true, 2, false},
                      SpaceCase{"NoFolderThenStop", {true, true}, false, 0, true}),
    [](const auto& info) { return std::string(info.param.name); });

// A destination that takes only part of a file (here a file-size limit, as
// a full disk would): the partial file is removed and named in the summary,
// and only whole files are counted.
TEST_F(CarvedWriterTest, ShortWriteRemovesThePartialFile) {
  PutTwoFiles(3000);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 1000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const CarveSummary summary = Scan("XML", true, 0, 100);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, oldHandler);

  EXPECT_EQ(summary.filesWritten, 0u);
  EXPECT_EQ(summary.bytesWritten, 0u);
  ASSERT_EQ(summary.failedFiles.size(), 2u);
  for (const auto& path : summary.failedFiles) EXPECT_FALSE(std::filesystem::exists(path)) << path;
}

}  // namespace
}  // namespace korv::test
