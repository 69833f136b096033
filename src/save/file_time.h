// The modification time a saved file is given, from the found item's times.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>

#include "save/save_filters.h"

namespace korv {

// A point in time as the host's file times hold it: seconds since 1970 (UTC)
// and nanoseconds.
struct SavedTime {
  std::int64_t seconds = 0;
  std::int64_t nanoseconds = 0;

  bool operator==(const SavedTime&) const = default;
};

// An NTFS time (100-ns intervals since 1601) is UTC already: taken as it is.
SavedTime NtfsSavedTime(std::uint64_t fileTime);

// A FAT date and time word are local time: year 1980 + (date >> 9), month
// (date >> 5) & 15 (12 when 0 or above 12), day date & 31, hour time >> 11,
// minute (time >> 5) & 63, seconds 0. A field that cannot exist (day 0, 30
// February, hour 24, minute 60) takes the nearest valid value. Converted to
// UTC through the zone rules of that date (daylight saving decided by them).
SavedTime FatSavedTime(std::uint16_t date, std::uint16_t time);

// The calendar date of an NTFS time, in UTC.
CalendarDate NtfsCalendarDate(std::uint64_t fileTime);
// The calendar date a FAT date word names, as written (no fields corrected).
CalendarDate FatCalendarDate(std::uint16_t date);

// The 64-bit NTFS time held in two words of a found item's times, low first.

// Sets only the last-write time of the file at `path` (never following a
// symbolic link); the access time is left alone. Failure is ignored: a
// saved file without its time is still a saved file.
void SetSavedFileTime(const std::filesystem::path& path, const SavedTime& time);

}  // namespace korv
