// The search dialog without a window: what its criteria controls hold and
// the criteria they give, and the rows of its result list with their
// columns. Type, size, dates and ID are written as the results list writes
// them; "Path" is the chain of the folder tree's labels down to the item's
// folder, each followed by "/".
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/file_system_kind.h"
#include "engine/store.h"
#include "search/search_criteria.h"
#include "search/search_worker.h"
#include "ui/logic/results_tree.h"

namespace korv {

// The result list's columns, in order.
enum class SearchColumn { Name = 0, Type, Path, Size, Created, Modified, Accessed, Id };
inline constexpr int kSearchColumnCount = 8;
std::string_view SearchColumnHeading(SearchColumn column);
int SearchColumnWidth(SearchColumn column);

// The date kinds of the drop-down, in its order.
struct SearchDateKind {
  std::string_view text;
  DateKind kind;
};
inline constexpr std::array<SearchDateKind, 3> kSearchDateKinds = {
    {{"Created Date", DateKind::Created}, {"Modified Date", DateKind::Modified}, {"Accessed Date", DateKind::Accessed}}};

// What the dialog's controls hold, with their defaults.
struct SearchForm {
  std::string name;  // UTF-8, as typed
  bool typeTicked = true;
  DeletedChoice deleted = DeletedChoice::Include;
  bool dateTicked = false;
  DateKind dateKind = DateKind::Created;
  CalendarDate from{kFirstListedYear, 1, 1};
  CalendarDate to{kLastListedYear, 12, 31};
  bool sizeTicked = false;
  std::string sizeFrom = "0";
  std::string sizeTo = "2";
  SizeUnit sizeUnit = SizeUnit::GB;
};

SearchCriteria CriteriaOf(const SearchForm& form);

// A size field read as an unsigned 32-bit number: its leading digits, at
// most 4,294,967,295; 0 when it starts with none.
std::uint32_t SizeFieldValue(std::string_view text);

inline ResultRow RowOfMatch(const SearchMatch& match) { return {match.folder, match.id}; }

// The labels from the root's child down to the folder holding the item,
// each followed by "/"; empty for an item of the root, or one the tree does
// not show.
std::string MatchPathText(const Store& store, const ResultsTree& tree, const ResultRow& row);

std::string MatchCellText(const Store& store, const ResultsTree& tree, const ResultRow& row, SearchColumn column);

}  // namespace korv
