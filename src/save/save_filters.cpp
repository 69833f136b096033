#include "save/save_filters.h"

#include <algorithm>

#include "engine/item_time.h"
#include "platform/bytes.h"
#include "save/file_time.h"

namespace korv {

namespace {

constexpr CalendarDate kFirstListedDate{kFirstListedYear, 1, 1};
constexpr CalendarDate kLastListedDate{kLastListedYear, 12, 31};

// Characters of UTF-8 text: every byte that does not continue a sequence.
std::size_t CharacterCount(std::string_view text) {
  return static_cast<std::size_t>(
      std::count_if(text.begin(), text.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool EqualIgnoringAsciiCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiLower(x) == AsciiLower(y); });
}

bool PassesExtensions(const std::vector<std::string>& extensions, const FoundFile& file) {
  if (extensions.empty()) return true;
  const std::string extension = ComparedExtension(file.name);
  return std::any_of(extensions.begin(), extensions.end(),
                     [&](const std::string& listed) { return EqualIgnoringAsciiCase(listed, extension); });
}

}  // namespace

std::optional<std::string_view> SaveFilters::AddExtension(std::string_view text) {
  if (extensions.size() >= kMaxExtensions) return kMsgTooManyExtensions;
  if (CharacterCount(text) > kMaxExtensionCharacters) return kMsgExtensionTooLong;
  if (text.starts_with(' ')) return kMsgExtensionBlank;
  if (text.empty()) return std::nullopt;
  if (text.find('.') != std::string_view::npos) return kMsgExtensionDot;
  if (text.find('*') != std::string_view::npos) return kMsgExtensionStar;
  if (std::find(extensions.begin(), extensions.end(), text) != extensions.end()) return kMsgExtensionExists;
  extensions.insert(extensions.begin(), std::string(text));
  return std::nullopt;
}

void SaveFilters::RemoveExtension(std::size_t index) {
  if (index < extensions.size()) extensions.erase(extensions.begin() + static_cast<std::ptrdiff_t>(index));
}

void SaveFilters::SetDateRange(DateKind kind, CalendarDate from, CalendarDate to) {
  const bool wholeSpan = from == kFirstListedDate && to == kLastListedDate;
  dateRanges[static_cast<int>(kind)] = wholeSpan ? DateRange{} : DateRange{from, to};
}

bool PassesDeletedChoice(DeletedChoice choice, char deletedFlag) {
  const bool deleted = deletedFlag == kFlagYes;
  switch (choice) {
    case DeletedChoice::Include: return true;
    case DeletedChoice::Exclude: return !deleted;
    case DeletedChoice::DeletedOnly: return deleted;
  }
  return true;
}

std::string ComparedExtension(std::u16string_view name) {
  const auto dot = name.rfind(u'.');
  const std::u16string_view extension = dot == std::u16string_view::npos ? name : name.substr(dot + 1);
  return Utf16ToUtf8(extension.substr(0, kComparedExtensionUnits));
}

CalendarDate ItemDate(const ItemTimes& times, DateKind kind, FileSystemKind fileSystem) {
  return std::visit(TimeCases{[](const NtfsItemTime& time) { return NtfsCalendarDate(time.ticks); },
                              [](const FatItemTime& time) { return FatCalendarDate(time.date); }},
                    ReadItemTime(times, static_cast<ItemTimeKind>(kind), fileSystem));
}

bool PassesSaveFilters(const SaveFilters& filters, const FoundFile& file, FileSystemKind fileSystem) {
  if (!PassesDeletedChoice(filters.deletedChoice, file.deleted)) return false;
  if (!PassesExtensions(filters.extensions, file)) return false;
  for (int kind = 0; kind < 3; ++kind) {
    const DateRange& range = filters.dateRanges[kind];
    if (!range.on()) continue;
    const CalendarDate date = FileDate(file, static_cast<DateKind>(kind), fileSystem);
    if (date < range.from || date > range.to) return false;
  }
  return true;
}

}  // namespace korv
