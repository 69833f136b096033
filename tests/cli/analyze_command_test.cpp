// korvane-cli analyze: the found tree of a partition or a typed range, as
// text and JSON, and the refusals of the source choice.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>
#include <nlohmann/json.hpp>

#include "cli/source_choice.h"
#include "support/test_support.h"
#include "volumes/source_tree.h"

namespace korv {
namespace {

using Json = nlohmann::json;

std::string Disk() { return (test::TestDisksDir() / "basic-dynamic.vhd").string(); }

const Json& ManifestPartition(const Json& manifest, int index) {
  for (const Json& partition : manifest["disks"][0]["partitions"]) {
    if (partition["index"] == index) return partition;
  }
  throw std::runtime_error("no partition");
}

TEST(AnalyzeCommandTest, ListsEveryLiveAndDeletedNtfsItemAsJson) {
  test::TempDir dir;
  const auto run = test::RunCli({"analyze", Disk(), "--partition", "1", "--json"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  const Json report = Json::parse(run.out);
  EXPECT_EQ(report["fileSystem"], "NTFS");
  std::map<std::string, Json> items;
  for (const Json& item : report["items"]) items[item["path"]] = item;

  std::ifstream in(test::TestDisksDir() / "manifest.json");
  const Json manifest = Json::parse(in);
  for (const Json& entry : ManifestPartition(manifest, 1)["entries"]) {
    const std::string path = entry["path"];
    ASSERT_TRUE(items.contains(path)) << path;
    EXPECT_EQ(items[path]["deleted"], entry["deleted"]) << path;
    EXPECT_EQ(items[path]["kind"], entry["kind"]) << path;
    if (entry["kind"] == "file") EXPECT_EQ(items[path]["size"], entry["size"]) << path;
  }
  const std::string modified = items["Documents/letter.txt"]["modified"];
  EXPECT_EQ(modified.back(), 'Z');
  EXPECT_EQ(items["Lost"]["modified"], nullptr);
}

TEST(AnalyzeCommandTest, PrintsOneFatItemALineAndATypedRangeGivesTheSameTree) {
  test::TempDir dir;
  const auto byPartition = test::RunCli({"analyze", Disk(), "--partition", "2"}, dir.path());
  ASSERT_EQ(byPartition.status, 0) << byPartition.err;
  EXPECT_NE(byPartition.out.find("Deleted Folder\t0\t"), std::string::npos);
  EXPECT_NE(byPartition.out.find("\tDOCS/A Long File Name With Spaces.txt\n"), std::string::npos) << byPartition.out;

  const auto byRange = test::RunCli(
      {"analyze", Disk(), "--first", "51200", "--end", "131072", "--fs", "FAT32"}, dir.path());
  ASSERT_EQ(byRange.status, 0) << byRange.err;
  EXPECT_EQ(byRange.out, byPartition.out);

  // Choices are taken in any case; a wrong one lists the right ones.
  const auto anyCase = test::RunCli(
      {"analyze", Disk(), "--first", "51200", "--end", "131072", "--fs", "fat32", "--mode", "Deleted"}, dir.path());
  ASSERT_EQ(anyCase.status, 0) << anyCase.err;
  EXPECT_EQ(anyCase.out, byPartition.out);
  const auto wrong = test::RunCli({"analyze", Disk(), "--partition", "2", "--mode", "undelete"}, dir.path());
  EXPECT_EQ(wrong.status, 2);
  EXPECT_NE(wrong.err.find("{deleted,formatted,partition}"), std::string::npos) << wrong.err;
}

TEST(AnalyzeCommandTest, RefusesWhatTheSourcePageWouldRefuse) {
  test::TempDir dir;
  const auto missing = test::RunCli({"analyze", Disk(), "--partition", "3"}, dir.path());
  EXPECT_EQ(missing.status, 2);
  EXPECT_EQ(missing.err, std::string(cli::kMsgNoSuchPartition) + "3.\n");

  const auto both = test::RunCli({"analyze", Disk(), "--partition", "1", "--first", "5"}, dir.path());
  EXPECT_EQ(both.status, 2);
  EXPECT_EQ(both.err, std::string(cli::kMsgChooseOneSource) + "\n");

  const auto backwards =
      test::RunCli({"analyze", Disk(), "--first", "500", "--end", "400", "--fs", "NTFS"}, dir.path());
  EXPECT_EQ(backwards.status, 2);
  EXPECT_EQ(backwards.err, std::string(kMsgEndBiggerThanStart) + "\n");

  // A range whose first sector holds no NTFS boot sector.
  const auto noVolume = test::RunCli({"analyze", Disk(), "--first", "1", "--end", "400", "--fs", "NTFS"}, dir.path());
  EXPECT_EQ(noVolume.status, 2);
  EXPECT_NE(noVolume.err.find("cannot be read"), std::string::npos) << noVolume.err;
}

// The JSON report is written item by item; its bytes are those the JSON
// library lays out for the same document, and its items are the text
// listing's lines in the same order.
struct ListingCase {
  const char* name;
  std::vector<std::string> args;
};

class AnalyzeListingTest : public ::testing::TestWithParam<ListingCase> {};

TEST_P(AnalyzeListingTest, JsonIsTheLibrarysLayoutAndFollowsTheTextListing) {
  test::TempDir dir;
  std::vector<std::string> args = {"analyze", Disk()};
  args.insert(args.end(), GetParam().args.begin(), GetParam().args.end());
  const auto text = test::RunCli(args, dir.path());
  args.push_back("--json");
  const auto json = test::RunCli(args, dir.path());
  ASSERT_EQ(json.status, text.status) << json.err;
  ASSERT_EQ(json.status, 0) << json.err;

  const Json report = Json::parse(json.out);
  EXPECT_EQ(json.out, report.dump(2) + "\n");
  std::istringstream lines(text.out);
  std::string line;
  std::size_t index = 0;
  while (std::getline(lines, line)) {
    ASSERT_LT(index, report["items"].size()) << line;
    const Json& item = report["items"][index++];
    EXPECT_EQ(line.substr(line.rfind('\t') + 1), item["path"]);
    // The ID column comes first: the place in the listing, from 1.
    EXPECT_EQ(line.substr(0, line.find('\t')), std::to_string(index));
    EXPECT_EQ(item["itemId"], index);
  }
  EXPECT_EQ(index, report["items"].size());
}

INSTANTIATE_TEST_SUITE_P(
    Listings, AnalyzeListingTest,
    ::testing::Values(ListingCase{"NtfsDeleted", {"--partition", "1"}},
                      ListingCase{"FatDeleted", {"--partition", "2"}},
                      ListingCase{"NtfsFormatted", {"--partition", "1", "--mode", "formatted"}},
                      ListingCase{"FatFormatted", {"--partition", "2", "--mode", "formatted"}}),
    [](const ::testing::TestParamInfo<ListingCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace korv
