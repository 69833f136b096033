#include "search/name_pattern.h"

#include <algorithm>
#include <cstddef>

#include "engine/store_names.h"

namespace korv {

namespace {

constexpr char16_t kAnyRun = u'*';
constexpr char16_t kAnyOne = u'?';

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Where the character after the one at `at` starts: a surrogate pair is one
// character, so "?" takes both of its units.
std::size_t NextCharacter(std::u16string_view text, std::size_t at) {
  if (IsHighSurrogate(text[at]) && at + 1 < text.size() && IsLowSurrogate(text[at + 1])) return at + 2;
  return at + 1;
}

// Where `part` ends when it is laid on `name` from `at`: each "?" takes one
// character, every other unit must equal the name's, folded.
std::optional<std::size_t> PartEndAt(std::u16string_view name, std::size_t at, std::u16string_view part) {
  for (const char16_t unit : part) {
    if (at >= name.size()) return std::nullopt;
    if (unit == kAnyOne) {
      at = NextCharacter(name, at);
      continue;
    }
    if (FoldCase(name[at]) != unit) return std::nullopt;
    ++at;
  }
  return at;
}

// The end of the first place at or after `from` where `part` fits.
std::optional<std::size_t> FirstPartEnd(std::u16string_view name, std::size_t from, std::u16string_view part) {
  for (std::size_t start = from; start < name.size(); start = NextCharacter(name, start)) {
    if (const std::optional<std::size_t> end = PartEndAt(name, start, part)) return end;
  }
  return std::nullopt;
}

// Whether `part` fits at some place at or after `from` that ends the name.
// Without "?" the part has one place to try.
bool EndsWithPart(std::u16string_view name, std::size_t from, std::u16string_view part) {
  if (part.find(kAnyOne) == std::u16string_view::npos) {
    if (name.size() < part.size() || name.size() - part.size() < from) return false;
    return PartEndAt(name, name.size() - part.size(), part) == name.size();
  }
  for (std::size_t start = from; start < name.size(); start = NextCharacter(name, start)) {
    if (PartEndAt(name, start, part) == name.size()) return true;
  }
  return false;
}

std::vector<std::u16string> PartsBetweenStars(std::u16string_view pattern) {
  std::vector<std::u16string> parts;
  std::size_t start = 0;
  while (start <= pattern.size()) {
    const std::size_t star = std::min(pattern.find(kAnyRun, start), pattern.size());
    if (star > start) parts.emplace_back(pattern.substr(start, star - start));
    start = star + 1;
  }
  return parts;
}

std::u16string Folded(std::u16string_view pattern) {
  std::u16string folded;
  folded.reserve(pattern.size());
  for (const char16_t unit : pattern) {
    if (unit == kAnyRun && !folded.empty() && folded.back() == kAnyRun) continue;
    folded += FoldCase(unit);
  }
  return folded;
}

}  // namespace

NamePattern::NamePattern(std::u16string_view pattern) : pattern_(Folded(pattern)) {
  if (pattern_.empty()) {
    kind_ = Kind::Nothing;
  } else if (pattern_ == u"*" || pattern_ == u"*.*") {
    kind_ = Kind::Everything;
  } else if (pattern_.find_first_of(u"*?") == std::u16string::npos) {
    kind_ = Kind::Contains;
  } else {
    kind_ = Kind::Wildcard;
    parts_ = PartsBetweenStars(pattern_);
    anchoredAtStart_ = pattern_.front() != kAnyRun;
    anchoredAtEnd_ = pattern_.back() != kAnyRun;
  }
}

bool NamePattern::Matches(std::u16string_view name) const {
  if (name.empty()) return false;
  switch (kind_) {
    case Kind::Nothing: return false;
    case Kind::Everything: return true;
    case Kind::Contains: return ContainsPattern(name);
    case Kind::Wildcard: return MatchesWildcard(name);
  }
  return false;
}

bool NamePattern::ContainsPattern(std::u16string_view name) const {
  if (name.size() < pattern_.size()) return false;
  for (std::size_t start = 0; start + pattern_.size() <= name.size(); ++start) {
    std::size_t matched = 0;
    while (matched < pattern_.size() && FoldCase(name[start + matched]) == pattern_[matched]) ++matched;
    if (matched == pattern_.size()) return true;
  }
  return false;
}

// Each part between two stars is taken at the first place it fits after
// the part before it: a later place would leave less of the name to the
// parts after it, never more. The last part of a pattern that does not end
// in a star must end the name. Each part is tried at most once a place, so
// a match costs at most name length x pattern length, however many stars.
bool NamePattern::MatchesWildcard(std::u16string_view name) const {
  std::size_t at = 0;
  std::size_t first = 0;
  std::size_t last = parts_.size();
  if (anchoredAtStart_) {
    const std::optional<std::size_t> end = PartEndAt(name, 0, parts_.front());
    if (!end) return false;
    if (parts_.size() == 1 && anchoredAtEnd_) return *end == name.size();
    at = *end;
    first = 1;
  }
  if (anchoredAtEnd_) --last;
  for (std::size_t part = first; part < last; ++part) {
    const std::optional<std::size_t> end = FirstPartEnd(name, at, parts_[part]);
    if (!end) return false;
    at = *end;
  }
  if (!anchoredAtEnd_) return true;
  return EndsWithPart(name, at, parts_.back());
}

}  // namespace korv
