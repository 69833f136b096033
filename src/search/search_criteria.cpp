#include "search/search_criteria.h"

namespace korv {

namespace {

bool HasDates(FileSystemKind fileSystem) {
  switch (fileSystem) {
    case FileSystemKind::Ntfs:
    case FileSystemKind::Fat12:
    case FileSystemKind::Fat16:
    case FileSystemKind::Fat32: return true;
    case FileSystemKind::Unknown: return false;
  }
  return false;
}

}  // namespace

std::uint64_t BytesPerUnit(SizeUnit unit) {
  switch (unit) {
    case SizeUnit::Bytes: return 1;
    case SizeUnit::KB: return std::uint64_t{1} << 10;
    case SizeUnit::MB: return std::uint64_t{1} << 20;
    case SizeUnit::GB: return std::uint64_t{1} << 30;
  }
  return 1;
}

// A 32-bit number times at most 2^30 always fits 64 bits.
SizeBounds SizeBoundsOf(std::uint32_t from, std::uint32_t to, SizeUnit unit) {
  return {std::uint64_t{from} * BytesPerUnit(unit), std::uint64_t{to} * BytesPerUnit(unit)};
}

SearchMatcher::SearchMatcher(const SearchCriteria& criteria, FileSystemKind fileSystem)
    : name_(criteria.name),
      deleted_(criteria.deleted),
      date_(criteria.date),
      size_(criteria.size),
      fileSystem_(fileSystem) {}

bool SearchMatcher::MatchesFolder(const FoundFolder& folder) const {
  if (!searchesFolders()) return false;
  return MatchesCommon(folder.name, folder.deleted, folder.times);
}

bool SearchMatcher::MatchesFile(const FoundFile& file) const {
  if (!MatchesCommon(file.name, file.deleted, file.times)) return false;
  if (!size_ || size_->to == 0) return true;
  return file.size >= size_->from && file.size <= size_->to;
}

bool SearchMatcher::MatchesCommon(std::u16string_view name, char deleted, const ItemTimes& times) const {
  if (!name_.Matches(name)) return false;
  if (deleted_ && !PassesDeletedChoice(*deleted_, deleted)) return false;
  return MatchesDate(times);
}

// Dates compare as (year, month, day), so the last day of a month comes
// before the first of the next; bounds the wrong way round match nothing.
bool SearchMatcher::MatchesDate(const ItemTimes& times) const {
  if (!date_ || !HasDates(fileSystem_)) return true;
  const CalendarDate date = ItemDate(times, date_->kind, fileSystem_);
  return date >= date_->from && date <= date_->to;
}

}  // namespace korv
