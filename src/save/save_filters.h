// The save filters of the "Settings..." dialog: deleted files included,
// excluded or alone; a list of extensions; date ranges for the modified,
// created and accessed times. They narrow both the evaluation of a selection
// and the save itself. The settings are a plain value: the dialog takes a
// copy when it opens and puts it back on Cancel.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/file_system_kind.h"
#include "engine/store.h"

namespace korv {

// Messages of the extension list, in the order the checks run.
inline constexpr std::string_view kMsgTooManyExtensions = "Cannot add more extensions.";
inline constexpr std::string_view kMsgExtensionTooLong = "Extension should not exceed more than 4 characters.";
inline constexpr std::string_view kMsgExtensionBlank = "Extension should not contain blank space.";
inline constexpr std::string_view kMsgExtensionDot =
    "Do not include \".\" (DOT) in extension. Enter extensions like this : tmp,html,bak etc..";
inline constexpr std::string_view kMsgExtensionStar =
    "Do not include \"*\" in extension. Enter extensions like this : tmp,html,bak etc..";
inline constexpr std::string_view kMsgExtensionExists = "This extension already exist. Enter different extension.";

// The dialog's texts.
inline constexpr std::string_view kLabelIncludeDeleted = "Include Deleted Data Files";
inline constexpr std::string_view kLabelExcludeDeleted = "Exclude  Deleted Data Files";
inline constexpr std::string_view kLabelDeletedOnly = "Recover Deleted Data Files Only";
inline constexpr std::string_view kLabelAddExtensions = "Add Extensions (Ex. XLS etc...)";
inline constexpr std::string_view kLabelDateRange = "Date Range Selection";
inline constexpr std::string_view kLabelBetween = "Between ";
inline constexpr std::array<std::string_view, 3> kDateKindNames = {"Modified Date", "Created Date", "Accessed Date"};

inline constexpr std::size_t kMaxExtensions = 100;
inline constexpr std::size_t kMaxExtensionCharacters = 6;
// The part of a file's extension that is compared with the list.
inline constexpr std::size_t kComparedExtensionUnits = 7;
// The years the date lists offer.
inline constexpr int kFirstListedYear = 1970;
inline constexpr int kLastListedYear = 2030;

enum class DeletedChoice : int { Include = 0, Exclude = 1, DeletedOnly = 2 };

// In the order of ItemTimeKind.
enum class DateKind : int { Modified = 0, Created = 1, Accessed = 2 };

struct CalendarDate {
  int year = 0;
  int month = 0;
  int day = 0;

  auto operator<=>(const CalendarDate&) const = default;
};

// A date range of one kind; all zeros when it is off.
struct DateRange {
  CalendarDate from;
  CalendarDate to;

  bool on() const { return to.year != 0 && to.year >= from.year; }
  bool operator==(const DateRange&) const = default;
};

struct SaveFilters {
  DeletedChoice deletedChoice = DeletedChoice::Include;
  // Newest first, as the dialog lists them; empty means no filter.
  std::vector<std::string> extensions;
  std::array<DateRange, 3> dateRanges{};

  // "&>>": adds `text` at the top of the list, or says why not. Nothing
  // happens, and nothing is said, for empty text.
  std::optional<std::string_view> AddExtension(std::string_view text);
  // "<<": the extension at `index` leaves the list.
  void RemoveExtension(std::size_t index);
  // Stores the range of `kind` as the six lists show it; the whole span of
  // the lists (01/01/1970 to 31/12/2030) is stored as off.
  void SetDateRange(DateKind kind, CalendarDate from, CalendarDate to);
  const DateRange& dateRange(DateKind kind) const { return dateRanges[static_cast<int>(kind)]; }

  bool operator==(const SaveFilters&) const = default;
};

// Whether an item whose `deleted` flag is `deletedFlag` passes `choice`.
bool PassesDeletedChoice(DeletedChoice choice, char deletedFlag);

// The file's extension as the filters compare it: the text after its last
// "." (the whole name when there is none), at most 7 UTF-16 units, as UTF-8.
std::string ComparedExtension(std::u16string_view name);

// The date of an item's time of `kind`: NTFS times as stored (UTC), FAT
// date words as written.
CalendarDate ItemDate(const ItemTimes& times, DateKind kind, FileSystemKind fileSystem);
inline CalendarDate FileDate(const FoundFile& file, DateKind kind, FileSystemKind fileSystem) {
  return ItemDate(file.times, kind, fileSystem);
}

// True when the file passes the deleted choice, the extension list and every
// date range that is on.
bool PassesSaveFilters(const SaveFilters& filters, const FoundFile& file, FileSystemKind fileSystem);

}  // namespace korv
