// korvane-cli probe: what the selection logic says of a file, as text and JSON.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "support/reader_checks.h"
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

// The bytes `qemu-img map` says the image itself holds (its own layer, not
// its backing file's).
std::uint64_t QemuHeldBytes(const std::filesystem::path& image) {
  const auto map = test::ProgramOutput({"qemu-img", "map", "--output=json", image.string()});
  if (!map) return 0;
  std::uint64_t held = 0;
  for (const auto& extent : nlohmann::json::parse(*map)) {
    if (extent["data"] == true && extent["depth"] == 0) held += extent["length"].get<std::uint64_t>();
  }
  return held;
}

struct LayeredCase {
  const char* format;
  bool backed;
};

class ProbeLayersTest : public ::testing::TestWithParam<LayeredCase> {};

// The allocated size matches qemu-img's map, and a backing file the image
// names (but the program never reads) is reported.
TEST_P(ProbeLayersTest, ReportsAllocatedSizeAndBackingChain) {
  if (!test::RunProgram({"qemu-img", "--version"})) GTEST_SKIP() << "qemu-img is not installed";
  test::TempDir dir;
  const auto base = dir / "base.qcow2";
  const auto image = dir / (std::string("disk.") + GetParam().format);
  ASSERT_TRUE(test::RunProgram({"qemu-img", "create", "-q", "-f", "qcow2", base.string(), "64M"}));
  std::vector<std::string> create{"qemu-img", "create", "-q", "-f", GetParam().format};
  if (GetParam().backed) create.insert(create.end(), {"-b", "base.qcow2", "-F", "qcow2"});
  create.insert(create.end(), {image.string(), "64M"});
  ASSERT_TRUE(test::RunProgram(create));
  ASSERT_TRUE(test::RunProgram({"qemu-io", "-f", GetParam().format, "-c", "write -P 7 1M 3M", "-c",
                                "write -P 9 40M 64k", image.string()}));

  const auto run = test::RunCli({"probe", image.string(), "--json"}, dir.path());
  ASSERT_EQ(run.status, 0) << run.err;
  const auto report = nlohmann::json::parse(run.out);
  EXPECT_EQ(report["allocatedSize"].get<std::uint64_t>(), QemuHeldBytes(image));
  EXPECT_EQ(report["backingChain"], GetParam().backed ? nlohmann::json::array({"base.qcow2"}) : nlohmann::json::array());
}

INSTANTIATE_TEST_SUITE_P(Formats, ProbeLayersTest,
                         ::testing::Values(LayeredCase{"qcow2", true}, LayeredCase{"qed", true},
                                           LayeredCase{"qcow2", false}, LayeredCase{"vdi", false}),
                         [](const auto& info) {
                           return std::string(info.param.format) + (info.param.backed ? "Backed" : "Alone");
                         });

}  // namespace
}  // namespace korv
