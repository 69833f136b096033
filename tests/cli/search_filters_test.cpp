// The search filters of analyze and recover: a value that cannot be read is
// refused with its message and status 2, before the disk is analysed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/search_filters.h"
#include "support/test_support.h"

namespace korv {
namespace {

struct BadFilter {
  std::string option;
  std::string value;
  std::string_view message;
};

class RefusedSearchFilter : public testing::TestWithParam<BadFilter> {};

TEST_P(RefusedSearchFilter, IsRefusedWithItsMessageByBothCommands) {
  const BadFilter& bad = GetParam();
  const std::string disk = (test::TestDisksDir() / "basic-dynamic.vhd").string();
  for (const std::string command : {"analyze", "recover"}) {
    test::TempDir dir;
    std::vector<std::string> args = {command, disk, "--partition", "1", bad.option, bad.value};
    if (command == "recover") args.insert(args.end(), {"--output", (dir / "out").string()});
    const auto run = test::RunCli(args, dir.path());
    EXPECT_EQ(run.status, 2) << command << ' ' << bad.value;
    EXPECT_EQ(run.err, std::string(bad.message) + bad.value + "\n") << command;
    EXPECT_FALSE(std::filesystem::exists(dir / "out")) << "nothing is saved";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Values, RefusedSearchFilter,
    testing::Values(BadFilter{"--size", "1K", cli::kMsgBadSizeFilter}, BadFilter{"--size", "1X..2K", cli::kMsgBadSizeFilter},
                    BadFilter{"--size", "-1..2", cli::kMsgBadSizeFilter},
                    BadFilter{"--size", "..2M", cli::kMsgBadSizeFilter},
                    BadFilter{"--size", "1..99999999999999999999", cli::kMsgBadSizeFilter},
                    BadFilter{"--size", "1..20000000000G", cli::kMsgBadSizeFilter},
                    BadFilter{"--size", "2M..1K", cli::kMsgSizeRangeReversed},
                    BadFilter{"--date", "2014-03-01..2014-03-31", cli::kMsgBadDateFilter},
                    BadFilter{"--date", "born:2014-03-01..2014-03-31", cli::kMsgBadDateFilter},
                    BadFilter{"--date", "created:2014-02-30..2014-03-31", cli::kMsgBadDateFilter},
                    BadFilter{"--date", "created:2014-3-1..2014-03-31", cli::kMsgBadDateFilter},
                    BadFilter{"--date", "modified:2014-03-01", cli::kMsgBadDateFilter},
                    BadFilter{"--date", "accessed:2014-04-01..2014-03-31", cli::kMsgDateRangeReversed}),
    [](const testing::TestParamInfo<BadFilter>& info) {
      std::string name = info.param.option.substr(2) + "_" + std::to_string(info.index);
      return name;
    });

}  // namespace
}  // namespace korv
