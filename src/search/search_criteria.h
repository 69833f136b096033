// What a search looks for among the found items: a name pattern, and when
// their boxes are ticked the deleted state, one of the three dates and the
// size. Both front ends build these criteria; SearchMatcher applies them.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "common/file_system_kind.h"
#include "engine/store.h"
#include "save/save_filters.h"
#include "search/name_pattern.h"

namespace korv {

// The units of the size bounds, in the order the unit list offers them.
enum class SizeUnit : int { Bytes = 0, KB, MB, GB };
inline constexpr std::array<std::string_view, 4> kSizeUnitNames = {"Bytes", "KB", "MB", "GB"};
std::uint64_t BytesPerUnit(SizeUnit unit);

// Inclusive bounds in bytes; an upper bound of 0 sets no limit.
struct SizeBounds {
  std::uint64_t from = 0;
  std::uint64_t to = 0;
};

// The bounds the dialog's two numbers give: each multiplied by the unit.
SizeBounds SizeBoundsOf(std::uint32_t from, std::uint32_t to, SizeUnit unit);

// Inclusive bounds, compared by calendar day.
struct DateBounds {
  DateKind kind = DateKind::Created;
  CalendarDate from;
  CalendarDate to;
};

struct SearchCriteria {
  std::u16string name;
  std::optional<DeletedChoice> deleted;  // the "Type" box
  std::optional<DateBounds> date;        // the "Date" box
  std::optional<SizeBounds> size;        // the "Size" box: folders are not searched
};

class SearchMatcher {
 public:
  SearchMatcher(const SearchCriteria& criteria, FileSystemKind fileSystem);

  // Folders have no size: with the size box ticked none is searched.
  bool searchesFolders() const { return !size_; }
  bool MatchesFolder(const FoundFolder& folder) const;
  bool MatchesFile(const FoundFile& file) const;

 private:
  bool MatchesCommon(std::u16string_view name, char deleted, const ItemTimes& times) const;
  bool MatchesDate(const ItemTimes& times) const;

  NamePattern name_;
  std::optional<DeletedChoice> deleted_;
  std::optional<DateBounds> date_;
  std::optional<SizeBounds> size_;
  FileSystemKind fileSystem_;
};

}  // namespace korv
