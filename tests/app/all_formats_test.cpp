// Every container format made by qemu-img from the same raw test disk is
// recognised by the selection logic and reads, through ReadSectors, exactly
// as the raw disk.
#include <gtest/gtest.h>

#include "app/session.h"
#include "support/container_disks.h"
#include "support/test_support.h"

namespace korv {
namespace {

using Container = test::ContainerDisk;

class AllFormatsTest : public ::testing::TestWithParam<Container> {
 protected:
  static void SetUpTestSuite() { raw_ = test::ReadFileBytes(test::TestDisksDir() / "basic.raw"); }
  static std::vector<std::uint8_t> raw_;
};

std::vector<std::uint8_t> AllFormatsTest::raw_;

TEST_P(AllFormatsTest, IsRecognisedAndReadsAsTheRawDisk) {
  const Container container = GetParam();
  ASSERT_FALSE(raw_.empty());
  test::ScriptedPrompts prompts;
  Session session(prompts);
  const VirtualFileSelection selection = session.OpenVirtualFile(test::TestDisksDir() / container.file);
  ASSERT_TRUE(selection.accepted) << selection.message;
  EXPECT_EQ(selection.probeResult, OpenResult::Opened);
  EXPECT_EQ(session.source.virtualFormat, container.letter);
  EXPECT_GE(session.source.virtualDisk->facts().diskSizeBytes, raw_.size());

  constexpr std::uint32_t kRun = 1000;
  const std::uint64_t sectors = raw_.size() / 512;
  std::vector<std::uint8_t> buffer(kRun * 512);
  for (std::uint64_t sector = 0; sector < sectors; sector += kRun) {
    const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(kRun, sectors - sector));
    ASSERT_NE(session.sectors.ReadCurrent(sector, count, buffer), 0) << sector;
    ASSERT_TRUE(std::equal(buffer.begin(), buffer.begin() + count * 512, raw_.begin() + sector * 512))
        << container.file << " differs in sectors " << sector << " to " << sector + count;
  }
  EXPECT_TRUE(prompts.badSectorQuestions.empty());
}

INSTANTIATE_TEST_SUITE_P(Containers, AllFormatsTest, ::testing::ValuesIn(test::ContainerDisks()),
                         test::ContainerDiskName);

}  // namespace
}  // namespace korv
