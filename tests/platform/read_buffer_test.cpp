// Read buffers start on a page boundary however they are made or grown, and
// otherwise behave as the vectors they replace.
#include <gtest/gtest.h>

#include <cstdint>
#include <utility>

#include "platform/read_buffer.h"

namespace korv {
namespace {

bool PageAligned(const ReadBuffer& buffer) {
  return reinterpret_cast<std::uintptr_t>(buffer.data()) % kReadBufferAlignment == 0;
}

class ReadBufferTest : public ::testing::TestWithParam<std::size_t> {};

TEST_P(ReadBufferTest, EveryWayOfMakingOneIsPageAlignedAndZeroed) {
  const std::size_t bytes = GetParam();
  ReadBuffer sized(bytes);
  ASSERT_TRUE(PageAligned(sized));
  for (const std::uint8_t byte : sized) ASSERT_EQ(byte, 0);

  ReadBuffer assigned;
  assigned.assign(bytes, 0xAB);
  EXPECT_TRUE(PageAligned(assigned));

  ReadBuffer grown(1);
  grown.resize(bytes + 1);
  EXPECT_TRUE(PageAligned(grown));
  for (std::size_t i = 0; i < 3; ++i) grown.push_back(static_cast<std::uint8_t>(i));
  EXPECT_TRUE(PageAligned(grown));

  const ReadBuffer copied = assigned;
  EXPECT_TRUE(PageAligned(copied));
  EXPECT_EQ(copied, assigned);
  const ReadBuffer moved = std::move(assigned);
  EXPECT_TRUE(PageAligned(moved));
  EXPECT_EQ(moved.size(), bytes);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ReadBufferTest, ::testing::Values(1, 512, 4095, 4096, 4097, 1024 * 1024 + 1));

}  // namespace
}  // namespace korv
