// PatternMatcher: a regular expression from a tokenizer file (Split
// pre-tokenizers, Replace normalizers and decoders), matched on code points
// with PCRE2's 32-bit library so match positions are code-point offsets.
// Patterns use the Perl/Oniguruma syntax those files are written in
// (\p{L}, \s, look-ahead); \w, \d, \s and \b are Unicode-aware.
//
// Immutable after construction; find_all() may run on several threads.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tesk_privacy::inference {

class PatternMatcher {
 public:
  // Throws std::runtime_error, prefixed with `origin`, when the pattern does
  // not compile.
  PatternMatcher(std::string_view pattern_utf8, const std::string& origin);
  ~PatternMatcher();
  PatternMatcher(const PatternMatcher&) = delete;
  PatternMatcher& operator=(const PatternMatcher&) = delete;

  // Non-empty, non-overlapping matches, left to right, as [start, end)
  // code-point ranges.
  std::vector<std::pair<size_t, size_t>> find_all(std::u32string_view text) const;

 private:
  struct Code;
  std::unique_ptr<Code> code_;
  std::string pattern_;
};

}  // namespace tesk_privacy::inference
