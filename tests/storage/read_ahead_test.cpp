// ReadAhead hands back every chunk it was asked for, in order, with the bytes
// the read put there; it never has two reads in flight, and a caller's own
// read after Wait() never overlaps one of its reads.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "storage/read_ahead.h"

namespace korv {
namespace {

constexpr std::uint32_t kSectorBytes = 512;

// A source whose sector n holds the byte n % 251 throughout; it counts reads
// running at once and remembers the most it saw.
class PatternSource {
 public:
  int Read(std::uint64_t first, std::uint32_t count, std::span<std::uint8_t> out) {
    const int running = ++running_;
    most_ = std::max(most_.load(), running);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    for (std::uint32_t i = 0; i < count; ++i) {
      std::fill_n(out.begin() + std::size_t{i} * kSectorBytes, kSectorBytes, static_cast<std::uint8_t>((first + i) % 251));
    }
    ++reads_;
    --running_;
    return first == kFailingSector ? 0 : 1;
  }
  static bool Holds(std::uint64_t first, std::span<const std::uint8_t> bytes) {
    for (std::size_t at = 0; at < bytes.size(); ++at) {
      if (bytes[at] != (first + at / kSectorBytes) % 251) return false;
    }
    return true;
  }

  static constexpr std::uint64_t kFailingSector = 40;
  std::atomic<int> running_{0};
  std::atomic<int> most_{0};
  std::atomic<int> reads_{0};
};

struct Walk {
  std::uint32_t chunkSectors;
  std::uint64_t totalSectors;
};

class ReadAheadTest : public ::testing::TestWithParam<Walk> {};

TEST_P(ReadAheadTest, ChunksComeBackInOrderWithTheirBytesAndReadsNeverOverlap) {
  const Walk walk = GetParam();
  PatternSource source;
  ReadAhead reads([&](auto... args) { return source.Read(args...); }, kSectorBytes, walk.chunkSectors);
  const auto runAt = [&](std::uint64_t at) {
    return static_cast<std::uint32_t>(std::min<std::uint64_t>(walk.chunkSectors, walk.totalSectors - at));
  };
  reads.Issue(0, runAt(0));
  std::uint64_t at = 0;
  std::vector<ReadAhead::Chunk> held;
  while (at < walk.totalSectors) {
    const auto chunk = reads.Take();
    ASSERT_TRUE(chunk.has_value());
    ASSERT_EQ(chunk->first, at);
    ASSERT_EQ(chunk->bytes.size(), std::size_t{chunk->count} * kSectorBytes);
    EXPECT_EQ(chunk->result, chunk->first == PatternSource::kFailingSector ? 0 : 1);
    at += chunk->count;
    if (at < walk.totalSectors) reads.Issue(at, runAt(at));
    // The chunk just taken keeps its bytes while the next one is read.
    std::this_thread::sleep_for(std::chrono::microseconds(300));
    ASSERT_TRUE(PatternSource::Holds(chunk->first, chunk->bytes)) << chunk->first;
    // A read of the caller's own waits for the one in flight.
    reads.Wait();
    EXPECT_EQ(source.running_.load(), 0);
  }
  EXPECT_EQ(at, walk.totalSectors);
  EXPECT_FALSE(reads.Take().has_value());
  EXPECT_EQ(source.most_.load(), 1);
}

INSTANTIATE_TEST_SUITE_P(Walks, ReadAheadTest,
                         ::testing::Values(Walk{1, 5}, Walk{8, 64}, Walk{8, 67}, Walk{40, 40}, Walk{2048, 100}));

TEST(ReadAheadLifetimeTest, EndsCleanlyWithAReadInFlightOrNoneIssued) {
  PatternSource source;
  {
    ReadAhead idle([&](auto... args) { return source.Read(args...); }, kSectorBytes, 4);
    EXPECT_FALSE(idle.Take().has_value());
  }
  {
    ReadAhead busy([&](auto... args) { return source.Read(args...); }, kSectorBytes, 4);
    busy.Issue(0, 4);
  }
  EXPECT_LE(source.reads_.load(), 1);
}

}  // namespace
}  // namespace korv
