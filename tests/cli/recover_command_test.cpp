// korvane-cli recover: analysis, then the save walk of what is selected,
// byte for byte, with the filters, the clash policy and the exit statuses.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <set>

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
