// The regex layer's own contract; the dialect itself is checked against
// Python's `re` by python_oracle_test.py.
#include "tesk_privacy/regex/regex.h"

#include <gtest/gtest.h>

#include <string>

namespace tesk_privacy::regex {
namespace {

TEST(Regex, RefusesFlagsItCannotHonour) {
  for (int flags : std::initializer_list<int>{TEMPLATE, LOCALE, DEBUG, 512, -1, ASCII | UNICODE}) {
    EXPECT_THROW(Regex("a", flags), RegexError) << flags;
  }
  EXPECT_THROW(Regex("é", ASCII | IGNORECASE), RegexError);
  EXPECT_NO_THROW(Regex("e", ASCII | IGNORECASE));
  EXPECT_NO_THROW(Regex("a", kDefaultFlags | UNICODE | VERBOSE));
  try {
    Regex("a", LOCALE);
  } catch (const RegexError& e) {
    EXPECT_NE(std::string(e.what()).find("LOCALE"), std::string::npos);
  }
}

TEST(Regex, RefusesBadPatternsWithPosition) {
  try {
    Regex(R"(ab\e)");
    FAIL();
  } catch (const RegexError& e) {
    EXPECT_NE(std::string(e.what()).find("position 2"), std::string::npos) << e.what();
  }
  EXPECT_THROW(Regex("(unclosed"), RegexError);
  EXPECT_THROW(Regex(R"(\N{DIGIT ONE})"), RegexError);
  EXPECT_THROW(Regex("\xff"), InvalidUtf8Error);
}

TEST(Regex, BoundsBacktracking) {
  Regex catastrophic("(a+)+$", 0, 100'000);
  std::string hostile(30, 'a');
  hostile += 'b';
  EXPECT_THROW(catastrophic.find_all(Utf8Text(hostile)), MatchLimitError);
  // The same bound leaves ordinary scanning of a long text alone.
  Regex digits(R"(\b\d{13}\b)", kDefaultFlags, 100'000);
  std::string long_text;
  for (int i = 0; i < 200'000; ++i) long_text += "nomor 12 ";
  EXPECT_TRUE(digits.find_all(Utf8Text(long_text)).empty());
}

TEST(Regex, ReportsCodePointOffsetsAndGroups) {
  Regex re(R"((\w+)@(x)?(\w+))");
  auto matches = re.find_all(Utf8Text("é😀 ñame@dómain"));
  ASSERT_EQ(matches.size(), 1u);
  EXPECT_EQ(matches[0].start, 3);
  EXPECT_EQ(matches[0].end, 14);
  ASSERT_EQ(matches[0].groups.size(), 3u);
  EXPECT_EQ(matches[0].groups[0], (Span{3, 7}));
  EXPECT_EQ(matches[0].groups[1], (Span{-1, -1}));
  EXPECT_EQ(matches[0].groups[2], (Span{8, 14}));
}

TEST(Regex, ReplaceAllInsertsLiterally) {
  Regex re(R"((?<!\w)budi(?!\w))", IGNORECASE);
  EXPECT_EQ(re.replace_all(Utf8Text("Budi, budiman, BUDI."), R"(<P\1$0>)"), R"(<P\1$0>, budiman, <P\1$0>.)");
  EXPECT_EQ(re.replace_all(Utf8Text("nothing here"), "x"), "nothing here");
  EXPECT_EQ(Regex("").replace_all(Utf8Text("ab"), "-"), "-a-b-");
}

TEST(Regex, FullMatchAndSearch) {
  Regex re(R"(\d{3})");
  EXPECT_TRUE(re.full_match("123"));
  EXPECT_FALSE(re.full_match("1234"));
  EXPECT_TRUE(re.search("ab 1234"));
  EXPECT_FALSE(re.search("ab 12"));
}

TEST(Regex, EscapeMatchesTheLiteral) {
  const std::string literal = "a.b*c (d) [e] {f} ^g$ h|i \\ j+k? #l ~m &n -o";
  Regex re(escape(literal));
  EXPECT_TRUE(re.full_match(literal));
  EXPECT_FALSE(re.full_match("aXb*c (d) [e] {f} ^g$ h|i \\ j+k? #l ~m &n -o"));
  EXPECT_EQ(escape("Budi"), "Budi");
}

}  // namespace
}  // namespace tesk_privacy::regex
