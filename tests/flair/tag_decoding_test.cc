// decode_tags: BIO and BIOES sequences, stray tags, and span scores.
#include "flair/tag_decoding.h"

#include <gtest/gtest.h>

namespace tesk_privacy::flair {
namespace {

TEST(DecodeTags, FormsSpansFromBioAndBioesTags) {
  struct Case {
    std::vector<std::string> tags;     // word i spans [2i, 2i+1), scored 1
    std::vector<TaggedSpan> expected;
  };
  const std::vector<Case> cases = {
      {{}, {}},
      {{"O", "O", "_", ""}, {}},
      {{"B-PER", "I-PER", "O", "B-LOC"}, {{0, 3, "PER", 1}, {6, 7, "LOC", 1}}},
      {{"B-PER", "B-PER"}, {{0, 1, "PER", 1}, {2, 3, "PER", 1}}},
      {{"B-PER", "I-LOC"}, {{0, 1, "PER", 1}, {2, 3, "LOC", 1}}},
      {{"I-PER", "I-PER", "O", "I-ORG"}, {{0, 3, "PER", 1}, {6, 7, "ORG", 1}}},
      // E- and S- close their span, so what follows opens a new one.
      {{"S-PER", "S-PER"}, {{0, 1, "PER", 1}, {2, 3, "PER", 1}}},
      {{"B-LOC", "I-LOC", "E-LOC", "I-LOC"}, {{0, 5, "LOC", 1}, {6, 7, "LOC", 1}}},
      {{"O", "E-ORG", "S-PER", "B-LOC", "S-LOC"},
       {{2, 3, "ORG", 1}, {4, 5, "PER", 1}, {6, 7, "LOC", 1}, {8, 9, "LOC", 1}}},
      {{"B-PER", "L-PER", "U-PER"}, {{0, 3, "PER", 1}, {4, 5, "PER", 1}}},  // BILOU
      {{"PER", "PER", "LOC"}, {{0, 3, "PER", 1}, {4, 5, "LOC", 1}}},       // no prefix
      {{"B-WORK-OF-ART", "I-WORK-OF-ART", "X-Y"}, {{0, 3, "WORK-OF-ART", 1}, {4, 5, "X-Y", 1}}},
  };
  for (const Case& c : cases) {
    std::vector<TaggedWord> words;
    std::string what;
    for (size_t i = 0; i < c.tags.size(); ++i) {
      words.push_back({2 * i, 2 * i + 1, c.tags[i], 1.0});
      what += c.tags[i] + " ";
    }
    EXPECT_EQ(decode_tags(words), c.expected) << what;
  }
}

TEST(DecodeTags, SpanScoreIsTheMeanOfItsWords) {
  auto spans = decode_tags({{0, 3, "B-PER", 0.9}, {4, 9, "E-PER", 0.6}, {10, 12, "O", 0.99}});
  ASSERT_EQ(spans.size(), 1u);
  EXPECT_EQ(spans[0].end, 9u);
  EXPECT_DOUBLE_EQ(spans[0].score, 0.75);
}

}  // namespace
}  // namespace tesk_privacy::flair
