// Sectors a container reports as not allocated read as zeros without a read
// of its file: a run that lies wholly in such a stretch reaches no read at
// all. Reads are counted with the kernel's count of this process's read
// calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <string>

#include "app/session.h"
#include "platform/read_buffer.h"
#include "storage/allocation_stretches.h"
#include "support/container_disks.h"
#include "support/test_support.h"

namespace korv {
namespace {

using Container = test::ContainerDisk;

// The read calls this process has made so far (pread included); nullopt when
// the kernel keeps no count.
std::optional<std::uint64_t> ReadCalls() {
  std::ifstream io("/proc/self/io");
  std::string key;
  std::uint64_t value = 0;
  while (io >> key >> value) {
    if (key == "syscr:") return value;
  }
  return std::nullopt;
}

class UnallocatedReadsTest : public ::testing::TestWithParam<Container> {};

TEST_P(UnallocatedReadsTest, RunsInHolesReadZerosWithoutTouchingTheFile) {
  const auto before = ReadCalls();
  const auto after = ReadCalls();
  if (!before || !after) GTEST_SKIP() << "no count of read calls";
  // Counting costs reads of its own; the same number every time.
  const std::uint64_t countingCost = *after - *before;

  test::ScriptedPrompts prompts;
  Session session(prompts);
  ASSERT_TRUE(session.OpenVirtualFile(test::TestDisksDir() / GetParam().file).accepted);
  const VirtualDisk& disk = *session.source.virtualDisk;
  const std::uint64_t sectors = disk.facts().diskSizeBytes / kVirtualSectorBytes;

  constexpr std::uint32_t kMostSectors = 2048;
  ReadBuffer buffer(std::size_t{kMostSectors} * kVirtualSectorBytes, 0xEE);
  for (std::uint64_t sector = 0; sector < sectors;) {
    const AllocationRun run = disk.allocationAt(sector);
    ASSERT_GT(run.sectors, 0u) << sector;
    if (!run.allocated) {
      const auto count = static_cast<std::uint32_t>(std::min<std::uint64_t>(run.sectors, kMostSectors));
      std::fill(buffer.begin(), buffer.end(), std::uint8_t{0xEE});
      const auto start = ReadCalls();
      EXPECT_NE(session.sectors.ReadCurrent(sector, count, buffer), 0) << sector;
      const auto end = ReadCalls();
      EXPECT_EQ(*end - *start, countingCost) << "sectors " << sector << " to " << sector + count;
      const auto bytes = std::span(buffer).first(std::size_t{count} * kVirtualSectorBytes);
      EXPECT_TRUE(std::ranges::all_of(bytes, [](std::uint8_t byte) { return byte == 0; })) << sector;
    }
    sector += run.sectors;
  }
}

// A scan walks the disk in chunks and keeps the container's last answer:
// every sector it meets must get the state the container gives for it.
TEST_P(UnallocatedReadsTest, StretchesKeptFromEarlierAnswersMatchTheContainer) {
  test::ScriptedPrompts prompts;
  Session session(prompts);
  ASSERT_TRUE(session.OpenVirtualFile(test::TestDisksDir() / GetParam().file).accepted);
  const VirtualDisk& disk = *session.source.virtualDisk;
  const std::uint64_t sectors = disk.facts().diskSizeBytes / kVirtualSectorBytes;

  AllocationStretches stretches(session.source);
  constexpr std::uint64_t kChunkSectors = 997;  // prime: chunks start at every offset of a cluster
  for (std::uint64_t sector = 0; sector < sectors; sector += kChunkSectors) {
    const AllocationRun kept = stretches.At(sector);
    const AllocationRun asked = disk.allocationAt(sector);
    ASSERT_EQ(kept.allocated, asked.allocated) << sector;
    ASSERT_GT(kept.sectors, 0u) << sector;
    if (!kept.allocated) EXPECT_LE(kept.sectors, sectors - sector) << sector;
  }
}

INSTANTIATE_TEST_SUITE_P(Containers, UnallocatedReadsTest, ::testing::ValuesIn(test::ContainerDisks()),
                         test::ContainerDiskName);

}  // namespace
}  // namespace korv
