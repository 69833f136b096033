// korvane-cli recover: analysis, then the save walk of what is selected,
// byte for byte, with the filters, the clash policy and the exit statuses.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <map>
#include <set>

#include "cli/cli_prompts.h"
#include "save/save_filters.h"
#include "save/save_walk.h"
#include "support/reader_checks.h"
#include "support/test_support.h"

namespace korv {
namespace {

using Json = nlohmann::json;

std::string Disk() { return (test::TestDisksDir() / "basic-dynamic.vhd").string(); }

Json PartitionEntries(int index) {
  std::ifstream in(test::TestDisksDir() / "manifest.json");
  const Json manifest = Json::parse(in);
  for (const Json& partition : manifest["disks"][0]["partitions"]) {
    if (partition["index"] == index) return partition["entries"];
  }
  return Json::array();
}

TEST(RecoverCommandTest, SavesEveryFileOfBothVolumesByteForByte) {
  for (const int partition : {1, 2}) {
    test::TempDir dir;
    const auto out = dir / "out";
    const auto run = test::RunCli(
        {"recover", Disk(), "--partition", std::to_string(partition), "--output", out.string()}, dir.path());
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find(kMsgSavingCompleted), std::string::npos) << run.err;
    const auto sums = test::Sha256Below(out);
    std::set<std::string> savedHashes;
    for (const auto& [path, sum] : sums) savedHashes.insert(sum);
    for (const Json& entry : PartitionEntries(partition)) {
      if (entry["kind"] != "file" || entry["size"] == 0) continue;
      const std::string path = entry["path"];
      // Deleted FAT names lose their first letter on disk; their bytes must
      // still be among what was saved.
      if (partition == 2 && entry["deleted"] == true) {
        EXPECT_TRUE(savedHashes.contains(entry["sha256"])) << path;
        continue;
      }
      ASSERT_TRUE(sums.contains(path)) << path;
      EXPECT_EQ(sums.at(path), entry["sha256"]) << path;
    }
  }
}

TEST(RecoverCommandTest, SelectionFiltersAndClashesFollowTheFlags) {
  test::TempDir dir;
  const auto out = dir / "out";
  const std::vector<std::string> base = {"recover", Disk(), "--partition", "1", "--output", out.string()};
  auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> args = base;
    args.insert(args.end(), more.begin(), more.end());
    return test::RunCli(args, dir.path());
  };

  ASSERT_EQ(with({"--select", "Documents/Reports", "--deleted", "only"}).status, 0);
  EXPECT_EQ(test::Sha256Below(out).size(), 1u);  // Documents/Reports/2023/q2.xls
  EXPECT_TRUE(std::filesystem::exists(out / "Documents/Reports/2023/q2.xls"));

  // The same again: renamed beside the first, then skipped.
  ASSERT_EQ(with({"--select", "Documents/Reports", "--deleted", "only"}).status, 0);
  EXPECT_TRUE(std::filesystem::exists(out / "Documents/Reports/2023/q20.xls"));
  // A skip answered to the clash counts the file as done, as the dialog's
  // Skip does.
  EXPECT_EQ(with({"--select", "Documents/Reports", "--deleted", "only", "--on-exists", "skip"}).status, 0);
  EXPECT_FALSE(std::filesystem::exists(out / "Documents/Reports/2023/q21.xls"));

  ASSERT_EQ(with({"--select", "Pictures", "--ext", "jpg"}).status, 0);
  EXPECT_TRUE(std::filesystem::exists(out / "Pictures/holiday.jpg"));
  EXPECT_FALSE(std::filesystem::exists(out / "Pictures/old-scan.bmp"));

  const auto nowhere = with({"--select", "No/Such/Folder"});
  EXPECT_EQ(nowhere.status, 2);
  EXPECT_NE(nowhere.err.find("No/Such/Folder"), std::string::npos);

  const auto badExtension = with({"--ext", "toolongext"});
  EXPECT_EQ(badExtension.status, 2);
  EXPECT_FALSE(badExtension.err.empty());
}

// The ID each path has in the analysis listing.
std::map<std::string, std::string> IdsByPath(const std::string& partition, const std::filesystem::path& scratch) {
  const auto run = test::RunCli({"analyze", Disk(), "--partition", partition, "--json"}, scratch);
  std::map<std::string, std::string> ids;
  const Json report = Json::parse(run.out);
  for (const Json& item : report["items"]) ids[item["path"]] = std::to_string(item["itemId"].get<std::uint64_t>());
  return ids;
}

// What a dry run lists is what the save then writes, and the summary, the
// verbose lines and the JSON count the same files.
TEST(RecoverCommandTest, DryRunSummaryAndJsonAgreeWithWhatIsWritten) {
  test::TempDir dir;
  const auto out = dir / "out";
  const std::vector<std::string> base = {"recover", Disk(), "--partition", "2", "--output", out.string()};
  auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> args = base;
    args.insert(args.end(), more.begin(), more.end());
    return test::RunCli(args, dir.path());
  };

  const auto dry = with({"--dry-run", "--json"});
  ASSERT_EQ(dry.status, 0) << dry.err;
  EXPECT_FALSE(std::filesystem::exists(out));
  const Json plan = Json::parse(dry.out);
  std::set<std::string> planned;
  for (const Json& file : plan["files"]) planned.insert(std::filesystem::path(file["path"]).lexically_relative(out));

  const auto first = with({"--json"});
  ASSERT_EQ(first.status, 0) << first.err;
  const Json summary = Json::parse(first.out);
  std::set<std::string> written;
  for (const auto& [path, sum] : test::Sha256Below(out)) written.insert(path);
  EXPECT_EQ(planned, written);
  EXPECT_EQ(summary["written"], written.size());
  EXPECT_EQ(summary["renamed"], 0);
  EXPECT_EQ(summary["bytesWritten"], plan["selectedBytes"]);

  // Again: every file is renamed beside the first, one verbose line each.
  const auto again = with({"--verbose"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.out.find("Files written: " + std::to_string(written.size()) + " (" +
                           std::to_string(written.size()) + " renamed)"),
            std::string::npos)
      << again.out;
  EXPECT_EQ(std::count(again.out.begin(), again.out.end(), '\n'), static_cast<long>(written.size()) + 4);
  const auto skipped = with({"--on-exists", "skip", "--json"});
  EXPECT_EQ(Json::parse(skipped.out)["skipped"], written.size());
}

TEST(RecoverCommandTest, SelectIdTakesFilesAndFoldersAsTheListingNumbersThem) {
  test::TempDir dir;
  const auto ids = IdsByPath("1", dir.path());
  const auto out = dir / "out";
  const auto run = test::RunCli({"recover", Disk(), "--partition", "1", "--output", out.string(), "--select-id",
                                 ids.at("Documents/Reports"), "--select-id", ids.at("Pictures/holiday.jpg")},
                                dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  for (const auto& [path, sum] : test::Sha256Below(out)) {
    EXPECT_TRUE(path.starts_with("Documents/Reports/") || path == "Pictures/holiday.jpg") << path;
  }
  EXPECT_TRUE(std::filesystem::exists(out / "Pictures/holiday.jpg"));

  for (const std::string bad : {"x1", "0", "99999", "", "-1", "1x"}) {
    const auto refused =
        test::RunCli({"recover", Disk(), "--partition", "1", "--output", out.string(), "--select-id", bad}, dir.path());
    EXPECT_EQ(refused.status, 2) << bad;
    EXPECT_NE(refused.err.find("no item with the ID " + bad), std::string::npos) << refused.err;
  }
}

// extract writes exactly the bytes recover saves, to standard output or a
// file, and refuses a folder's ID.
TEST(RecoverCommandTest, ExtractGivesEachFileAsRecoverSavesIt) {
  test::TempDir dir;
  const auto out = dir / "out";
  ASSERT_EQ(test::RunCli({"recover", Disk(), "--partition", "1", "--output", out.string()}, dir.path()).status, 0);
  const auto saved = test::Sha256Below(out);
  const auto ids = IdsByPath("1", dir.path());
  for (const std::string path : {"Pictures/holiday.jpg", "Documents/Reports/2023/q2.xls"}) {
    const auto piped = test::RunCli({"extract", Disk(), "--partition", "1", "--id", ids.at(path)}, dir.path());
    ASSERT_EQ(piped.status, 0) << piped.err;
    std::ofstream(dir / "piped.bin", std::ios::binary) << piped.out;
    EXPECT_EQ(test::Sha256Below(dir.path()).at("piped.bin"), saved.at(path)) << path;
    const auto file = dir / "one.bin";
    ASSERT_EQ(test::RunCli({"extract", Disk(), "--partition", "1", "--id", ids.at(path), "--output", file.string()},
                           dir.path())
                  .status,
              0);
    EXPECT_EQ(test::Sha256Below(dir.path()).at("one.bin"), saved.at(path)) << path;
  }
  const auto folder = test::RunCli({"extract", Disk(), "--partition", "1", "--id", ids.at("Pictures")}, dir.path());
  EXPECT_EQ(folder.status, 2);
  EXPECT_TRUE(folder.out.empty());
}

// The free-space question is shown on standard error with its answer: No,
// unless --force answers Yes.
TEST(RecoverCommandTest, QuestionsAreShownWithTheAnswerGiven) {
  for (const bool force : {false, true}) {
    cli::CliPrompts prompts(BadSectorAnswer::SkipAll, force);
    testing::internal::CaptureStderr();
    const bool goOn = ConfirmFreeSpace(prompts, 2000, 1000);
    const std::string shown = testing::internal::GetCapturedStderr();
    EXPECT_EQ(goOn, force);
    EXPECT_EQ(shown, InsufficientSpaceQuestion(2000) + "\n" +
                         std::string(force ? cli::kNoteAnsweredYes : cli::kNoteAnsweredNo) + "\n");
  }
}

TEST(RecoverCommandTest, NeverChangesTheDiskFileItReads) {
  test::TempDir dir;
  const auto disk = dir / "copy.vhd";
  std::filesystem::copy_file(Disk(), disk);
  const auto before = test::Sha256Below(dir.path());
  const auto statBefore = std::filesystem::last_write_time(disk);
  ASSERT_EQ(test::RunCli({"recover", disk.string(), "--partition", "2", "--output", (dir / "out").string()},
                         dir.path())
                .status,
            0);
  EXPECT_EQ(test::Sha256Below(dir.path()).at("copy.vhd"), before.at("copy.vhd"));
  EXPECT_EQ(std::filesystem::last_write_time(disk), statBefore);
}

}  // namespace
}  // namespace korv
