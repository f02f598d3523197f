// FeatureExtractor: the features the named-entity tagger scores, computed
// for every token of a sentence and hashed into rows of the model's weight
// table (2^hash_bits rows). The same code serves training and tagging, so a
// model always sees its features the way it was trained on them.
//
// Per token: the word as written and lower-cased, prefixes and suffixes of
// one to five characters, the word shape ("Budi" -> "Xx", "S.Kom" -> "X.Xx",
// "2024" -> "d") and capitalisation class, the words two to the left and
// right and the word bigrams around it, each neighbouring word with this
// token's capitalisation, the capitalisation of the five-token window,
// neighbouring shapes, the position in the sentence (the first word's
// lower-cased form apart), the length, and gazetteer matches of the token and its
// neighbours (alone and with the capitalisation), and the word clusters of
// the token and its neighbours.
//
// A sentence in one case only (all lower case, as chat often is, or all
// capitals) is "caseless": its case-bearing features are hashed apart from
// those of ordinary text, so capitalisation weights learnt on cased text do
// not mislead the tagger there, while the lexical ones are shared.
//
//   FeatureExtractor extractor(model.gazetteer(), model.hash_bits());
//   FeatureSet features;
//   extractor.extract(tokens, features);   // tokens: std::string_view each
//   for (uint32_t row : features.token(0)) ...
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ner/gazetteer.h"
#include "ner/word_clusters.h"

namespace tesk_privacy::ner {

// The form used for lexical features and gazetteer lookups: lower-cased
// (full Unicode case mapping), each decimal digit folded to "0", and the
// closing period of an abbreviation dropped ("PT." -> "pt", "S.Kom." ->
// "s.kom"; "." stays ".").
std::string normalize_token(std::string_view token);

// The short word shape: upper-case letters "X", other letters "x", digits
// "d", ASCII punctuation as itself, anything else "o"; runs of one class
// collapsed; at most 12 characters. With `fold_case` upper case counts as
// lower ("BUDI" -> "x").
std::string word_shape(std::string_view token, bool fold_case = false);

// True when the sentence's letters are all lower case or all upper case.
bool is_caseless(std::span<const std::string_view> tokens);

// The key of a feature domain such as "lang:id".
uint64_t domain_key(std::string_view name);

// The weight-table rows of each token of one sentence.
struct FeatureSet {
  std::vector<uint32_t> rows;
  std::vector<uint32_t> offsets;  // token i owns rows[offsets[i], offsets[i+1])
  // Optional (empty, or one per token): the token's word, an id shared by
  // the tokens written alike in sentences of one case mode; their first
  // word_rows[word_of[i]] rows are the same, so a reader may sum those once
  // per word.
  std::vector<uint32_t> word_of;
  std::vector<uint32_t> word_rows;

  size_t size() const { return offsets.empty() ? 0 : offsets.size() - 1; }
  std::span<const uint32_t> token(size_t i) const {
    return std::span<const uint32_t>(rows).subspan(offsets[i], offsets[i + 1] - offsets[i]);
  }
};

class FeatureExtractor {
 public:
  // `gazetteer` and `clusters` (may be null: no cluster features) must
  // outlive the extractor. Throws std::invalid_argument unless
  // 8 <= hash_bits <= 28.
  FeatureExtractor(const Gazetteer& gazetteer, int hash_bits, const WordClusters* clusters = nullptr);

  // Replaces `out` with the features of `tokens`, one sentence. Each
  // feature is emitted once as is and once more for each of `domains`
  // (domain_key()), so that a model can learn weights shared by all text
  // alongside weights of one language or one corpus.
  void extract(std::span<const std::string_view> tokens, FeatureSet& out,
               std::span<const uint64_t> domains = {}) const;
  // Replaces `out` with the features of several sentences, token ranges
  // [first, last) of `tokens`, one after another.
  void extract_sentences(std::span<const std::string_view> tokens,
                         std::span<const std::pair<size_t, size_t>> sentences, FeatureSet& out,
                         std::span<const uint64_t> domains = {}) const;

  int hash_bits() const { return hash_bits_; }

 private:
  struct TokenInfo;
  struct Words;

  // Appends the features of one sentence to `out`, whose offsets end at
  // its rows' end; `words` holds the call's distinct tokens.
  void append(std::span<const std::string_view> tokens, FeatureSet& out, std::span<const uint64_t> domains,
              Words& words) const;
  // What the features of `token` need of it, from `words` or added there.
  TokenInfo token_info(std::string_view token, bool caseless, std::span<const uint64_t> domains,
                       Words& words) const;

  const Gazetteer* gazetteer_;
  int hash_bits_;
  const WordClusters* clusters_;
};

}  // namespace tesk_privacy::ner
