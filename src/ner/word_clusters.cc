#include "ner/word_clusters.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>
#include <random>
#include <stdexcept>
#include <unordered_map>

#include "ner/byte_io.h"
#include "ner/hashing.h"

namespace tesk_privacy::ner {
namespace {

// Table layout: u32 word count, u32 zero, u64 hash[count] ascending, u32 cluster[count].
constexpr size_t kHeader = 8;

template <typename T>
void append(std::string& out, T v) {
  out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

// A word's neighbour profile: (dimension, weight) pairs, unit length.
using SparseVector = std::vector<std::pair<uint32_t, float>>;

// Spherical k-means: assigns each vector to the centroid of largest cosine.
// `init` are the indices of the vectors that seed the centroids.
std::vector<int> spherical_kmeans(std::span<const SparseVector> vectors, size_t dims, size_t k,
                                  std::span<const size_t> init, int iterations) {
  std::vector<float> centroids(dims * k, 0.0f);  // dimension-major: centroids[d * k + c]
  for (size_t c = 0; c < k; ++c) {
    for (const auto& [d, v] : vectors[init[c]]) centroids[d * k + c] = v;
  }
  std::vector<int> assignment(vectors.size(), -1);
  std::vector<float> scores(k);
  for (int it = 0; it < iterations; ++it) {
    bool changed = false;
    for (size_t i = 0; i < vectors.size(); ++i) {
      std::fill(scores.begin(), scores.end(), 0.0f);
      for (const auto& [d, v] : vectors[i]) {
        const float* row = &centroids[d * k];
        for (size_t c = 0; c < k; ++c) scores[c] += v * row[c];
      }
      const int best = static_cast<int>(std::max_element(scores.begin(), scores.end()) - scores.begin());
      changed |= best != assignment[i];
      assignment[i] = best;
    }
    if (!changed) break;
    std::fill(centroids.begin(), centroids.end(), 0.0f);
    for (size_t i = 0; i < vectors.size(); ++i) {
      for (const auto& [d, v] : vectors[i]) centroids[d * k + assignment[i]] += v;
    }
    std::vector<double> norms(k, 0.0);
    for (size_t d = 0; d < dims; ++d) {
      for (size_t c = 0; c < k; ++c) norms[c] += double{centroids[d * k + c]} * centroids[d * k + c];
    }
    for (size_t d = 0; d < dims; ++d) {
      for (size_t c = 0; c < k; ++c) {
        if (norms[c] > 0) centroids[d * k + c] = static_cast<float>(centroids[d * k + c] / std::sqrt(norms[c]));
      }
    }
  }
  return assignment;
}

void normalize(SparseVector& v) {
  double norm = 0;
  for (const auto& [d, x] : v) norm += double{x} * x;
  if (norm > 0) {
    for (auto& [d, x] : v) x = static_cast<float>(x / std::sqrt(norm));
  }
}

}  // namespace

uint64_t WordClusters::word_hash(std::string_view normalized) { return hash_bytes(normalized); }

WordClusters::WordClusters(std::string_view bytes) : bytes_(bytes) {
  if (bytes.size() < kHeader) throw std::invalid_argument("word cluster table is truncated");
  count_ = read<uint32_t>(bytes, 0);
  if (bytes.size() != kHeader + count_ * 12) {
    throw std::invalid_argument("word cluster table of " + std::to_string(bytes.size()) + " bytes does not hold " +
                                std::to_string(count_) + " words");
  }
  for (size_t i = 1; i < count_; ++i) {
    if (read<uint64_t>(bytes, kHeader + (i - 1) * 8) >= read<uint64_t>(bytes, kHeader + i * 8)) {
      throw std::invalid_argument("word cluster table is not sorted");
    }
  }
}

uint32_t WordClusters::lookup(uint64_t word_hash) const {
  if (count_ == 0) return 0;
  auto key = [&](size_t i) { return read<uint64_t>(bytes_, kHeader + i * 8); };
  // The keys are hashes, spread evenly over 64 bits, so a key's rank is close
  // to its share of the range. Start there and double a bracket [lo, hi)
  // around the first key >= word_hash until it holds it; then bisect.
  const auto guess = static_cast<size_t>((static_cast<unsigned __int128>(word_hash) * count_) >> 64);
  size_t lo = 0, hi = count_;
  if (key(guess) < word_hash) {
    lo = guess + 1;
    for (size_t step = 8;; step *= 2) {
      const size_t probe = lo + step;
      if (probe >= count_) break;
      if (key(probe) >= word_hash) {
        hi = probe + 1;
        break;
      }
      lo = probe + 1;
    }
  } else {
    hi = guess + 1;
    for (size_t step = 8;; step *= 2) {
      if (hi - 1 < step) break;
      const size_t probe = hi - 1 - step;
      if (key(probe) < word_hash) {
        lo = probe + 1;
        break;
      }
      hi = probe + 1;
    }
  }
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (key(mid) < word_hash) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo < count_ && key(lo) == word_hash ? read<uint32_t>(bytes_, kHeader + count_ * 8 + lo * 4) : 0;
}

std::string WordClusters::learn(std::span<const std::vector<std::string>> sentences,
                                const WordClusterOptions& options) {
  if (options.clusters < 2 || options.clusters > 65534 || options.coarse_clusters < 2 ||
      options.coarse_clusters > options.clusters || options.min_count < 1 || options.context_words < 1 ||
      options.iterations < 1) {
    throw std::invalid_argument("word cluster options out of range");
  }
  std::unordered_map<std::string_view, size_t> frequency;
  for (const auto& sentence : sentences) {
    for (const std::string& w : sentence) ++frequency[w];
  }
  std::vector<std::pair<std::string_view, size_t>> by_frequency(frequency.begin(), frequency.end());
  std::sort(by_frequency.begin(), by_frequency.end(),
            [](const auto& a, const auto& b) { return a.second != b.second ? a.second > b.second : a.first < b.first; });

  // Context dimensions: the most frequent words, and the sentence edges.
  std::unordered_map<std::string_view, uint32_t> context;
  for (const auto& [w, n] : by_frequency) {
    if (context.size() >= static_cast<size_t>(options.context_words)) break;
    context.emplace(w, static_cast<uint32_t>(context.size()));
  }
  const auto edge = static_cast<uint32_t>(context.size());
  const uint32_t side = edge + 1;  // right neighbours start here
  const size_t dims = 2 * side;

  std::unordered_map<std::string_view, uint32_t> index;
  std::vector<std::string_view> words;
  for (const auto& [w, n] : by_frequency) {
    if (n < static_cast<size_t>(options.min_count) || words.size() >= options.max_words) break;
    index.emplace(w, static_cast<uint32_t>(words.size()));
    words.push_back(w);
  }
  const size_t k = std::min<size_t>(options.clusters, words.size());
  if (k < 2) {
    std::string out;
    append<uint32_t>(out, 0);
    append<uint32_t>(out, 0);
    return out;
  }

  std::vector<std::unordered_map<uint32_t, float>> counts(words.size());
  for (const auto& sentence : sentences) {
    for (size_t i = 0; i < sentence.size(); ++i) {
      const auto it = index.find(sentence[i]);
      if (it == index.end()) continue;
      auto& c = counts[it->second];
      if (i == 0) {
        c[edge] += 1;
      } else if (const auto l = context.find(sentence[i - 1]); l != context.end()) {
        c[l->second] += 1;
      }
      if (i + 1 == sentence.size()) {
        c[side + edge] += 1;
      } else if (const auto r = context.find(sentence[i + 1]); r != context.end()) {
        c[side + r->second] += 1;
      }
    }
  }
  std::vector<SparseVector> vectors(words.size());
  for (size_t i = 0; i < words.size(); ++i) {
    for (const auto& [d, n] : counts[i]) vectors[i].emplace_back(d, std::sqrt(n));
    std::sort(vectors[i].begin(), vectors[i].end());
    normalize(vectors[i]);
  }
  counts.clear();

  // Seeds: distinct words drawn at random among the most frequent ones.
  std::mt19937_64 rng(options.seed);
  std::vector<size_t> seeds(std::min(words.size(), k * 8));
  std::iota(seeds.begin(), seeds.end(), 0);
  std::shuffle(seeds.begin(), seeds.end(), rng);
  seeds.resize(k);
  const std::vector<int> fine = spherical_kmeans(vectors, dims, k, seeds, options.iterations);

  // Coarse clusters: the fine centroids clustered again.
  std::vector<SparseVector> centroids(k);
  {
    std::vector<std::vector<float>> dense(k, std::vector<float>(dims, 0.0f));
    for (size_t i = 0; i < words.size(); ++i) {
      for (const auto& [d, v] : vectors[i]) dense[fine[i]][d] += v;
    }
    for (size_t c = 0; c < k; ++c) {
      for (size_t d = 0; d < dims; ++d) {
        if (dense[c][d] != 0) centroids[c].emplace_back(static_cast<uint32_t>(d), dense[c][d]);
      }
      normalize(centroids[c]);
    }
  }
  const size_t coarse_k = std::min<size_t>(options.coarse_clusters, k);
  std::vector<size_t> coarse_seeds(k);
  std::iota(coarse_seeds.begin(), coarse_seeds.end(), 0);
  std::shuffle(coarse_seeds.begin(), coarse_seeds.end(), rng);
  coarse_seeds.resize(coarse_k);
  const std::vector<int> coarse = spherical_kmeans(centroids, dims, coarse_k, coarse_seeds, options.iterations * 2);

  std::vector<std::pair<uint64_t, uint32_t>> table;
  table.reserve(words.size());
  for (size_t i = 0; i < words.size(); ++i) {
    const auto f = static_cast<uint32_t>(fine[i] + 1);
    const auto g = static_cast<uint32_t>(coarse[fine[i]] + 1);
    table.emplace_back(word_hash(words[i]), (g << 16) | f);
  }
  std::sort(table.begin(), table.end());
  table.erase(std::unique(table.begin(), table.end(),
                          [](const auto& a, const auto& b) { return a.first == b.first; }),
              table.end());
  std::string out;
  append<uint32_t>(out, static_cast<uint32_t>(table.size()));
  append<uint32_t>(out, 0);
  for (const auto& [h, c] : table) append<uint64_t>(out, h);
  for (const auto& [h, c] : table) append<uint32_t>(out, c);
  return out;
}

}  // namespace tesk_privacy::ner
