// NormalizedString: a piece of text as normalizers and pre-tokenizers change
// it, with each of its code points aligned to the span of the original text
// it came from. Tokens found in the changed text map back to the original
// through these alignments.
#pragma once

#include <string>
#include <vector>

#include "inference/encoding.h"

namespace tesk_privacy::inference {

struct NormalizedString {
  std::u32string text;
  // Original code-point span of each code point of `text`.
  std::vector<Offsets> align;

  // `chars` taken unchanged from the original text, starting at code point `base`.
  static NormalizedString from_original(std::u32string_view chars, size_t base);

  bool empty() const { return text.empty(); }
  size_t size() const { return text.size(); }
  void push(char32_t c, Offsets original) {
    text.push_back(c);
    align.push_back(original);
  }
  // Original span of the code points [a, b) of `text` (a < b).
  Offsets original_span(size_t a, size_t b) const { return {align[a].start, align[b - 1].end}; }
  // Original span covered by the whole string; {0, 0} when empty.
  Offsets original_span() const { return empty() ? Offsets{} : original_span(0, size()); }
  NormalizedString slice(size_t a, size_t b) const;

  // Replaces each code point c by what `fn(c, out)` appends to `out`; the
  // new code points keep c's alignment. A removed code point (nothing
  // appended) is absorbed by the code point before it when the two are
  // adjacent in the original, so a dropped accent or control character stays
  // inside the span of its word.
  template <typename Fn>
  void map(Fn&& fn) {
    NormalizedString result;
    result.text.reserve(text.size());
    result.align.reserve(text.size());
    std::u32string out;
    for (size_t i = 0; i < text.size(); ++i) {
      out.clear();
      fn(text[i], out);
      for (char32_t c : out) result.push(c, align[i]);
      if (out.empty() && !result.empty() && result.align.back().end == align[i].start) {
        result.align.back().end = align[i].end;
      }
    }
    *this = std::move(result);
  }

  // Inserts `prefix` in front, aligned with the first code point; does
  // nothing to an empty string.
  void prepend(std::u32string_view prefix);
};

// How a split treats the delimiters it finds.
enum class SplitBehavior { kRemoved, kIsolated, kMergedWithPrevious, kMergedWithNext, kContiguous };

// Cuts `s` at the delimiter spans `matches` (sorted, non-overlapping code
// point ranges of s.text) and appends the non-empty pieces to `out`.
void split_at(const NormalizedString& s, const std::vector<std::pair<size_t, size_t>>& matches,
              SplitBehavior behavior, std::vector<NormalizedString>& out);

}  // namespace tesk_privacy::inference
