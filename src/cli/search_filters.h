// The search criteria of `analyze` and `recover`: --name, --deleted, --date
// and --size, read from their texts into the criteria the wizard's search
// dialog builds, with a message for every value that cannot be read.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "search/search_criteria.h"

namespace korv::cli {

inline constexpr std::string_view kMsgBadDateFilter =
    "--date takes created, modified or accessed, a colon and FROM..TO as YYYY-MM-DD, not: ";
inline constexpr std::string_view kMsgDateRangeReversed = "--date: the first day is after the last: ";
inline constexpr std::string_view kMsgBadSizeFilter =
    "--size takes MIN..MAX, each in bytes or with K, M or G (1K..2M), not: ";
inline constexpr std::string_view kMsgSizeRangeReversed = "--size: the least size is above the greatest: ";

struct SearchFilterOptions {
  std::optional<std::string> name;
  std::string deleted = "include";
  std::optional<std::string> date;
  std::optional<std::string> size;
};

// The criteria the options give; nullopt when none narrows anything (no
// --name, --date or --size, and deleted items included).
struct SearchFilterReading {
  std::optional<SearchCriteria> criteria;
  std::optional<std::string> refusal;  // the message, when a value cannot be read
};
SearchFilterReading ReadSearchFilters(const SearchFilterOptions& options);

// "include", "exclude" or "only".
DeletedChoice DeletedChoiceOf(std::string_view word);

}  // namespace korv::cli
