// Arbitrary patterns and texts through the Python-dialect translation and
// PCRE2: compile errors must be RegexError, matches must lie inside the text
// with code-point offsets that count the characters before their bytes, and
// the backtracking bound must stop runaway matching.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "tesk_privacy/regex/regex.h"

using namespace tesk_privacy;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  int flags = data[0] & (regex::IGNORECASE | regex::MULTILINE | regex::DOTALL);
  std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  size_t cut = rest.find('\0');
  if (cut == std::string::npos) return 0;
  std::string pattern = rest.substr(0, cut), subject = rest.substr(cut + 1);
  if (find_invalid_utf8(pattern) != std::string::npos || find_invalid_utf8(subject) != std::string::npos) {
    return 0;
  }
  try {
    regex::Regex re(pattern, flags, 100'000);
    Utf8Text text(subject);
    for (const auto& m : re.find_all(text)) {
      if (m.start < 0 || m.end > static_cast<int64_t>(text.length())) std::abort();
      if (m.start != static_cast<int64_t>(utf8_length(subject.substr(0, m.byte_start))) ||
          m.end != static_cast<int64_t>(utf8_length(subject.substr(0, m.byte_end)))) {
        std::abort();
      }
    }
  } catch (const regex::RegexError&) {
  } catch (const regex::MatchLimitError&) {
  }
  return 0;
}
