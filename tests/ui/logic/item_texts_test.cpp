#include "ui/logic/item_texts.h"

#include <gtest/gtest.h>

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
  EXPECT_EQ(ItemDates(times, FileSystemKind::Ntfs).created, "05-Mar-2024 09:07:02");
}

TEST(ItemDatesTest, FatWordsShowWithoutSecondsAndBadMonthsAsErr) {
  const std::uint16_t date = static_cast<std::uint16_t>((44 << 9) | (3 << 5) | 5);  // 2024-03-05
  const std::uint16_t time = static_cast<std::uint16_t>((9 << 11) | (7 << 5) | 1);
  EXPECT_EQ(FatDateTimeText(date, time), "05-Mar-2024 09:07");
  EXPECT_EQ(FatDateText(static_cast<std::uint16_t>((44 << 9) | (13 << 5) | 3)), "03-Err-2024");
  EXPECT_EQ(FatDateText(0), "00-Err-1980");
  const ItemDateTexts texts = ItemDates({date, time, date, time, date, 0}, FileSystemKind::Fat16);
  EXPECT_EQ(texts.modified, "05-Mar-2024 09:07");
  EXPECT_EQ(texts.accessed, "05-Mar-2024");
}

TEST(ItemTextsTest, DoubledAmpersandsShowAsOne) {
  EXPECT_EQ(DisplayText("Files && folders & more &&&&"), "Files & folders & more &&");
  EXPECT_EQ(ItemTypeText(true, true), "Deleted Folder");
  EXPECT_EQ(ItemTypeText(false, false), "File");
}

}  // namespace
}  // namespace korv
