// korvane-cli analyze (Deleted Data Recovery) of both volumes of every
// container: the found tree is the manifest's, and its deleted items are
// what the Sleuth Kit lists as deleted.
#include <set>
#include <sstream>

#include "e2e/e2e_disks.h"
#include "support/reader_checks.h"

namespace korv::e2e {
namespace {

constexpr int kNtfsPartition = 1;
constexpr int kFatPartition = 2;

class AnalyzeEveryContainer : public ::testing::TestWithParam<Container>, protected CliTest {
 protected:
  Json Analyze(int partition) {
    const auto run = Cli({"analyze", DiskPath(GetParam().file), "--partition", std::to_string(partition), "--json"});
    EXPECT_EQ(run.status, 0) << run.err;
    if (run.status != 0) return nullptr;
    return Json::parse(run.out);
  }
};

TEST_P(AnalyzeEveryContainer, FindsEveryManifestEntryOfBothVolumes) {
  for (const int partition : {kNtfsPartition, kFatPartition}) {
    const bool fat = partition == kFatPartition;
    const Json report = Analyze(partition);
    ASSERT_FALSE(report.is_null());
    EXPECT_EQ(report["mode"], "deleted");
    EXPECT_EQ(report["fileSystem"], fat ? "FAT32" : "NTFS");
    EXPECT_EQ(Differences(ExpectedItems(PartitionEntries(partition), fat), FoundItems(report)),
              std::vector<std::string>{})
        << GetParam().file << " partition " << partition;
  }
}

INSTANTIATE_TEST_SUITE_P(Containers, AnalyzeEveryContainer, ::testing::ValuesIn(Containers()),
                         [](const auto& info) { return ParamName(info.param.file); });

// The deleted paths `fls -r -d -p` lists for a volume of basic.raw, without
// its $OrphanFiles.
std::set<std::string> FlsDeletedPaths(std::uint64_t firstSector) {
  const auto listing = test::ProgramOutput(
      {"fls", "-r", "-d", "-p", "-o", std::to_string(firstSector), (test::TestDisksDir() / "basic.raw").string()});
  std::set<std::string> paths;
  if (!listing) return paths;
  std::istringstream lines(*listing);
  for (std::string line; std::getline(lines, line);) {
    const auto tab = line.find('\t');
    if (tab == std::string::npos) continue;
    const std::string path = line.substr(tab + 1);
    if (path.starts_with("$OrphanFiles")) continue;
    paths.insert(path);
  }
  return paths;
}

// basic-fixed.vhd is basic.raw with a footer, so fls reads the same volumes.
TEST(AnalyzeAgainstSleuthKit, DeletedItemsAreTheOnesFlsLists) {
  if (!test::RunProgram({"fls", "-V"})) GTEST_SKIP() << "the Sleuth Kit is not installed";
  test::TempDir scratch;
  for (const int partition : {kNtfsPartition, kFatPartition}) {
    const std::set<std::string> expected = FlsDeletedPaths(PartitionFirstSector(partition));
    ASSERT_FALSE(expected.empty()) << "fls found nothing deleted in partition " << partition;
    const auto run = test::RunCli(
        {"analyze", DiskPath("basic-fixed.vhd"), "--partition", std::to_string(partition), "--json"}, scratch.path());
    ASSERT_EQ(run.status, 0) << run.err;
    const Json report = Json::parse(run.out);
    std::set<std::string> found;
    for (const Json& item : report["items"]) {
      if (item["deleted"] == true) found.insert(item["path"].get<std::string>());
    }
    EXPECT_EQ(found, expected) << "partition " << partition;
  }
}

}  // namespace
}  // namespace korv::e2e
