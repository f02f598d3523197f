// The regex layer's own contract; the dialect itself is checked against
// Python's `re` by python_oracle_test.py.
#include "tesk_privacy/regex/regex.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

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

// Nesting is refused past PCRE2's limit with an error, not a stack overflow
// in the analysis that runs before PCRE2 sees the pattern.
TEST(Regex, DeepNestingIsAnErrorNotACrash) {
  auto nested = [](int depth) { return std::string(depth, '(') + R"(\d{13})" + std::string(depth, ')'); };
  EXPECT_THROW(Regex(nested(100'000)), RegexError);
  EXPECT_THROW(Regex(nested(251)), RegexError);
  const Regex deep(nested(200));
  EXPECT_EQ(deep.find_spans(Utf8Text("NIK 3171234567890 ok")).size(), 1u);
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

// find_spans gives find_all's matches without groups. The texts put matches
// far apart and behind long non-ASCII stretches, so that code-point offsets
// are counted across large gaps, and around the windows the scan restricts
// itself to (long digit runs, "@").
TEST(Regex, FindSpansAgreesWithFindAll) {
  const std::string far(5000, 'x');
  std::string accents;
  for (int i = 0; i < 3000; ++i) accents += "é";
  const struct {
    const char* pattern;
    std::string text;
  } cases[] = {
      {R"(\b\d{13}\b)", "1234567890123 " + accents + " 1234567890123" + far + "١٢٣٤٥٦٧٨٩٠١٢٣"},
      {R"([\w.]+@[\w-]+(?:\.[\w-]+)+)", accents + "a@b.c" + far + "é.é@d.e " + accents + "x@y.z"},
      {R"(\d+)", accents + "12" + far + "٣٤" + accents + "5"},
      {R"(\d{3}(?=é))", "123é" + accents + "4567é"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    const Regex re(c.pattern, kDefaultFlags);
    const Utf8Text text(c.text);
    const std::vector<Match> all = re.find_all(text);
    const std::vector<MatchSpan> spans = re.find_spans(text);
    ASSERT_EQ(spans.size(), all.size());
    EXPECT_FALSE(all.empty());
    for (size_t i = 0; i < all.size(); ++i) {
      EXPECT_EQ(spans[i], (MatchSpan{all[i].start, all[i].end, all[i].byte_start, all[i].byte_end}));
      EXPECT_EQ(text.byte_to_cp(all[i].byte_start), static_cast<size_t>(all[i].start));
      EXPECT_EQ(text.byte_to_cp(all[i].byte_end), static_cast<size_t>(all[i].end));
    }
  }
}

// Texts made of nothing but the character a scan anchors on, or of one long
// stretch before it, take linear time.
TEST(Regex, AnchorFloodsStayLinear) {
  const struct {
    const char* pattern;
    std::string text;
  } cases[] = {
      {R"((?:https?://)?(?:www\.)?facebook\.com/([a-zA-Z0-9\.]+))", std::string(1 << 20, '/')},
      {R"((?<![\w@])[\w@]+@x)", std::string(1 << 20, '@')},
      {R"((?<![\w.%+-])[\w%+-]+(?:\.[\w%+-]+)*@[\w-]+(?:\.[\w-]+)+)", std::string(1 << 20, 'a') + "@"},
      {R"(\b\d{13}\b)", std::string(1 << 20, '7')},
      // Every position a candidate for the literal scan: "ta" and "pr" begin
      // literals, and each check fails only at the third byte.
      {R"(\b(?:tando|project|halvern)\b)", [] {
         std::string t;
         while (t.size() < (1 << 20)) t += "tapr";
         return t;
       }()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    EXPECT_TRUE(Regex(c.pattern, kDefaultFlags).find_spans(Utf8Text(c.text)).empty());
  }
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

// Python's re.match: anchored at the start, leftmost alternative first, not
// the longest.
TEST(Regex, PrefixMatchIsAnchoredAtTheStart) {
  const struct {
    const char* pattern;
    const char* text;
    std::optional<size_t> length;
  } kCases[] = {
      {R"(0|00)", "0012", 1},   {R"(00|0)", "0012", 2},      {R"(\d{3})", "12345", 3},
      {R"(\d{3})", "a12345", {}}, {R"(0?)", "812", 0},         {R"(0(8\d)?)", "0812", 3},
      {R"(0(?:1[0-7]|8))", "017", 3}, {R"(x*)", "", 0},
  };
  for (const auto& c : kCases) {
    EXPECT_EQ(Regex(c.pattern).prefix_match(c.text), c.length) << c.pattern << " on " << c.text;
  }
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
