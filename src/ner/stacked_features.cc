#include "ner/stacked_features.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>
#include <unordered_map>

#include "ner/decoder.h"
#include "ner/hashing.h"
#include "ner/labels.h"
#include "ner/string_ids.h"

namespace tesk_privacy::ner {
namespace {

// Feature templates of the second stage, apart from the first stage's. The
// numbers are part of the model format.
enum Template : uint64_t {
  kLabel = 2001,
  kLabelPrev2,
  kLabelPrev1,
  kLabelNext1,
  kLabelNext2,
  kLabelBigramPrev,
  kLabelBigramNext,
  kLabelShape,
  kWordMajority,
  kWordMajorityOwn,
  kLowerMajority,
  kLowerMajorityOwn,
  kWordInEntityElsewhere,
  kSpanTypedOtherwise,
};

// mix64 of each template number, worked out at compile time: a feature's
// hash is hash_combine(kTemplateSeeds[template - kLabel], value), as
// feature_hash(template, value) would give it.
constexpr auto kTemplateSeeds = [] {
  std::array<uint64_t, kSpanTypedOtherwise - kLabel + 1> seeds{};
  for (uint64_t t = kLabel; t <= kSpanTypedOtherwise; ++t) seeds[t - kLabel] = mix64(t);
  return seeds;
}();

// Stand-ins for labels beyond the sentence's edges.
constexpr uint64_t kBeforeSentence = 100, kAfterSentence = 101;

// 0 for O, 1 + type for a B- or I- label.
int type_class(int label) { return label == kOutside ? 0 : 1 + static_cast<int>(label_type(label)); }

bool has_letter(std::string_view word) {
  for (const char c : word) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

using TypeCounts = std::array<uint32_t, 1 + kNumEntityTypes>;

// The commonest type class among `counts` less the token's own, or -1 when
// the word occurs nowhere else. Ties go to the entity types over O.
int majority_elsewhere(TypeCounts counts, int own) {
  --counts[own];
  int best = -1;
  uint32_t most = 0;
  for (int c = kNumEntityTypes; c >= 0; --c) {
    if (counts[c] > most) {
      most = counts[c];
      best = c;
    }
  }
  return best;
}

}  // namespace

StackedFeatures::StackedFeatures(int hash_bits) : hash_bits_(hash_bits) {
  if (hash_bits < 8 || hash_bits > 28) {
    throw std::invalid_argument("stacked feature hash bits must be between 8 and 28, got " +
                                std::to_string(hash_bits));
  }
}

void StackedFeatures::extract(std::span<const std::string_view> words, std::span<const int> labels,
                              std::span<const std::pair<size_t, size_t>> sentences, const FeatureSet& base,
                              int base_bits, FeatureSet& out) const {
  const size_t n = words.size();
  if (labels.size() != n || base.size() != n) {
    throw std::invalid_argument("stacked features: " + std::to_string(n) + " words, " +
                                std::to_string(labels.size()) + " labels and " + std::to_string(base.size()) +
                                " tokens of features do not match");
  }
  if (base_bits < hash_bits_ || base_bits > 28) {
    throw std::invalid_argument("stacked features: first-stage table of 2^" + std::to_string(base_bits) +
                                " rows cannot fold into 2^" + std::to_string(hash_bits_));
  }
  size_t covered = 0;
  for (const auto& [first, last] : sentences) {
    if (first != covered || last < first || last > n) {
      throw std::invalid_argument("stacked features: sentences must cover the tokens in order");
    }
    covered = last;
  }
  if (covered != n) throw std::invalid_argument("stacked features: sentences must cover the tokens in order");
  for (const int y : labels) {
    if (y < 0 || y >= kNumLabels) throw std::invalid_argument("stacked features: label out of range");
  }

  // What the first stage made of each word across the text, as written and
  // normalised. Each distinct word gets an id, its shape and normalised
  // form worked out once.
  constexpr uint32_t kNoLetter = UINT32_MAX;
  struct Word {
    uint64_t shape;  // hash of the shape's first two characters
    uint32_t lower;  // id of the normalised form, or kNoLetter
  };
  StringIds written(n), normalized(n);
  std::vector<std::string> normalized_text;
  normalized_text.reserve(n);  // never reallocated: `normalized` views the strings
  std::vector<Word> word_info;
  std::vector<uint32_t> word_of(n);
  std::vector<TypeCounts> by_word, by_lower;
  for (size_t i = 0; i < n; ++i) {
    const auto [id, fresh] = written.insert(words[i]);
    if (fresh) {
      Word w{hash_bytes(std::string_view(word_shape(words[i])).substr(0, 2)), kNoLetter};
      if (has_letter(words[i])) {
        const auto [lower, new_form] = normalized.insert(normalized_text.emplace_back(normalize_token(words[i])));
        if (new_form) {
          by_lower.emplace_back();
        } else {
          normalized_text.pop_back();
        }
        w.lower = lower;
      }
      word_info.push_back(w);
      by_word.emplace_back();
    }
    word_of[i] = id;
    if (const uint32_t lower = word_info[id].lower; lower != kNoLetter) {
      ++by_word[id][type_class(labels[i])];
      ++by_lower[lower][type_class(labels[i])];
    }
  }
  // The first-stage entities, and the types each entity text took.
  std::vector<LabelledSpan> spans;
  for (const auto& [first, last] : sentences) {
    for (LabelledSpan s : spans_from_labels(labels.subspan(first, last - first))) {
      s.begin += first;
      s.end += first;
      spans.push_back(s);
    }
  }
  auto span_text = [&](const LabelledSpan& s) {
    std::string key;
    for (size_t i = s.begin; i < s.end; ++i) key.append(words[i]).push_back(' ');
    return key;
  };
  std::unordered_map<std::string, uint32_t> span_types;  // bit per type
  std::vector<std::string> span_keys;
  span_keys.reserve(spans.size());
  for (const LabelledSpan& s : spans) {
    span_types[span_keys.emplace_back(span_text(s))] |= 1u << static_cast<int>(s.type);
  }
  std::vector<int> span_of(n, -1);
  // The types each span's text took, looked up once per span: a token-wise
  // lookup hashes the whole span's text for each of its tokens, quadratic in
  // a span that runs over a long repeated word.
  std::vector<uint32_t> span_text_types(spans.size());
  for (size_t k = 0; k < spans.size(); ++k) {
    for (size_t i = spans[k].begin; i < spans[k].end; ++i) span_of[i] = static_cast<int>(k);
    span_text_types[k] = span_types.at(span_keys[k]);
  }

  const int shift = 64 - hash_bits_;
  const int fold = base_bits - hash_bits_;
  out.rows.clear();
  out.offsets.clear();
  out.offsets.reserve(n + 1);
  out.rows.reserve(base.rows.size() + n * 16);
  out.offsets.push_back(0);
  // The base rows come first and folded alike, so the words' shared rows stay shared.
  out.word_of = base.word_of;
  out.word_rows = base.word_rows;
  auto emit = [&](uint64_t tmpl, uint64_t value) {
    out.rows.push_back(static_cast<uint32_t>(hash_combine(kTemplateSeeds[tmpl - kLabel], value) >> shift));
  };
  for (const auto& sentence : sentences) {
    const size_t first = sentence.first;
    const size_t last = sentence.second;
    auto label_at = [&](size_t i, ptrdiff_t d) -> uint64_t {
      const ptrdiff_t j = static_cast<ptrdiff_t>(i) + d;
      if (j < static_cast<ptrdiff_t>(first)) return kBeforeSentence;
      if (j >= static_cast<ptrdiff_t>(last)) return kAfterSentence;
      return static_cast<uint64_t>(labels[j]);
    };
    for (size_t i = first; i < last; ++i) {
      const std::span<const uint32_t> own = base.token(i);
      const size_t at = out.rows.size();
      out.rows.resize(at + own.size());
      std::transform(own.begin(), own.end(), out.rows.begin() + static_cast<ptrdiff_t>(at),
                     [fold](uint32_t r) { return r >> fold; });
      const uint64_t y = static_cast<uint64_t>(labels[i]);
      emit(kLabel, y);
      emit(kLabelPrev2, label_at(i, -2));
      emit(kLabelPrev1, label_at(i, -1));
      emit(kLabelNext1, label_at(i, 1));
      emit(kLabelNext2, label_at(i, 2));
      emit(kLabelBigramPrev, label_at(i, -1) * 128 + y);
      emit(kLabelBigramNext, y * 128 + label_at(i, 1));
      const Word& word = word_info[word_of[i]];
      emit(kLabelShape, hash_combine(y, word.shape));
      if (word.lower != kNoLetter) {
        const int own = type_class(labels[i]);
        const TypeCounts& same_word = by_word[word_of[i]];
        if (const int m = majority_elsewhere(same_word, own); m >= 0) {
          emit(kWordMajority, static_cast<uint64_t>(m));
          emit(kWordMajorityOwn, static_cast<uint64_t>(m * 8 + own));
        }
        if (const int m = majority_elsewhere(by_lower[word.lower], own); m >= 0) {
          emit(kLowerMajority, static_cast<uint64_t>(m));
          emit(kLowerMajorityOwn, static_cast<uint64_t>(m * 8 + own));
        }
        for (int c = 1; c <= kNumEntityTypes; ++c) {
          if (same_word[c] > (own == c ? 1u : 0u)) emit(kWordInEntityElsewhere, static_cast<uint64_t>(c));
        }
      }
      if (span_of[i] >= 0) {
        const auto own = static_cast<uint32_t>(spans[span_of[i]].type);
        const uint32_t others = span_text_types[static_cast<size_t>(span_of[i])] & ~(1u << own);
        for (uint32_t t = 0; t < kNumEntityTypes; ++t) {
          if (others & (1u << t)) emit(kSpanTypedOtherwise, own * 8 + t);
        }
      }
      out.offsets.push_back(static_cast<uint32_t>(out.rows.size()));
    }
  }
}

}  // namespace tesk_privacy::ner
