// Turns word-level tags of a sequence-labelling model into labelled spans.
// Both tagging schemes models are trained with are read:
//  - BIO:   B-X begins a span, I-X continues one of type X;
//  - BIOES: additionally E-X ends and S-X is a span of one word
//           (BILOU's L- and U- are read as E- and S-).
// "O", "" and "_" are outside any span. An I-/E- tag after a word of
// another type (or after O) begins a span, as a model's stray I- tag means
// an entity all the same; a tag without a prefix is read as I-.
// A span's value is its type, its score the mean of its words' scores.
//
//   decode_tags({{0, 4, "S-PER", 0.9}, {5, 7, "O", 0.99},
//                {8, 11, "B-LOC", 0.8}, {12, 16, "E-LOC", 0.6}});
//   // -> {0, 4, "PER", 0.9}, {8, 16, "LOC", 0.7}
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace tesk_privacy::flair {

struct TaggedWord {
  size_t start = 0;  // code points, end exclusive
  size_t end = 0;
  std::string tag;
  double score = 0;
};

struct TaggedSpan {
  size_t start = 0;
  size_t end = 0;
  std::string value;
  double score = 0;

  bool operator==(const TaggedSpan&) const = default;
};

// Words in text order.
std::vector<TaggedSpan> decode_tags(const std::vector<TaggedWord>& words);

}  // namespace tesk_privacy::flair
