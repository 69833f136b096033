#include "save/file_time.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <ctime>

#include "fs/ntfs/record_values.h"

namespace korv {

namespace {

constexpr int kFatBaseYear = 1980;

int DaysInMonth(int year, int month) {
  using namespace std::chrono;
  const year_month_day_last last{std::chrono::year{year} / std::chrono::month{static_cast<unsigned>(month)} /
                                 std::chrono::last};
  return static_cast<int>(static_cast<unsigned>(last.day()));
}

}  // namespace

SavedTime NtfsSavedTime(std::uint64_t fileTime) {
  const auto seconds = static_cast<std::int64_t>(fileTime / kNtfsTicksPerSecond) - kNtfsSecondsBefore1970;
  const auto nanoseconds = static_cast<std::int64_t>(fileTime % kNtfsTicksPerSecond) * 100;
  return {seconds, nanoseconds};
}

SavedTime FatSavedTime(std::uint16_t date, std::uint16_t time) {
  const int year = kFatBaseYear + (date >> 9);
  int month = (date >> 5) & 15;
  if (month == 0 || month > 12) month = 12;
  const int day = std::clamp(date & 31, 1, DaysInMonth(year, month));
  const int hour = std::min(time >> 11, 23);
  const int minute = std::min((time >> 5) & 63, 59);

  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_sec = 0;
  local.tm_isdst = -1;  // the zone rules of that date decide
  return {static_cast<std::int64_t>(std::mktime(&local)), 0};
}

CalendarDate NtfsCalendarDate(std::uint64_t fileTime) {
  using namespace std::chrono;
  const sys_seconds at{seconds{NtfsSavedTime(fileTime).seconds}};
  const year_month_day date{floor<days>(at)};
  return {static_cast<int>(date.year()), static_cast<int>(static_cast<unsigned>(date.month())),
          static_cast<int>(static_cast<unsigned>(date.day()))};
}

CalendarDate FatCalendarDate(std::uint16_t date) {
  return {kFatBaseYear + (date >> 9), (date >> 5) & 15, date & 31};
}

void SetSavedFileTime(const std::filesystem::path& path, const SavedTime& time) {
  const timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(time.seconds), static_cast<long>(time.nanoseconds)}};
  ::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW);
}

}  // namespace korv
