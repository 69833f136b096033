// What every command shares: a JSON answer on failure for scripts, the one
// version the build gives, and an inventory written only when it changes.
#include <sys/stat.h>

#include <gtest/gtest.h>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "support/reader_checks.h"
#include "support/test_support.h"
#include "ui/logic/wizard_flow.h"
#include "vdisk/selection.h"

namespace korv {
namespace {

class JsonOnFailureTest : public ::testing::TestWithParam<std::vector<std::string>> {};

TEST_P(JsonOnFailureTest, ARefusedCommandStillAnswersWithAnObject) {
  test::TempDir dir;
  const std::string missing = (dir / "gone.vhd").string();
  std::vector<std::string> args = GetParam();
  args.insert(args.begin() + 1, missing);
  args.insert(args.end(), {"--json", "--inventory", (dir / "inventory.json").string()});
  const auto run = test::RunCli(args, dir.path());
  EXPECT_EQ(run.status, 2);
  const auto answer = nlohmann::json::parse(run.out);
  EXPECT_EQ(answer["message"], std::string(kMsgFileMissing) + missing) << run.out;
  // Commands with a report of their own keep its shape; the rest say the status.
  if (answer.contains("status")) EXPECT_EQ(answer["status"], 2);
  EXPECT_NE(run.err.find(missing), std::string::npos) << run.err;
}

INSTANTIATE_TEST_SUITE_P(Commands, JsonOnFailureTest,
                         ::testing::Values(std::vector<std::string>{"probe"}, std::vector<std::string>{"partitions"},
                                           std::vector<std::string>{"analyze", "--partition", "1"},
                                           std::vector<std::string>{"recover", "--partition", "1", "--output", "out"},
                                           std::vector<std::string>{"carve", "--partition", "1", "--types", "all",
                                                                    "--output", "carved"},
                                           std::vector<std::string>{"image", "--whole", "--output", "img"}));

struct CompletionCase {
  const char* name;
  std::vector<std::string> words;  // after the program; the last is being typed
  std::vector<std::string> offered;
};

class CompletionTest : public ::testing::TestWithParam<CompletionCase> {};

// The bash completion reads the program's --help: subcommands, options and
// the words an option takes.
TEST_P(CompletionTest, OffersWhatTheProgramTakes) {
  std::string script = "source '" KORV_SOURCE_DIR "/data/korvane-cli.bash'; COMP_WORDS=('" KORV_CLI_PATH "'";
  for (const std::string& word : GetParam().words) script += " '" + word + "'";
  script += "); COMP_CWORD=" + std::to_string(GetParam().words.size()) +
            "; _korvane_cli; for word in \"${COMPREPLY[@]}\"; do echo \"$word\"; done";
  const auto offered = test::ProgramOutput({"bash", "-c", script});
  ASSERT_TRUE(offered.has_value());
  std::string expected;
  for (const std::string& word : GetParam().offered) expected += word + "\n";
  EXPECT_EQ(*offered, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Words, CompletionTest,
    ::testing::Values(CompletionCase{"Subcommand", {"ex"}, {"extract"}},
                      CompletionCase{"Option", {"recover", "--dr"}, {"--dry-run"}},
                      CompletionCase{"OptionWord", {"analyze", "--mode", "f"}, {"formatted"}},
                      CompletionCase{"EveryWordOfAChoice", {"recover", "--on-exists", ""}, {"skip", "overwrite", "rename"}},
                      CompletionCase{"NumberTakesNoFile", {"extract", "--id", ""}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(VersionTest, OneVersionForTheCommandLineAndTheAboutBox) {
  test::TempDir dir;
  const auto run = test::RunCli({"--version"}, dir.path());
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, std::string("korvane-cli ") + KORV_VERSION + "\n");
  EXPECT_EQ(kVersionText, std::string("Version ") + KORV_VERSION_SHORT);
}

TEST(InventoryWriteTest, ReadingARegisteredDiskLeavesTheFileAndAReadOnlyOneAlone) {
  test::TempDir dir;
  const std::string disk = (test::TestDisksDir() / "basic-dynamic.vhd").string();
  const std::filesystem::path inventory = dir / "inventory.json";
  ASSERT_EQ(test::RunCli({"probe", disk, "--inventory", inventory.string()}, dir.path()).status, 0);
  ASSERT_EQ(test::RunCli({"partitions", disk, "--inventory", inventory.string()}, dir.path()).status, 0);
  // Back-date the file: a rewrite would give it the time of now.
  const auto then = std::filesystem::file_time_type::clock::now() - std::chrono::hours(1);
  std::filesystem::last_write_time(inventory, then);
  for (const char* command : {"probe", "partitions"}) {
    EXPECT_EQ(test::RunCli({command, disk, "--inventory", inventory.string()}, dir.path()).status, 0);
    EXPECT_EQ(std::filesystem::last_write_time(inventory), then) << command;
  }
  // Another disk would change it, but the user made it read-only.
  const auto before = test::ReadFileBytes(inventory);
  ::chmod(inventory.c_str(), 0444);
  test::RunCli({"partitions", (test::TestDisksDir() / "basic.qed").string(), "--inventory", inventory.string()},
               dir.path());
  EXPECT_EQ(test::ReadFileBytes(inventory), before);
}

}  // namespace
}  // namespace korv
