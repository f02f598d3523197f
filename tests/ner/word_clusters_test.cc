// WordClusters: what learn() produces, and that tables which are not its
// output are refused.
#include "ner/word_clusters.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace tesk_privacy::ner {
namespace {

using Sentences = std::vector<std::vector<std::string>>;

// Places follow "di" and precede "kemarin"; persons follow "bapak" and
// precede "berkata".
Sentences two_kinds_of_words() {
  Sentences out;
  for (const char* place : {"surabaya", "medan", "padang", "bandung", "malang"}) {
    for (int i = 0; i < 3; ++i) out.push_back({"saya", "di", place, "kemarin"});
  }
  for (const char* person : {"budi", "andi", "siti", "dewi", "joko"}) {
    for (int i = 0; i < 3; ++i) out.push_back({"lalu", "bapak", person, "berkata"});
  }
  return out;
}

TEST(NerWordClusters, WordsOfOneContextShareACluster) {
  const Sentences text = two_kinds_of_words();
  const std::string bytes = WordClusters::learn(text, {.clusters = 8, .coarse_clusters = 2, .min_count = 2});
  const WordClusters clusters(bytes);
  EXPECT_EQ(clusters.size(), 16u);
  auto fine = [&](const char* w) { return clusters.lookup(WordClusters::word_hash(w)) & 0xFFFF; };
  auto coarse = [&](const char* w) { return clusters.lookup(WordClusters::word_hash(w)) >> 16; };
  for (const char* w : {"saya", "di", "surabaya", "budi", "berkata"}) {
    EXPECT_GE(fine(w), 1u) << w;
    EXPECT_LE(fine(w), 8u) << w;
    EXPECT_GE(coarse(w), 1u) << w;
    EXPECT_LE(coarse(w), 2u) << w;
  }
  for (const char* place : {"medan", "padang", "bandung", "malang"}) EXPECT_EQ(fine(place), fine("surabaya")) << place;
  for (const char* person : {"andi", "siti", "dewi", "joko"}) EXPECT_EQ(fine(person), fine("budi")) << person;
  EXPECT_NE(fine("budi"), fine("surabaya"));
  EXPECT_EQ(clusters.lookup(WordClusters::word_hash("jakarta")), 0u);  // never seen

  EXPECT_EQ(WordClusters::learn(text, {.clusters = 8, .coarse_clusters = 2}), bytes);  // deterministic
}

TEST(NerWordClusters, RareWordsAndEmptyTextYieldNoEntries) {
  const Sentences once = {{"satu", "dua", "tiga"}};
  EXPECT_EQ(WordClusters(WordClusters::learn(once, {.min_count = 2})).size(), 0u);
  EXPECT_EQ(WordClusters(WordClusters::learn({}, {})).size(), 0u);
  EXPECT_EQ(WordClusters().lookup(WordClusters::word_hash("satu")), 0u);
}

// Lookups start from where an evenly spread key would sit; keys bunched at
// the ends of the range, or at its extremes, must still be found, and keys
// between them not.
TEST(NerWordClusters, FindsEveryKeyOfUnevenTables) {
  auto table = [](const std::vector<uint64_t>& keys) {
    std::string bytes;
    auto put = [&](auto v) { bytes.append(reinterpret_cast<const char*>(&v), sizeof v); };
    put(static_cast<uint32_t>(keys.size()));
    put(uint32_t{0});
    for (const uint64_t k : keys) put(k);
    for (size_t i = 0; i < keys.size(); ++i) put(static_cast<uint32_t>(i + 1));
    return bytes;
  };
  constexpr uint64_t kMax = ~uint64_t{0};
  std::vector<std::vector<uint64_t>> cases = {{0}, {kMax}, {0, kMax}, {}};
  for (uint64_t k = 0; k < 1000; ++k) cases[3].push_back(k * 2 + 1);  // all near 0
  cases.push_back({});
  for (uint64_t k = 1000; k > 0; --k) cases[4].push_back(kMax - k * 2);  // all near the top
  cases.push_back(cases[3]);
  cases[5].insert(cases[5].end(), cases[4].begin(), cases[4].end());  // both ends, nothing between
  for (const auto& keys : cases) {
    const std::string bytes = table(keys);
    const WordClusters clusters(bytes);
    for (size_t i = 0; i < keys.size(); ++i) {
      ASSERT_EQ(clusters.lookup(keys[i]), i + 1) << keys.size() << " keys, key " << i;
      // No two keys are adjacent.
      if (keys[i] > 0) {
        ASSERT_EQ(clusters.lookup(keys[i] - 1), 0u);
      }
      if (keys[i] < kMax) {
        ASSERT_EQ(clusters.lookup(keys[i] + 1), 0u);
      }
    }
    EXPECT_EQ(clusters.lookup(kMax / 2), 0u);
  }
}

TEST(NerWordClusters, RefusesBadOptionsAndTables) {
  const Sentences text = two_kinds_of_words();
  const struct {
    WordClusterOptions options;
    const char* label;
  } bad_options[] = {
      {{.clusters = 1}, "one cluster"},
      {{.clusters = 70000}, "too many clusters"},
      {{.clusters = 8, .coarse_clusters = 9}, "more coarse than fine"},
      {{.min_count = 0}, "min count 0"},
      {{.iterations = 0}, "no iterations"},
  };
  for (const auto& c : bad_options) EXPECT_THROW(WordClusters::learn(text, c.options), std::invalid_argument) << c.label;

  const std::string good = WordClusters::learn(text, {.clusters = 4, .coarse_clusters = 2});
  std::string unsorted = good;
  std::memcpy(unsorted.data() + 8, good.data() + 16, 8);  // first hash equal to the second
  const struct {
    std::string bytes;
    const char* label;
  } bad_tables[] = {
      {"", "empty"},
      {good.substr(0, 7), "cut inside the header"},
      {good.substr(0, good.size() - 4), "last id missing"},
      {good + std::string(12, '\0'), "trailing entry"},
      {unsorted, "unsorted"},
  };
  for (const auto& c : bad_tables) EXPECT_THROW(WordClusters{c.bytes}, std::invalid_argument) << c.label;
}

}  // namespace
}  // namespace tesk_privacy::ner
