// Translation of a pattern in Python's `re` dialect into the PCRE2 pattern
// with the same meaning, and the PCRE2 options that stand for Python's flags.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tesk_privacy::regex::internal {

struct Translation {
  std::string pattern;
  uint32_t options = 0;  // PCRE2 compile options
};

// Throws RegexError for flags or escapes Python itself would refuse, and for
// the few constructs that have no PCRE2 equivalent.
Translation translate_python_pattern(std::string_view pattern, int flags);

}  // namespace tesk_privacy::regex::internal
