#include "ui/logic/item_texts.h"

#include <algorithm>
#include <charconv>
#include <chrono>
#include <iterator>
#include <variant>

#include "engine/item_time.h"
#include "fs/fat/fat_directory.h"
#include "fs/ntfs/record_values.h"

namespace korv {

namespace {

constexpr const char* kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                   "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};

const char* MonthText(unsigned month) { return month >= 1 && month <= 12 ? kMonths[month - 1] : "Err"; }

// Years here start at 1601 (NTFS) or 1980 (FAT).
std::string DateText(unsigned day, unsigned month, int year) {
  std::string text;
  text.reserve(20);
  AppendDecimal(text, day, 2);
  text += '-';
  text += MonthText(month);
  text += '-';
  AppendDecimal(text, static_cast<std::uint64_t>(std::max(year, 0)), 4);
  return text;
}

void AppendClock(std::string& text, unsigned hour, unsigned minute) {
  text += ' ';
  AppendDecimal(text, hour, 2);
  text += ':';
  AppendDecimal(text, minute, 2);
}

}  // namespace

void AppendDecimal(std::string& text, std::uint64_t value, std::size_t width) {
  char digits[24];
  const auto end = std::to_chars(std::begin(digits), std::end(digits), value).ptr;
  const auto length = static_cast<std::size_t>(end - digits);
  if (length < width) text.append(width - length, '0');
  text.append(digits, end);
}

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
  std::string text =
      DateText(static_cast<unsigned>(date.day()), static_cast<unsigned>(date.month()), static_cast<int>(date.year()));
  AppendClock(text, static_cast<unsigned>(inDay / 3600), static_cast<unsigned>(inDay / 60 % 60));
  text += ':';
  AppendDecimal(text, inDay % 60, 2);
  return text;
}

std::string FatDateText(std::uint16_t date) {
  const FatTimestamp stamp = DecodeFatTimestamp(date, 0);
  return DateText(static_cast<unsigned>(stamp.day), static_cast<unsigned>(stamp.month), stamp.year);
}

std::string FatDateTimeText(std::uint16_t date, std::uint16_t time) {
  const FatTimestamp stamp = DecodeFatTimestamp(date, time);
  std::string text = FatDateText(date);
  AppendClock(text, static_cast<unsigned>(stamp.hour), static_cast<unsigned>(stamp.minute));
  return text;
}

std::string ItemDateText(const ItemTimes& times, ItemTimeKind kind, FileSystemKind fileSystem) {
  return std::visit(TimeCases{[](const NtfsItemTime& time) { return NtfsDateText(time.ticks); },
                              [](const FatItemTime& time) {
                                return time.hasTime ? FatDateTimeText(time.date, time.time) : FatDateText(time.date);
                              }},
                    ReadItemTime(times, kind, fileSystem));
}

}  // namespace korv
