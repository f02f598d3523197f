// TokenAwareTextChunker on the WordPiece fixture, where every word outside
// the vocabulary is one [UNK] token and each punctuation mark one token, so
// token counts are known: [CLS] + words and marks + [SEP].
#include "pii_detector/models/text_chunker.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "inference/tokenizer_fixtures.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::pii_detector {
namespace {

std::shared_ptr<const LockedTokenizer> fixture(std::optional<size_t> max_length = std::nullopt) {
  auto tok = inference::Tokenizer::from_json(inference::testing::wordpiece_json()).with_model_max_length(max_length);
  return std::make_shared<const LockedTokenizer>(std::move(tok), std::make_shared<std::recursive_mutex>());
}

TEST(TokenAwareTextChunker, Budget) {
  struct Case {
    std::optional<size_t> model_max_length;
    std::optional<int64_t> override_;
    int64_t expected;
  };
  const std::vector<Case> cases = {
      {512, 8192, 8192}, {std::nullopt, std::nullopt, 460}, {100000, std::nullopt, 460},
      {512, std::nullopt, 460}, {8192, std::nullopt, 7372}, {100, 0, 90},
  };
  for (const Case& c : cases) {
    TokenAwareTextChunker chunker(fixture(c.model_max_length), c.override_);
    EXPECT_EQ(chunker.get_max_chunk_tokens(), c.expected);
  }
  EXPECT_THROW(TokenAwareTextChunker(fixture(), -1), std::invalid_argument);
  EXPECT_THROW(TokenAwareTextChunker(nullptr), std::invalid_argument);
}

TEST(TokenAwareTextChunker, ShouldChunk) {
  TokenAwareTextChunker chunker(fixture(), 4);
  EXPECT_FALSE(chunker.should_chunk(""));
  EXPECT_FALSE(chunker.should_chunk(" \n\t "));
  EXPECT_FALSE(chunker.should_chunk("aa bb"));  // 4 tokens
  EXPECT_TRUE(chunker.should_chunk("aa bb cc"));
  EXPECT_TRUE(chunker.split_text("  \n ").empty());
}

struct SplitCase {
  std::string name;
  std::string text;
  int64_t budget;
  std::vector<TextSpan> expected;
};

TEST(TokenAwareTextChunker, SplitText) {
  const std::vector<SplitCase> cases = {
      // "a." is 4 tokens with [CLS] and [SEP]; "a.  b" is 5.
      {"sentences keep their real start after two blanks", "a.  b", 4, {{0, 2}, {4, 5}}},
      {"sentences are grouped while they fit", "a. b. c. d.", 6, {{0, 5}, {6, 11}}},
      {"blank lines between sentences", "Aa bb.\n\n\nCc dd!\n\nEe?", 5, {{0, 6}, {9, 15}, {17, 20}}},
      {"no sentence end: words", "aa bb cc dd ee", 4, {{0, 5}, {6, 11}, {12, 14}}},
      {"leading blanks before the first word", "  aa bb cc", 4, {{2, 7}, {8, 10}}},
      {"runs of blanks between words; the tail is covered", "aa     bb \t cc   dd  ", 4,
       {{0, 9}, {12, 19}}},
      {"a sentence over the budget: words instead", "aa bb cc dd. ee", 5, {{0, 8}, {9, 15}}},
      {"a word over the budget is a span of its own", "aa !!!!!! bb", 4, {{0, 2}, {3, 9}, {10, 12}}},
      {"code points", "éé üü. ßß", 4, {{0, 2}, {3, 6}, {7, 9}}},
  };
  for (const SplitCase& c : cases) {
    TokenAwareTextChunker chunker(fixture(), c.budget);
    EXPECT_EQ(chunker.split_text(c.text), c.expected) << c.name;
  }
}

TEST(TokenAwareTextChunker, SentenceSplitNeedsTwoSegments) {
  TokenAwareTextChunker chunker(fixture(), 100);
  EXPECT_TRUE(chunker.split_by_sentences("no sentence end here", 100).empty());
  // White space after the last full stop makes an empty second segment.
  EXPECT_EQ(chunker.split_by_sentences("one sentence. ", 100), (std::vector<TextSpan>{{0, 13}}));
}

// Random texts with runs of blanks, tabs and blank lines: spans are in order,
// inside the text, fit the budget (or hold one word), and together cover
// every character that is not white space.
TEST(TokenAwareTextChunker, SpansCoverEveryWordOfRandomTexts) {
  std::mt19937 rng(7);
  const std::vector<std::string> words = {"aa", "b", "ccc", "dd.", "ee!", "ff?", "g,h", "ii"};
  const std::vector<std::string> gaps = {" ", "  ", "\n", "\n\n\n", " \t ", "   \n  "};
  auto tok = fixture();
  for (int round = 0; round < 200; ++round) {
    std::string text = rng() % 2 ? "  " : "";
    const size_t n = 1 + rng() % 40;
    for (size_t i = 0; i < n; ++i) text += words[rng() % words.size()] + gaps[rng() % gaps.size()];
    const int64_t budget = 4 + rng() % 12;
    TokenAwareTextChunker chunker(tok, budget);
    const Utf8Text t(text);
    const auto spans = chunker.split_text(text);
    std::vector<bool> covered(t.length(), false);
    size_t previous_end = 0;
    for (const auto& [start, end] : spans) {
      ASSERT_LE(previous_end, start) << text;
      ASSERT_LT(start, end) << text;
      ASSERT_LE(end, t.length()) << text;
      const std::string_view piece = t.slice(start, end);
      if (piece.find_first_of(" \n\t") != std::string_view::npos) {
        EXPECT_LE(static_cast<int64_t>(tok->count_tokens(piece)), budget) << text;
      }
      for (size_t i = start; i < end; ++i) covered[i] = true;
      previous_end = end;
    }
    for (size_t i = 0; i < t.length(); ++i) {
      const char c = t.slice(i, i + 1)[0];
      if (c != ' ' && c != '\n' && c != '\t') {
        EXPECT_TRUE(covered[i]) << "offset " << i << " of '" << text << "'";
      }
    }
  }
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
