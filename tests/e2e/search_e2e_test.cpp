// The search filters of korvane-cli over both volumes of the test disk:
// analyze lists exactly the items a filter of its own unfiltered listing
// keeps (same JSON shape, same counts, fewer items; text alike), and
// recover saves exactly the matching files.
#include <algorithm>
#include <cctype>
#include <functional>
#include <set>
#include <sstream>

#include "e2e/e2e_disks.h"
#include "save/save_walk.h"

namespace korv::e2e {
namespace {

constexpr int kNtfsPartition = 1;
constexpr int kFatPartition = 2;
// Replaced by the day readme.txt / README.TXT was written, as the listing
// shows it.
constexpr std::string_view kWrittenDay = "DAY";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

std::string NameOf(const Json& item) {
  const std::string path = item["path"];
  return path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
}

bool IsFile(const Json& item) { return item["kind"] == "file"; }
std::uint64_t SizeOf(const Json& item) { return item["size"]; }

struct FilterCase {
  const char* name;
  int partition;
  std::vector<std::string> args;
  // What the filter keeps of an unfiltered item; `day` is the written day.
  std::function<bool(const Json& item, const std::string& day)> keeps;
};

const std::vector<FilterCase>& FilterCases() {
  static const std::vector<FilterCase> cases = {
      {"NtfsExtension", kNtfsPartition, {"--name", "*.XLS"},
       [](const Json& item, const std::string&) { return Lower(NameOf(item)).ends_with(".xls"); }},
      {"FatPartOfName", kFatPartition, {"--name", "report"},
       [](const Json& item, const std::string&) { return Lower(NameOf(item)).find("report") != std::string::npos; }},
      {"NtfsDeletedOnly", kNtfsPartition, {"--deleted", "only"},
       [](const Json& item, const std::string&) { return item["deleted"] == true; }},
      {"FatLiveTextFiles", kFatPartition, {"--deleted", "exclude", "--name", "*.txt"},
       [](const Json& item, const std::string&) {
         return item["deleted"] == false && Lower(NameOf(item)).ends_with(".txt");
       }},
      {"NtfsOneToTwoKilobytes", kNtfsPartition, {"--size", "1K..2K"},
       [](const Json& item, const std::string&) { return IsFile(item) && SizeOf(item) >= 1024 && SizeOf(item) <= 2048; }},
      {"FatNoSizeLimitLeavesFoldersOut", kFatPartition, {"--size", "0..0"},
       [](const Json& item, const std::string&) { return IsFile(item); }},
      {"FatBytesToMegabytes", kFatPartition, {"--size", "2048..1M"},
       [](const Json& item, const std::string&) {
         return IsFile(item) && SizeOf(item) >= 2048 && SizeOf(item) <= (1u << 20);
       }},
      {"NtfsLastCentury", kNtfsPartition, {"--date", "modified:1990-01-01..1999-12-31"},
       [](const Json&, const std::string&) { return false; }},
      {"NtfsWrittenDay", kNtfsPartition, {"--date", "modified:DAY..DAY"},
       [](const Json& item, const std::string& day) {
         return item["modified"].is_string() && item["modified"].get<std::string>().starts_with(day);
       }},
      {"FatWrittenDayAndName", kFatPartition, {"--date", "modified:DAY..DAY", "--name", "*.*"},
       [](const Json& item, const std::string& day) {
         return item["modified"].is_string() && item["modified"].get<std::string>().starts_with(day);
       }},
  };
  return cases;
}

class SearchFilters : public ::testing::TestWithParam<std::size_t>, protected CliTest {
 protected:
  const FilterCase& Case() const { return FilterCases()[GetParam()]; }
  std::vector<std::string> Base(const char* command) const {
    return {command, DiskPath("basic-dynamic.vhd"), "--partition", std::to_string(Case().partition)};
  }

  // The case's arguments with the written day put in.
  std::vector<std::string> FilterArgs(const std::string& day) const {
    std::vector<std::string> args = Case().args;
    for (std::string& arg : args) {
      for (auto at = arg.find(kWrittenDay); at != std::string::npos; at = arg.find(kWrittenDay)) {
        arg.replace(at, kWrittenDay.size(), day);
      }
    }
    return args;
  }

  test::CliRun Analyze(const std::vector<std::string>& more) {
    std::vector<std::string> args = Base("analyze");
    args.insert(args.end(), more.begin(), more.end());
    return Cli(args);
  }
};

// The first ten characters of the listed modified time of the volume's
// readme.
std::string WrittenDay(const Json& report) {
  for (const Json& item : report["items"]) {
    if (Lower(item["path"]) == "readme.txt") return item["modified"].get<std::string>().substr(0, 10);
  }
  return "none";
}

std::set<std::string> Paths(const Json& items) {
  std::set<std::string> paths;
  for (const Json& item : items) paths.insert(item["path"].get<std::string>());
  return paths;
}

TEST_P(SearchFilters, AnalyzeListsExactlyTheMatches) {
  const auto whole = Analyze({"--json"});
  ASSERT_EQ(whole.status, 0) << whole.err;
  const Json all = Json::parse(whole.out);
  const std::string day = WrittenDay(all);

  std::set<std::string> expected;
  for (const Json& item : all["items"]) {
    if (Case().keeps(item, day)) expected.insert(item["path"].get<std::string>());
  }
  std::vector<std::string> jsonArgs = FilterArgs(day);
  jsonArgs.push_back("--json");
  const auto filtered = Analyze(jsonArgs);
  ASSERT_EQ(filtered.status, 0) << filtered.err;
  const Json matches = Json::parse(filtered.out);
  EXPECT_EQ(Paths(matches["items"]), expected) << Case().name;
  if (std::string_view(Case().name) != "NtfsLastCentury") EXPECT_FALSE(expected.empty()) << "the case finds something";
  for (const char* member : {"mode", "fileSystem", "fileCount", "folderCount", "totalBytes"}) {
    EXPECT_EQ(matches[member], all[member]) << member << ": the counts are the analysis's";
  }

  const auto text = Analyze(FilterArgs(day));
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_EQ(static_cast<std::size_t>(std::count(text.out.begin(), text.out.end(), '\n')), expected.size());
}

INSTANTIATE_TEST_SUITE_P(Cases, SearchFilters, ::testing::Range<std::size_t>(0, FilterCases().size()),
                         [](const auto& info) { return std::string(FilterCases()[info.param].name); });

class SearchRecover : public ::testing::Test, protected CliTest {};

TEST_F(SearchRecover, SavesOnlyTheMatchingFiles) {
  const std::string disk = DiskPath("basic-dynamic.vhd");
  const auto out = Scratch("xls");
  const auto run = Cli({"recover", disk, "--partition", "1", "--name", "*.xls", "--output", out.string()});
  ASSERT_EQ(run.status, 0) << run.err;
  std::map<std::string, std::string> expected;
  for (const Json& entry : PartitionEntries(kNtfsPartition)) {
    if (Lower(entry["path"]).ends_with(".xls")) expected[entry["path"]] = entry["sha256"];
  }
  ASSERT_EQ(expected.size(), 2u);
  EXPECT_EQ(SavedFiles(out), expected);

  // With --select the matches of the selection alone; the files listed
  // with the same filters are the ones saved.
  const auto fatOut = Scratch("fat");
  const std::vector<std::string> filters = {"--size", "2K..5K", "--deleted", "only"};
  std::vector<std::string> recover = {"recover", disk, "--partition", "2", "--output", fatOut.string()};
  recover.insert(recover.end(), filters.begin(), filters.end());
  ASSERT_EQ(Cli(recover).status, 0);
  std::vector<std::string> analyze = {"analyze", disk, "--partition", "2", "--json"};
  analyze.insert(analyze.end(), filters.begin(), filters.end());
  const auto listed = Cli(analyze);
  ASSERT_EQ(listed.status, 0) << listed.err;
  std::set<std::string> files;
  const Json report = Json::parse(listed.out);
  for (const Json& item : report["items"]) files.insert(item["path"].get<std::string>());
  std::set<std::string> saved;
  for (const auto& [path, sum] : SavedFiles(fatOut)) saved.insert(path);
  EXPECT_EQ(saved, files);
  EXPECT_FALSE(saved.empty());

  // Nothing matches: nothing is selected, as an empty selection in the
  // wizard.
  const auto none = Cli({"recover", disk, "--partition", "1", "--name", "no-such-name", "--output",
                         Scratch("none").string()});
  EXPECT_EQ(none.status, 2);
  EXPECT_NE(none.err.find(kMsgNothingSelected), std::string::npos) << none.err;
}

}  // namespace
}  // namespace korv::e2e
