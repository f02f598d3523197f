// WordClusters: groups of words that occur between similar neighbours in
// unlabelled text ("surabaya" with "medan", "budi" with "andi"), so that the
// tagger can generalise from a word it saw in training to one it only met in
// running text. Each known word has a fine cluster and the coarse cluster
// that fine one belongs to.
//
// learn() clusters the words of tokenized sentences (spherical k-means on
// each word's counts of left and right neighbours among the most frequent
// words, then the fine centroids are grouped again into coarse ones) and
// returns the table's bytes; the table travels inside the model file and is
// read in place: sorted word hashes with their cluster ids.
//
//   std::string bytes = WordClusters::learn(sentences, {.clusters = 256});
//   WordClusters clusters(bytes);                     // `bytes` must outlive it
//   uint32_t c = clusters.lookup(word_hash("budi"));  // 0: unknown word
//   uint32_t fine = c & 0xFFFF, coarse = c >> 16;
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tesk_privacy::ner {

struct WordClusterOptions {
  int clusters = 256;         // fine clusters, 2..65534
  int coarse_clusters = 32;   // groups of fine clusters, 2..clusters
  int min_count = 2;          // rarer words are left out
  size_t max_words = 60000;   // the most frequent words kept
  int context_words = 300;    // neighbours counted: the most frequent words
  int iterations = 12;
  uint64_t seed = 42;  // picks the words that seed the clusters
};

class WordClusters {
 public:
  // A table without words: every lookup() is 0.
  WordClusters() = default;
  // Reads a table written by learn(). Throws std::invalid_argument when the
  // bytes are not such a table.
  explicit WordClusters(std::string_view bytes);

  // (coarse id << 16) | fine id, both from 1, for a known word; 0 otherwise.
  // `word_hash` is word_hash() of the word's normalized form.
  uint32_t lookup(uint64_t word_hash) const;
  size_t size() const { return count_; }

  // The key of a normalized word.
  static uint64_t word_hash(std::string_view normalized);

  // Clusters the words of `sentences` (normalized tokens, one vector per
  // sentence) and returns the table's bytes. Deterministic for a seed.
  // Throws std::invalid_argument for options out of range.
  static std::string learn(std::span<const std::vector<std::string>> sentences, const WordClusterOptions& options);

 private:
  std::string_view bytes_;
  size_t count_ = 0;
};

}  // namespace tesk_privacy::ner
