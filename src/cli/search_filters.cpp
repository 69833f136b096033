#include "cli/search_filters.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <utility>

#include "platform/bytes.h"

namespace korv::cli {

namespace {

constexpr std::string_view kRangeSeparator = "..";

struct DateKindWord {
  std::string_view word;
  DateKind kind;
};
constexpr std::array<DateKindWord, 3> kDateKindWords = {
    {{"created", DateKind::Created}, {"modified", DateKind::Modified}, {"accessed", DateKind::Accessed}}};

std::optional<std::pair<std::string_view, std::string_view>> SplitRange(std::string_view text) {
  const auto at = text.find(kRangeSeparator);
  if (at == std::string_view::npos) return std::nullopt;
  return std::pair{text.substr(0, at), text.substr(at + kRangeSeparator.size())};
}

// Digits only, the whole text.
template <typename Number>
std::optional<Number> WholeNumber(std::string_view text) {
  Number value{};
  if (text.empty() || text.front() == '-' || text.front() == '+') return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// YYYY-MM-DD naming a day the calendar has.
std::optional<CalendarDate> ReadDay(std::string_view text) {
  if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
  const auto year = WholeNumber<int>(text.substr(0, 4));
  const auto month = WholeNumber<unsigned>(text.substr(5, 2));
  const auto day = WholeNumber<unsigned>(text.substr(8, 2));
  if (!year || !month || !day) return std::nullopt;
  const std::chrono::year_month_day date{std::chrono::year{*year}, std::chrono::month{*month},
                                         std::chrono::day{*day}};
  if (!date.ok()) return std::nullopt;
  return CalendarDate{*year, static_cast<int>(*month), static_cast<int>(*day)};
}

std::optional<std::uint64_t> UnitOf(char suffix) {
  switch (suffix) {
    case 'k':
    case 'K': return BytesPerUnit(SizeUnit::KB);
    case 'm':
    case 'M': return BytesPerUnit(SizeUnit::MB);
    case 'g':
    case 'G': return BytesPerUnit(SizeUnit::GB);
    default: return std::nullopt;
  }
}

// "1500", "1K", "2M", "3G"; nullopt when it is none of these or passes 2^64.
std::optional<std::uint64_t> ReadSize(std::string_view text) {
  if (text.empty()) return std::nullopt;
  std::uint64_t unit = 1;
  if (const auto suffixed = UnitOf(text.back())) {
    unit = *suffixed;
    text.remove_suffix(1);
  }
  const auto number = WholeNumber<std::uint64_t>(text);
  if (!number) return std::nullopt;
  return CheckedMul(*number, unit);
}

std::string Refused(std::string_view message, std::string_view value) {
  return std::string(message) + std::string(value);
}

std::optional<std::string> ReadDate(std::string_view text, SearchCriteria& criteria) {
  const auto colon = text.find(':');
  if (colon == std::string_view::npos) return Refused(kMsgBadDateFilter, text);
  const std::string_view word = text.substr(0, colon);
  const auto kind = std::find_if(kDateKindWords.begin(), kDateKindWords.end(),
                                 [&](const DateKindWord& known) { return known.word == word; });
  const auto range = SplitRange(text.substr(colon + 1));
  if (kind == kDateKindWords.end() || !range) return Refused(kMsgBadDateFilter, text);
  const auto from = ReadDay(range->first);
  const auto to = ReadDay(range->second);
  if (!from || !to) return Refused(kMsgBadDateFilter, text);
  if (*from > *to) return Refused(kMsgDateRangeReversed, text);
  criteria.date = DateBounds{kind->kind, *from, *to};
  return std::nullopt;
}

// An upper bound of 0 sets no limit, as in the dialog; only then may the
// least size be above it.
std::optional<std::string> ReadSizes(std::string_view text, SearchCriteria& criteria) {
  const auto range = SplitRange(text);
  if (!range) return Refused(kMsgBadSizeFilter, text);
  const auto from = ReadSize(range->first);
  const auto to = ReadSize(range->second);
  if (!from || !to) return Refused(kMsgBadSizeFilter, text);
  if (*to != 0 && *from > *to) return Refused(kMsgSizeRangeReversed, text);
  criteria.size = SizeBounds{*from, *to};
  return std::nullopt;
}

}  // namespace

DeletedChoice DeletedChoiceOf(std::string_view word) {
  if (word == "exclude") return DeletedChoice::Exclude;
  if (word == "only") return DeletedChoice::DeletedOnly;
  return DeletedChoice::Include;
}

SearchFilterReading ReadSearchFilters(const SearchFilterOptions& options) {
  const DeletedChoice deleted = DeletedChoiceOf(options.deleted);
  if (!options.name && !options.date && !options.size && deleted == DeletedChoice::Include) return {};
  SearchCriteria criteria;
  criteria.name = options.name ? Utf8ToUtf16(*options.name) : std::u16string(u"*");
  if (deleted != DeletedChoice::Include) criteria.deleted = deleted;
  if (options.date) {
    if (auto refusal = ReadDate(*options.date, criteria)) return {std::nullopt, std::move(refusal)};
  }
  if (options.size) {
    if (auto refusal = ReadSizes(*options.size, criteria)) return {std::nullopt, std::move(refusal)};
  }
  return {std::move(criteria), std::nullopt};
}

}  // namespace korv::cli
