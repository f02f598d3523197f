// StackedFeatures: the features of the tagger's second stage, which reads a
// text again knowing the labels the first stage gave it. Each token keeps
// its first-stage features (folded into the second stage's smaller table)
// and gains:
//   - the first-stage labels of the token and of two tokens either side
//     within its sentence, alone and as bigrams;
//   - the first-stage label with the token's capitalisation;
//   - what the first stage made of the same word elsewhere in the text: the
//     commonest entity type (or O) of its other occurrences as written and
//     lower-cased, and each type it took anywhere else inside an entity;
//   - for a token inside a first-stage entity, whether the entity's exact
//     words also stand elsewhere as an entity of another type.
// So "Waters" tagged as a person once and missed later, or a name read as a
// place in one sentence and a person in three, can be set right.
//
//   StackedFeatures stacked(17);
//   FeatureSet out;   // every token of the text, sentence after sentence
//   stacked.extract(words, first_stage_labels, sentences, base, base_bits, out);
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <utility>
#include <vector>

#include "ner/feature_extractor.h"

namespace tesk_privacy::ner {

class StackedFeatures {
 public:
  // Throws std::invalid_argument unless 8 <= hash_bits <= 28.
  explicit StackedFeatures(int hash_bits);

  // Replaces `out` with the second-stage rows of every token of a text.
  // `words` and `labels` (first-stage BIO labels) cover the whole text;
  // `sentences` are its sentences as token ranges, in order and covering
  // every token; `base` holds every token's first-stage rows of a table of
  // 2^base_bits rows. Throws std::invalid_argument when the sizes disagree,
  // a label is out of range, or base_bits is smaller than hash_bits.
  void extract(std::span<const std::string_view> words, std::span<const int> labels,
               std::span<const std::pair<size_t, size_t>> sentences, const FeatureSet& base, int base_bits,
               FeatureSet& out) const;

  int hash_bits() const { return hash_bits_; }

 private:
  int hash_bits_;
};

}  // namespace tesk_privacy::ner
