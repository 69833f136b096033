#include "search/name_pattern.h"

#include <cstddef>

#include "engine/store_names.h"

namespace korv {

namespace {

constexpr char16_t kAnyRun = u'*';
constexpr char16_t kAnyOne = u'?';
constexpr std::size_t kNone = std::u16string_view::npos;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Where the character after the one at `at` starts: a surrogate pair is one
// character, so "?" takes both of its units.
std::size_t NextCharacter(std::u16string_view text, std::size_t at) {
  if (IsHighSurrogate(text[at]) && at + 1 < text.size() && IsLowSurrogate(text[at + 1])) return at + 2;
  return at + 1;
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

// Left to right, remembering only the last star: when a later part fails,
// the star takes one more character and the part is tried again from there.
// An earlier star never needs to take more, since the last one can absorb
// whatever it would have, so no combination of stars is ever revisited.
bool NamePattern::MatchesWildcard(std::u16string_view name) const {
  const std::u16string_view pattern = pattern_;
  std::size_t at = 0;
  std::size_t next = 0;
  std::size_t star = kNone;
  std::size_t starAt = 0;
  while (at < name.size()) {
    if (next < pattern.size() && pattern[next] == kAnyRun) {
      star = next++;
      starAt = at;
      continue;
    }
    if (next < pattern.size() && pattern[next] == kAnyOne) {
      at = NextCharacter(name, at);
      ++next;
      continue;
    }
    if (next < pattern.size() && pattern[next] == FoldCase(name[at])) {
      ++at;
      ++next;
      continue;
    }
    if (star == kNone) return false;
    starAt = NextCharacter(name, starAt);
    at = starAt;
    next = star + 1;
  }
  while (next < pattern.size() && pattern[next] == kAnyRun) ++next;
  return next == pattern.size();
}

}  // namespace korv
