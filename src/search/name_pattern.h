// The name a user searches for, compiled once and matched against every
// found name without regard to case (the ASCII and Latin-1 letters):
//   - an empty pattern matches nothing, nor does anything match an empty name;
//   - "*" and "*.*" match every name;
//   - a pattern without "*" and "?" matches every name that contains it;
//   - any other pattern is matched against the whole name: "*" stands for
//     any run of characters, none included, "?" for exactly one character.
// A match costs at most name length x pattern length steps, however many
// stars the pattern holds.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korv {

class NamePattern {
 public:
  explicit NamePattern(std::u16string_view pattern);

  bool Matches(std::u16string_view name) const;

 private:
  enum class Kind { Nothing, Everything, Contains, Wildcard };

  bool ContainsPattern(std::u16string_view name) const;
  bool MatchesWildcard(std::u16string_view name) const;

  Kind kind_ = Kind::Nothing;
  // Case folded; runs of stars are kept as one.
  std::u16string pattern_;
  // A wildcard pattern cut at its stars: the parts between them, and
  // whether the first part must start the name and the last end it.
  std::vector<std::u16string> parts_;
  bool anchoredAtStart_ = false;
  bool anchoredAtEnd_ = false;
};

}  // namespace korv
