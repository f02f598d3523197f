// Arbitrary patterns and texts through the Python-dialect translation and
// PCRE2: compile errors must be RegexError, matches must lie inside the text
// with code-point offsets that count the characters before their bytes, and
// the backtracking bound must stop runaway matching. The matches must also
// equal those of the pattern wrapped as "(?:P)|(?!) ", which matches the same
// but gets no prefilter and, its blank being a byte it may match, scans a
// text that is not all ASCII with the Unicode-aware compilation only. So a
// prefilter that skips a match, or an ASCII-only attempt that should have
// been Unicode-aware, is caught. Texts are capped at 4 KB: a pattern that
// backtracks to its bound at every start position takes time in proportion
// to the text, which hostile-input growth checks measure, not this target.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "tesk_privacy/regex/regex.h"

using namespace tesk_privacy;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  int flags = data[0] & (regex::IGNORECASE | regex::MULTILINE | regex::DOTALL);
  std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  size_t cut = rest.find('\0');
  if (cut == std::string::npos) return 0;
  std::string pattern = rest.substr(0, cut), subject = rest.substr(cut + 1);
  if (subject.size() > 4096) return 0;
  if (find_invalid_utf8(pattern) != std::string::npos || find_invalid_utf8(subject) != std::string::npos) {
    return 0;
  }
  std::vector<regex::Match> matches;
  Utf8Text text(subject);
  try {
    regex::Regex re(pattern, flags, 100'000);
    matches = re.find_all(text);
    for (const auto& m : matches) {
      if (m.start < 0 || m.end > static_cast<int64_t>(text.length())) std::abort();
      if (m.start != static_cast<int64_t>(utf8_length(subject.substr(0, m.byte_start))) ||
          m.end != static_cast<int64_t>(utf8_length(subject.substr(0, m.byte_end)))) {
        std::abort();
      }
    }
  } catch (const regex::RegexError&) {
    return 0;
  } catch (const regex::MatchLimitError&) {
    return 0;
  }
  try {
    // Wrapping can only fail where it changes the pattern's reading, as for
    // global inline flags no longer at the start.
    const regex::Regex reference("(?:" + pattern + ")|(?!) ", flags, 100'000);
    const std::vector<regex::Match> want = reference.find_all(text);
    if (want.size() != matches.size()) std::abort();
    for (size_t i = 0; i < want.size(); ++i) {
      if (want[i].byte_start != matches[i].byte_start || want[i].byte_end != matches[i].byte_end ||
          want[i].groups != matches[i].groups) {
        std::abort();
      }
    }
  } catch (const regex::RegexError&) {
  } catch (const regex::MatchLimitError&) {
  }
  return 0;
}
