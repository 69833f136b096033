// korvane-cli carve: choosing a partition or range, the summary in text and
// JSON, and the statuses.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "carve/raw_scan.h"
#include "support/test_support.h"

namespace korv {
namespace {

using Json = nlohmann::json;

const std::filesystem::path kCarveDisk = KORV_CARVE_DISK;

test::CliRun Carve(const test::TempDir& dir, std::vector<std::string> args) {
  std::vector<std::string> all = {"carve", "--output", (dir / "out").string(), "--inventory",
                                  (dir / "inventory.json").string()};
  all.insert(all.end(), args.begin(), args.end());
  return test::RunCli(all, dir.path());
}

// A partition of the basic disk: its range is carved; the summary says what
// was written and ends with the end message.
TEST(CarveCommandTest, PartitionRunPrintsItsSummary) {
  test::TempDir dir;
  const auto run = Carve(dir, {(test::TestDisksDir() / "basic-dynamic.vhd").string(), "--partition", "2", "--types",
                               "jpeg,bmp,pdf", "--json"});
  ASSERT_EQ(run.status, 0) << run.err;
  const Json summary = Json::parse(run.out);
  EXPECT_EQ(summary["message"], std::string(kMsgRawCompleted));
  EXPECT_EQ(summary["failed"].size(), 0u);
  EXPECT_FALSE(summary["stopped"].get<bool>());
}

TEST(CarveCommandTest, TextSummaryCountsFilesPerType) {
  test::TempDir dir;
  const auto run = Carve(dir, {(kCarveDisk / "carve.qcow2").string(), "--first", "0", "--end", "32768", "--types",
                               "JPEG,PNG"});
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.out.find("JPEG\t2\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("PNG\t1\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Files written: 3\n"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find(kMsgRawCompleted), std::string::npos) << run.out;
}

TEST(CarveCommandTest, MissingPartitionIsRefused) {
  test::TempDir dir;
  const auto run = Carve(dir, {(kCarveDisk / "carve.qcow2").string(), "--partition", "3", "--types", "all"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("The disk has no partition 3."), std::string::npos) << run.err;
}

}  // namespace
}  // namespace korv
