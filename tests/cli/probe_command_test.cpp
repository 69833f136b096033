// korvane-cli probe: what the selection logic says of a file, as text and JSON.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/test_support.h"
#include "vdisk/selection.h"

namespace korv {
namespace {

TEST(ProbeCommandTest, ReportsAcceptedDisksWithTheirInventoryTexts) {
  test::TempDir dir;
  const auto run = test::RunCli({"probe", (test::TestDisksDir() / "basic-dynamic.vhd").string(), "--json"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  const auto report = nlohmann::json::parse(run.out);
  EXPECT_EQ(report["format"], "VHD");
  EXPECT_EQ(report["letter"], "H");
  EXPECT_EQ(report["openResult"], 1);
  EXPECT_EQ(report["accepted"], true);
  EXPECT_EQ(report["mediaType"], "Virtual File VHD");
  EXPECT_EQ(report["model"], "Dynamic");
  EXPECT_GE(report["diskSize"].get<std::uint64_t>(), 64u << 20);

  const auto text = test::RunCli({"probe", (test::TestDisksDir() / "basic-fixed.vhd").string()}, dir.path());
  EXPECT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("format: VHD (H)"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("model: Fixed"), std::string::npos) << text.out;
}

TEST(ProbeCommandTest, RefusalCarriesTheMessageWordForWord) {
  test::TempDir dir;
  const auto run = test::RunCli({"probe", (dir / "absent.vhd").string(), "--json"}, dir.path());
  EXPECT_EQ(run.status, 2);
  const auto report = nlohmann::json::parse(run.out);
  EXPECT_EQ(report["accepted"], false);
  EXPECT_EQ(report["openResult"], 3);
  EXPECT_EQ(report["message"], std::string(kMsgFileMissing) + (dir / "absent.vhd").string());
  EXPECT_EQ(report["reason"], kReasonCannotOpenFile);

  // The text form names the failed check on a line after the refusal.
  const auto text = test::RunCli({"probe", (dir / "absent.vhd").string()}, dir.path());
  EXPECT_NE(text.out.find(std::string("refused: ") + std::string(kMsgFileMissing) + (dir / "absent.vhd").string() +
                          "\nreason: " +
                          std::string(kReasonCannotOpenFile) + "\n"),
            std::string::npos)
      << text.out;
}

TEST(ProbeCommandTest, AcceptedDisksCarryNoReason) {
  test::TempDir dir;
  const auto run = test::RunCli({"probe", (test::TestDisksDir() / "basic-dynamic.vhd").string(), "--json"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_FALSE(nlohmann::json::parse(run.out).contains("reason"));
}

}  // namespace
}  // namespace korv
