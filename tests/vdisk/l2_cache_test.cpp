// The level-2 table cache: its memory cap, least-recently-used reuse, the
// tables leases hold, and tables that fail to load.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "platform/bytes.h"
#include "support/byte_writers.h"
#include "vdisk/l2_cache.h"

namespace korv {
namespace {

constexpr std::uint64_t kTable = 64 * 1024;

// A file in memory whose reads at chosen offsets fail.
class MemoryFile final : public ReadHandle {
 public:
  explicit MemoryFile(std::uint64_t size) : bytes_(size) {
    for (std::uint64_t i = 0; i + 8 <= size; i += 8) StoreU64BE(bytes_, i, i);
  }
  std::size_t ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    ++reads;
    if (failing.count(offset) || offset > bytes_.size()) return 0;
    const std::size_t n = std::min<std::size_t>(out.size(), bytes_.size() - offset);
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(offset), n, out.begin());
    return n;
  }
  std::uint64_t Size() override { return bytes_.size(); }

  std::set<std::uint64_t> failing;
  int reads = 0;

 private:
  std::vector<std::uint8_t> bytes_;
};

class L2CacheTest : public ::testing::Test {
 protected:
  L2CacheTest() : file_(40 * kTable), cache_(kTable, TableByteOrder::Big) {}
  L2Cache::Lease Fetch(std::uint64_t table) { return cache_.Fetch(file_, file_.Size(), table * kTable); }

  MemoryFile file_;
  L2Cache cache_;
};

TEST_F(L2CacheTest, ThirtyTwoTablesFillTheCapAndTheLeastRecentlyUsedIsReused) {
  for (std::uint64_t t = 0; t < 32; ++t) {
    const L2Cache::Lease lease = Fetch(t);
    ASSERT_TRUE(lease);
    EXPECT_EQ(lease.entry(1), t * kTable + 8);  // entries in host order
    EXPECT_EQ(lease.size(), kTable / 8);
  }
  EXPECT_EQ(cache_.tableCount(), 32u);
  EXPECT_EQ(cache_.cachedBytes(), kL2CacheCapBytes);
  const int reads = file_.reads;
  EXPECT_TRUE(Fetch(0));  // table 0 becomes the most recent; table 1 the least
  EXPECT_EQ(file_.reads, reads) << "a cached table is not read again";

  const L2Cache::Lease lease = Fetch(32);
  ASSERT_TRUE(lease);
  EXPECT_EQ(lease.entry(0), 32 * kTable);
  EXPECT_EQ(cache_.tableCount(), 32u);
  EXPECT_EQ(cache_.cachedBytes(), kL2CacheCapBytes);
  EXPECT_TRUE(cache_.holds(0));
  EXPECT_FALSE(cache_.holds(kTable));
  EXPECT_EQ(lease.entry(kTable), 0u);  // beyond the table
}

TEST_F(L2CacheTest, LeasedTablesAreNeverReusedAndUseCountsDrop) {
  std::vector<L2Cache::Lease> held;
  for (std::uint64_t t = 0; t < 32; ++t) held.push_back(Fetch(t));
  EXPECT_EQ(cache_.usesOf(0), 1u);
  {
    const L2Cache::Lease again = Fetch(0);
    EXPECT_EQ(cache_.usesOf(0), 2u);
  }
  EXPECT_EQ(cache_.usesOf(0), 1u);
  EXPECT_FALSE(Fetch(32)) << "every table is held";
  EXPECT_EQ(cache_.tableCount(), 32u);

  held[5] = L2Cache::Lease();  // moving a lease over another ends the old one
  EXPECT_EQ(cache_.usesOf(5 * kTable), 0u);
  EXPECT_TRUE(Fetch(32));
  EXPECT_FALSE(cache_.holds(5 * kTable));
  EXPECT_EQ(cache_.usesOf(32 * kTable), 0u);
}

TEST_F(L2CacheTest, TablesThatFailToLoadLeaveTheCache) {
  file_.failing.insert(3 * kTable);
  EXPECT_FALSE(Fetch(3));
  EXPECT_EQ(cache_.tableCount(), 0u);
  EXPECT_EQ(cache_.cachedBytes(), 0u);

  for (std::uint64_t t = 4; t < 36; ++t) ASSERT_TRUE(Fetch(t));
  // A full cache reuses a table for the failing read; that table is gone.
  EXPECT_FALSE(Fetch(3));
  EXPECT_EQ(cache_.tableCount(), 31u);
  EXPECT_EQ(cache_.cachedBytes(), 31 * kTable);
  EXPECT_FALSE(cache_.holds(3 * kTable));
  EXPECT_FALSE(cache_.holds(4 * kTable));

  // Tables that do not lie inside the file are refused before any read.
  const int reads = file_.reads;
  EXPECT_FALSE(Fetch(40));
  EXPECT_FALSE(cache_.Fetch(file_, file_.Size(), ~std::uint64_t{0} - 8));
  EXPECT_EQ(file_.reads, reads);
  EXPECT_EQ(cache_.tableCount(), 31u);
}

TEST(L2CacheAloneTest, ATableLargerThanTheCapIsServedAlone) {
  MemoryFile file(8 * 1024 * 1024);
  L2Cache cache(4 * 1024 * 1024, TableByteOrder::Little);
  const L2Cache::Lease first = cache.Fetch(file, file.Size(), 0);
  ASSERT_TRUE(first);
  EXPECT_EQ(first.entry(1), std::uint64_t{8} << 56);  // stored big-endian, read little-endian
  EXPECT_FALSE(cache.Fetch(file, file.Size(), 4 * 1024 * 1024)) << "the only table is held";
}

// VMDK's grain tables: 4-byte little-endian entries, tables of several
// files and of several sizes under one cap.
TEST(L2CacheSharedTest, TablesOfSeveralFilesAndSizesShareTheCap) {
  MemoryFile first(1024 * 1024);
  MemoryFile second(1024 * 1024);
  L2Cache cache(0, TableByteOrder::Little, 64 * 1024, 4);
  {
    const L2Cache::Lease a = cache.Fetch(first, first.Size(), {0, 8192}, 16 * 1024);
    ASSERT_TRUE(a);
    EXPECT_EQ(a.size(), 4096u);
    EXPECT_EQ(a.entry(1), 0x00200000u);  // the low half of 8192, stored big-endian, read little-endian
    const L2Cache::Lease b = cache.Fetch(second, second.Size(), {1, 8192}, 16 * 1024);
    ASSERT_TRUE(b);
    EXPECT_EQ(cache.tableCount(), 2u) << "the same offset in another file is another table";
    EXPECT_TRUE(cache.Cached({0, 8192}));
    EXPECT_FALSE(cache.Cached({2, 8192}));
  }
  // 32 KiB cached; a 48 KiB table drops the least recently used one only.
  ASSERT_TRUE(cache.Fetch(first, first.Size(), {0, 65536}, 48 * 1024));
  EXPECT_EQ(cache.tableCount(), 2u);
  EXPECT_EQ(cache.cachedBytes(), 64u * 1024);
  EXPECT_FALSE(cache.Cached({1, 8192}));
  // A table as large as the cap drops every free one.
  ASSERT_TRUE(cache.Fetch(second, second.Size(), {1, 0}, 64 * 1024));
  EXPECT_EQ(cache.tableCount(), 1u);
  EXPECT_EQ(cache.cachedBytes(), 64u * 1024);
  // Sizes that are no whole number of entries are refused before any read.
  const int reads = first.reads;
  EXPECT_FALSE(cache.Fetch(first, first.Size(), {0, 0}, 1022));
  EXPECT_EQ(first.reads, reads);
}

}  // namespace
}  // namespace korv
