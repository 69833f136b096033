#include "ui/logic/item_texts.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

namespace korv {
namespace {

TEST(ItemDatesTest, NtfsTimesShowAsStoredWithSeconds) {
  // 2024-03-05 09:07:02 UTC.
  const std::uint64_t ticks = (1709629622ULL + 11644473600ULL) * 10000000ULL + 1234567;
  EXPECT_EQ(NtfsDateText(ticks), "05-Mar-2024 09:07:02");
  EXPECT_EQ(NtfsDateText(0), "01-Jan-1601 00:00:00");
  ItemTimes times{};
  times[2] = static_cast<std::uint32_t>(ticks);
  times[3] = static_cast<std::uint32_t>(ticks >> 32);
  EXPECT_EQ(ItemDateText(times, ItemTimeKind::Created, FileSystemKind::Ntfs), "05-Mar-2024 09:07:02");
}

// The texts are put together by hand for speed; printf's padding is what
// they must match, out to five-digit years.
TEST(ItemDatesTest, NtfsTextsMatchPrintfPaddingAcrossTheTickRange) {
  constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                     "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  for (const std::uint64_t ticks : {0ULL, 10000000ULL * 86399, 1ULL << 56, 1ULL << 60, 1ULL << 63}) {
    const std::uint64_t seconds = ticks / 10000000ULL;
    const std::chrono::year_month_day date{
        std::chrono::sys_days{std::chrono::days{static_cast<std::int64_t>(seconds / 86400) - 134774}}};
    char expected[64];
    std::snprintf(expected, sizeof expected, "%02u-%s-%04d %02u:%02u:%02u", static_cast<unsigned>(date.day()),
                  kMonths[static_cast<unsigned>(date.month()) - 1], static_cast<int>(date.year()),
                  static_cast<unsigned>(seconds % 86400 / 3600), static_cast<unsigned>(seconds % 3600 / 60),
                  static_cast<unsigned>(seconds % 60));
    EXPECT_EQ(NtfsDateText(ticks), expected) << ticks;
  }
}

TEST(ItemDatesTest, FatWordsShowWithoutSecondsAndBadMonthsAsErr) {
  const std::uint16_t date = static_cast<std::uint16_t>((44 << 9) | (3 << 5) | 5);  // 2024-03-05
  const std::uint16_t time = static_cast<std::uint16_t>((9 << 11) | (7 << 5) | 1);
  EXPECT_EQ(FatDateTimeText(date, time), "05-Mar-2024 09:07");
  EXPECT_EQ(FatDateText(static_cast<std::uint16_t>((44 << 9) | (13 << 5) | 3)), "03-Err-2024");
  EXPECT_EQ(FatDateText(0), "00-Err-1980");
  const ItemTimes times{date, time, date, time, date, 0};
  EXPECT_EQ(ItemDateText(times, ItemTimeKind::Modified, FileSystemKind::Fat16), "05-Mar-2024 09:07");
  EXPECT_EQ(ItemDateText(times, ItemTimeKind::Accessed, FileSystemKind::Fat16), "05-Mar-2024");
}

TEST(ItemTextsTest, DoubledAmpersandsShowAsOne) {
  EXPECT_EQ(DisplayText("Files && folders & more &&&&"), "Files & folders & more &&");
  EXPECT_EQ(ItemTypeText(true, true), "Deleted Folder");
  EXPECT_EQ(ItemTypeText(false, false), "File");
}

}  // namespace
}  // namespace korv
