// WholeWordReplacer: replaces many literal strings in one pass over a text,
// matching whole words (no word character directly before or after) without
// regard to letter case.
//
// Needles are given in priority order. Every occurrence of every needle is
// found in the input text; occurrences are accepted highest priority first
// (then left to right) unless they overlap one already accepted. Matching
// only ever looks at the input, so a replacement can never be matched again
// by a later needle — which a chain of search-and-replace passes would do.
// The cost is one scan of the text, whatever the number of needles.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::pii_detector {

class WholeWordReplacer {
 public:
  // (needle, replacement) pairs, highest priority first. Empty needles are ignored.
  explicit WholeWordReplacer(const std::vector<std::pair<std::string, std::string>>& pairs);

  std::string replace(const Utf8Text& text) const;

 private:
  struct Node {
    std::vector<std::pair<char32_t, int>> next;  // sorted by code point
    std::vector<int> needles;                    // needles ending here, by priority
  };
  int child(int node, char32_t c) const;

  std::vector<Node> nodes_;
  std::vector<std::string> replacements_;
};

// Python's \w: a Unicode letter or number, or "_".
bool is_word_char(char32_t c);
// Simple Unicode case folding of one code point (length-preserving).
char32_t fold_case(char32_t c);

}  // namespace tesk_privacy::pii_detector
