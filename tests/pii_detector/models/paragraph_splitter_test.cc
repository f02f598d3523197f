// Character-budget splitting: spans of paragraphs and blank-cut pieces, on
// real positions of the text whatever its white space.
#include "pii_detector/models/paragraph_splitter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tesk_privacy::pii_detector {
namespace {

struct Case {
  std::string name;
  std::string text;
  size_t max_length;
  std::vector<TextSpan> expected;
};

TEST(SplitTextByParagraph, Table) {
  const std::string long_word(1000, 'x');
  const std::string exact = "aaaa bbbb";  // 9 characters
  const std::vector<Case> cases = {
      {"empty", "", 10, {}},
      {"white space only", "  \n\t \n ", 10, {}},
      {"paragraph of exactly the budget", exact, 9, {{0, 9}}},
      {"one over the budget is cut at its last blank", exact + "c", 9, {{0, 4}, {5, 10}}},
      {"no blank at all stays whole", long_word, 512, {{0, 1000}}},
      {"short paragraphs are combined", "aa\nbb\ncc", 5, {{0, 5}, {6, 8}}},
      {"leading white space keeps real positions", "  aa\nbb", 10, {{2, 7}}},
      {"blank lines count towards the budget", "aa\n\n\nbb\ncc", 7, {{0, 7}, {8, 10}}},
      {"the last span ends at the text's end", "aa\n\n\n\nbb  \n", 100, {{0, 8}}},
      {"code points, not bytes", "éé\nüü", 5, {{0, 5}}},
      {"long paragraph after a short one", "hi\naaa bbb ccc", 5, {{0, 2}, {3, 6}, {7, 10}, {11, 14}}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(split_text_by_paragraph(c.text, c.max_length), c.expected) << c.name;
  }
}

TEST(SplitLongText, Table) {
  struct LongCase {
    std::string name;
    std::string text;
    size_t start_pos, max_length;
    std::vector<TextSpan> expected;
  };
  const std::vector<LongCase> cases = {
      {"empty", "", 5, 3, {}},
      {"fits", "abc", 5, 3, {{5, 8}}},
      {"a leading blank gives an empty first span", " abcdef ghi", 10, 3, {{10, 10}, {11, 17}, {18, 21}}},
      {"runs of blanks after a cut are skipped", "aaa    bbb", 0, 5, {{0, 4}, {7, 10}}},
      {"no blank in the window runs to the next blank", "abcdefgh ij", 0, 4, {{0, 8}, {9, 11}}},
      {"no blank at all runs to the end", "abcdefgh", 0, 4, {{0, 8}}},
  };
  for (const LongCase& c : cases) {
    EXPECT_EQ(split_long_text(c.text, c.start_pos, c.max_length), c.expected) << c.name;
  }
}

TEST(GetParagraphs, RealPositionsAndCombination) {
  const auto paragraphs = get_paragraphs("\n  Budi\n\nJakarta \n");
  ASSERT_EQ(paragraphs.size(), 2u);
  EXPECT_EQ(paragraphs[0], (Paragraph{"Budi", 3, 7}));
  EXPECT_EQ(paragraphs[1], (Paragraph{"Jakarta", 9, 16}));
  EXPECT_EQ(find_combinable_paragraphs(paragraphs, 0, 13), std::make_pair(std::string("Budi Jakarta"), size_t{2}));
  EXPECT_EQ(find_combinable_paragraphs(paragraphs, 0, 12), std::make_pair(std::string("Budi"), size_t{1}));
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
