#include "ui/logic/item_texts.h"

#include <chrono>
#include <cstdio>
#include <variant>

#include "engine/item_time.h"
#include "fs/fat/fat_directory.h"
#include "fs/ntfs/record_values.h"

namespace korv {

namespace {

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

const char* MonthText(unsigned month) { return month >= 1 && month <= 12 ? kMonths[month - 1] : "Err"; }

std::string DateText(unsigned day, unsigned month, int year) {
  char text[32];
  std::snprintf(text, sizeof text, "%02u-%s-%04d", day, MonthText(month), year);
  return text;
}

}  // namespace

std::string_view ItemTypeText(bool folder, bool deleted) {
  if (folder) return deleted ? kTypeDeletedFolder : kTypeFolder;
  return deleted ? kTypeDeletedFile : kTypeFile;
}

std::string DisplayText(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    shown += text[i];
    if (text[i] == '&' && i + 1 < text.size() && text[i + 1] == '&') ++i;
  }
  return shown;
}

std::string NtfsDateText(std::uint64_t ticks) {
  using namespace std::chrono;
  const std::uint64_t seconds = ticks / kNtfsTicksPerSecond;
  const auto dayNumber = static_cast<std::int64_t>(seconds / 86400) - kNtfsSecondsBefore1970 / 86400;
  const year_month_day date{sys_days{days{dayNumber}}};
  const std::uint64_t inDay = seconds % 86400;
  char time[16];
  std::snprintf(time, sizeof time, " %02u:%02u:%02u", static_cast<unsigned>(inDay / 3600),
                static_cast<unsigned>(inDay / 60 % 60), static_cast<unsigned>(inDay % 60));
  return DateText(static_cast<unsigned>(date.day()), static_cast<unsigned>(date.month()),
                  static_cast<int>(date.year())) +
         time;
}

std::string FatDateText(std::uint16_t date) {
  const FatTimestamp stamp = DecodeFatTimestamp(date, 0);
  return DateText(static_cast<unsigned>(stamp.day), static_cast<unsigned>(stamp.month), stamp.year);
}

std::string FatDateTimeText(std::uint16_t date, std::uint16_t time) {
  const FatTimestamp stamp = DecodeFatTimestamp(date, time);
  char clock[16];
  std::snprintf(clock, sizeof clock, " %02d:%02d", stamp.hour, stamp.minute);
  return FatDateText(date) + clock;
}

namespace {

std::string ItemDateText(const ItemTimes& times, ItemTimeKind kind, FileSystemKind fileSystem) {
  return std::visit(TimeCases{[](const NtfsItemTime& time) { return NtfsDateText(time.ticks); },
                              [](const FatItemTime& time) {
                                return time.hasTime ? FatDateTimeText(time.date, time.time) : FatDateText(time.date);
                              }},
                    ReadItemTime(times, kind, fileSystem));
}

}  // namespace

ItemDateTexts ItemDates(const ItemTimes& times, FileSystemKind fileSystem) {
  return {ItemDateText(times, ItemTimeKind::Modified, fileSystem),
          ItemDateText(times, ItemTimeKind::Created, fileSystem),
          ItemDateText(times, ItemTimeKind::Accessed, fileSystem)};
}

}  // namespace korv
