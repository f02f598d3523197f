// The second stage's features: which first-stage labels reach a token (its
// sentence's window, the same word elsewhere in the text) and which do not,
// the folding of first-stage rows, and refusal of inconsistent input.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "ner/gazetteer.h"
#include "ner/labels.h"
#include "ner/stacked_features.h"

namespace tesk_privacy::ner {
namespace {

constexpr int kBasePer = begin_label(EntityType::kPerson);
constexpr int kBaseLoc = begin_label(EntityType::kLocation);

// A text of sentences of words, with the first stage's features of a
// table of 2^12 rows.
struct Text {
  std::vector<std::string_view> words;
  std::vector<std::pair<size_t, size_t>> sentences;
  FeatureSet base;

  explicit Text(const std::vector<std::vector<std::string_view>>& text) {
    static const std::string gazetteer_bytes = GazetteerBuilder().serialize();
    static const Gazetteer gazetteer(gazetteer_bytes);
    const FeatureExtractor extractor(gazetteer, 12);
    base.offsets.assign(1, 0);
    for (const auto& sentence : text) {
      sentences.emplace_back(words.size(), words.size() + sentence.size());
      words.insert(words.end(), sentence.begin(), sentence.end());
      FeatureSet s;
      extractor.extract(sentence, s);
      const auto at = static_cast<uint32_t>(base.rows.size());
      base.rows.insert(base.rows.end(), s.rows.begin(), s.rows.end());
      for (size_t i = 1; i < s.offsets.size(); ++i) base.offsets.push_back(at + s.offsets[i]);
    }
  }

  std::set<uint32_t> rows(const std::vector<int>& labels, size_t token) const {
    FeatureSet out;
    StackedFeatures(10).extract(words, labels, sentences, base, 12, out);
    const auto r = out.token(token);
    return {r.begin(), r.end()};
  }
};

TEST(NerStackedFeatures, LabelsReachATokenThroughItsSentenceAndItsWord) {
  // "Waters sang . | Then Waters left with Roger ."
  const Text text({{"Waters", "sang", "."}, {"Then", "Waters", "left", "with", "Roger", "."}});
  const std::vector<int> plain(9, kOutside);
  auto with = [&](std::vector<std::pair<size_t, int>> changes) {
    std::vector<int> labels = plain;
    for (const auto& [i, y] : changes) labels[i] = y;
    return labels;
  };
  struct Case {
    const char* what;
    std::vector<int> labels;
    size_t token;
    bool changes;
  };
  const std::vector<Case> cases = {
      {"own label", with({{4, kBasePer}}), 4, true},
      {"neighbour in the sentence", with({{7, kBasePer}}), 6, true},
      {"two to the right", with({{7, kBasePer}}), 5, true},
      {"three to the right", with({{7, kBasePer}}), 4, false},
      {"same word in another sentence", with({{0, kBasePer}}), 4, true},
      {"other word in another sentence", with({{1, kBaseLoc}}), 4, false},
      {"window stops at the sentence's start", with({{2, kBaseLoc}}), 3, false},
      {"window stops at the sentence's end", with({{3, kBaseLoc}}), 2, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(text.rows(plain, c.token) != text.rows(c.labels, c.token), c.changes) << c.what;
  }
}

TEST(NerStackedFeatures, EntityTextTypedOtherwiseElsewhere) {
  // "Jordan" a person in one sentence and a place in the other.
  const Text text({{"Jordan", "menang"}, {"ke", "Jordan"}});
  const std::vector<int> agree = {kBasePer, kOutside, kOutside, kBasePer};
  const std::vector<int> disagree = {kBasePer, kOutside, kOutside, kBaseLoc};
  const std::vector<int> alone = {kBasePer, kOutside, kOutside, kOutside};
  // Token 0 keeps its own label and neighbours; only what the other
  // "Jordan" became differs.
  EXPECT_NE(text.rows(agree, 0), text.rows(disagree, 0));
  EXPECT_NE(text.rows(agree, 0), text.rows(alone, 0));
  EXPECT_NE(text.rows(disagree, 0), text.rows(alone, 0));
}

TEST(NerStackedFeatures, KeepsTheFirstStageRowsFolded) {
  const Text text({{"Budi", "ke", "Medan"}});
  FeatureSet out;
  StackedFeatures(10).extract(text.words, std::vector<int>(3, kOutside), text.sentences, text.base, 12, out);
  ASSERT_EQ(out.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    const std::set<uint32_t> rows(out.token(i).begin(), out.token(i).end());
    for (const uint32_t r : text.base.token(i)) EXPECT_TRUE(rows.count(r >> 2)) << "token " << i << " row " << r;
    for (const uint32_t r : rows) EXPECT_LT(r, 1u << 10);
  }
}

TEST(NerStackedFeatures, RefusesInconsistentInput) {
  const Text text({{"Budi", "ke"}, {"Medan"}});
  const std::vector<int> labels(3, kOutside);
  FeatureSet out;
  const StackedFeatures stacked(10);
  EXPECT_THROW(StackedFeatures(7), std::invalid_argument);
  EXPECT_THROW(stacked.extract(text.words, std::vector<int>(2, kOutside), text.sentences, text.base, 12, out),
               std::invalid_argument);
  EXPECT_THROW(stacked.extract(text.words, std::vector<int>{0, 0, kNumLabels}, text.sentences, text.base, 12, out),
               std::invalid_argument);
  EXPECT_THROW(stacked.extract(text.words, labels, text.sentences, text.base, 9, out), std::invalid_argument);
  const std::vector<std::pair<size_t, size_t>> gap = {{0, 1}, {2, 3}};
  EXPECT_THROW(stacked.extract(text.words, labels, gap, text.base, 12, out), std::invalid_argument);
  const std::vector<std::pair<size_t, size_t>> short_of_end = {{0, 2}};
  EXPECT_THROW(stacked.extract(text.words, labels, short_of_end, text.base, 12, out), std::invalid_argument);
}

}  // namespace
}  // namespace tesk_privacy::ner
