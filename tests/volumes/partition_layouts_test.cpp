// Real disks made with sfdisk and sgdisk, in every container format, list
// exactly the partitions their layout holds.
#include <gtest/gtest.h>

#include <fstream>

#include "app/session.h"
#include "support/test_support.h"

namespace korv {
namespace {

namespace fs = std::filesystem;

struct LayoutCase {
  std::string layout;
  std::string extension;
};

std::vector<LayoutCase> AllCases() {
  std::vector<LayoutCase> cases;
  for (const char* layout : {"mbr", "odd", "gpt", "whole-fat32", "whole-fat16"}) {
    for (const char* extension : {"vhd", "vhdx", "vdi", "qcow2", "qed", "hdd", "vmdk"}) {
      cases.push_back({layout, extension});
    }
  }
  return cases;
}

class PartitionLayoutsTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(PartitionLayoutsTest, ListsExactlyTheExpectedPartitions) {
  const fs::path layouts = test::TestDisksDir() / "layouts";
  const LayoutCase& param = GetParam();
  std::ifstream expectedFile(layouts / (param.layout + ".expected"));
  std::vector<std::string> expected;
  for (std::string line; std::getline(expectedFile, line);) expected.push_back(line);
  ASSERT_FALSE(expected.empty());

  test::TempDir dir;
  test::ScriptedPrompts prompts;
  Session session(prompts, SessionOptions{dir / "inventory.json", false});
  const auto selection = session.OpenVirtualFile(layouts / (param.layout + "." + param.extension));
  ASSERT_TRUE(selection.accepted) << selection.message;
  ASSERT_EQ(session.sourceTree.Fill(session.OpenDiskFacts()), "");

  std::vector<std::string> listed;
  for (const SourceNode& node : session.sourceTree.nodes()) {
    if (node.kind != SourceNodeKind::Partition) continue;
    listed.push_back(std::to_string(node.slot + 1) + "|" + node.text + "|" +
                     std::string(FileSystemName(node.fileSystem)) + "|" + std::to_string(node.firstSector) + "|" +
                     std::to_string(node.endSector));
  }
  EXPECT_EQ(listed, expected);
}

INSTANTIATE_TEST_SUITE_P(Layouts, PartitionLayoutsTest, ::testing::ValuesIn(AllCases()),
                         [](const ::testing::TestParamInfo<LayoutCase>& info) {
                           std::string name = info.param.layout + "_" + info.param.extension;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace korv
