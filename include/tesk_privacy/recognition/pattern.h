// Pattern: a named regular expression (Python `re` dialect) and the score a
// match of it earns.
#pragma once

#include <string>

namespace tesk_privacy::recognition {

struct Pattern {
  std::string name;
  std::string regex;
  double score = 0.0;

  Pattern() = default;
  Pattern(std::string name, std::string regex, double score)
      : name(std::move(name)), regex(std::move(regex)), score(score) {}
  bool operator==(const Pattern&) const = default;
};

}  // namespace tesk_privacy::recognition
