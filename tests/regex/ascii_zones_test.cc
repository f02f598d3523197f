// A pattern with \d, \w, \s or \b is also compiled without Unicode classes,
// and that compilation runs wherever an attempt looks at ASCII characters
// only. These tests check the zones that keep it away from the others, and
// matches next to characters the two compilations read differently.
#include "regex/ascii_zones.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tesk_privacy/regex/regex.h"

namespace tesk_privacy::regex {
namespace {

using internal::AsciiZones;

// Spans as Python's re.finditer gives them with IGNORECASE | MULTILINE |
// DOTALL: letters, digits and blanks outside ASCII on both sides of ASCII
// digits, where the ASCII-only reading of \b, \d, \w and \s would differ.
TEST(AsciiZones, MatchesNextToNonAsciiCharactersFollowUnicode) {
  const std::string money = R"(\b(?!0+(?:\.\d+)?$)(?:\d{1,3}(?:[.,]\d{3})*|\d{2,})(?:[.,]\d{2})?\b)";
  const struct {
    std::string pattern;
    std::string text;
    std::vector<std::pair<int64_t, int64_t>> spans;
  } kCases[] = {
      {money, "\u00e9123 456", {{5, 8}}},
      {money, "123\u00e9 456", {{5, 8}}},
      {money, "harga 1.500.000 dan \u00e9 7,50", {{6, 15}, {22, 26}}},
      {money, "\u0663\u0664 12 \u066312", {{0, 2}, {3, 5}, {6, 9}}},
      {money, "Rp12\u00a0500 ke-3 x9 9x _7 7_", {{5, 8}, {12, 13}}},
      {money, "ab 12.345,67\u00e9 8.9 00 0.5 10", {{3, 9}, {14, 15}, {16, 17}, {18, 20}, {21, 22}, {23, 24}, {25, 27}}},
      {R"(\b\d+\b)", "\u00e9123 \u0661\u0662 45", {{5, 7}, {8, 10}}},
      {R"(\b\d+\b)", "\u0661\u0662\u0663", {{0, 3}}},
      {R"(\b\d+\b)", "7\u00e9", {}},
      // Zones far apart, with clean text between them.
      {R"(\b\d+\b)", "\u00e9" + std::string(70, 'x') + " 12 \u00e91", {{72, 74}}},
      {R"((?<!\w)\d{2}(?!\w))", "\u00df12 12\u00df 12 x12 \u066312", {{8, 10}}},
      // A look-behind three characters long reaches a non-ASCII letter
      // three characters back.
      {R"((?<=\w\w\w)\d)", "\u00e9ab1 xyz2 ab3 \u00e9\u0663b4", {{3, 4}, {8, 9}, {17, 18}}},
      // A \b or a look-behind inside a look-behind reaches further back
      // than the look-behind's own length.
      {R"((?<=\bab)c)", "\u00e9abc abc", {{7, 8}}},
      {R"((?<=(?<=\wz)ab)c)", "\u00e9zabc xzabc", {{4, 5}, {10, 11}}},
      {R"(\d\s\d)", "1\u00a02 3 4 5\u20036", {{0, 3}, {4, 7}, {8, 11}}},
  };
  for (const auto& c : kCases) {
    const Regex re(c.pattern, kDefaultFlags);
    std::vector<std::pair<int64_t, int64_t>> got;
    for (const MatchSpan& m : re.find_spans(Utf8Text(c.text))) got.emplace_back(m.start, m.end);
    EXPECT_EQ(got, c.spans) << c.pattern << " on " << c.text;
  }
}

// Every attempt start that can see a non-ASCII character must lie in a zone:
// one whose look-behind reaches one, or whose stretch of `examined` bytes
// runs into one. Checked against that definition on random texts.
TEST(AsciiZones, CoverEveryStartThatCanSeeNonAscii) {
  const std::vector<std::string> pieces = {"1", "2", ".", ",", " ", "a", "_", "\n", "\u00e9", "\u0663", "\u20ac"};
  std::array<bool, 256> digits{}, words{};
  for (char c = '0'; c <= '9'; ++c) digits[static_cast<unsigned char>(c)] = words[static_cast<unsigned char>(c)] = true;
  digits['.'] = digits[','] = true;
  for (char c = 'a'; c <= 'z'; ++c) words[static_cast<unsigned char>(c)] = true;
  words['_'] = true;
  std::mt19937 rng(7);
  for (int round = 0; round < 400; ++round) {
    std::string text;
    std::vector<size_t> starts;  // character boundaries, the end included
    const size_t n = rng() % 160;
    for (size_t i = 0; i < n; ++i) {
      starts.push_back(text.size());
      // Mostly ASCII, so that zones stand apart.
      text += pieces[rng() % 4 == 0 ? rng() % pieces.size() : rng() % 8];
    }
    starts.push_back(text.size());
    const std::array<bool, 256>& examined = round % 2 == 0 ? digits : words;
    const size_t lookbehind = 1 + round % 3;
    auto non_ascii = [&](size_t at) { return static_cast<unsigned char>(text[at]) >= 0x80; };
    AsciiZones zones(text, examined, lookbehind);
    for (size_t k = 0; k < starts.size(); ++k) {
      const size_t s = starts[k];
      bool sees = false;
      for (size_t back = k >= lookbehind ? k - lookbehind : 0; back < k; ++back) sees = sees || non_ascii(starts[back]);
      size_t r = s;
      while (r < text.size() && !non_ascii(r) && examined[static_cast<unsigned char>(text[r])]) ++r;
      sees = sees || (r < text.size() && non_ascii(r));
      const auto [start, end] = zones.next(s);
      if (sees) {
        EXPECT_TRUE(start <= s && s < end) << "start " << s << " in \"" << text << "\"";
      }
      if (end < text.size()) {
        EXPECT_NE(static_cast<unsigned char>(text[end]) & 0xC0, 0x80u) << "zone end inside a character";
      }
    }
  }
}

// Random small patterns of the constructs whose reading depends on Unicode
// classes (\b, \d, \w, \s and their complements, look-arounds, nested
// look-behinds) against random texts mixing ASCII with other letters,
// digits and blanks. The reference is the pattern wrapped as "(?:P)|(?!) ":
// it matches the same, and its blank keeps it on the Unicode-aware
// compilation throughout a text that is not all ASCII.
class PatternMaker {
 public:
  explicit PatternMaker(uint32_t seed) : rng_(seed) {}

  std::string sequence(int depth, bool fixed_width) {
    std::string out;
    for (int n = 1 + pick(3); n > 0; --n) out += atom(depth, fixed_width);
    return out;
  }

 private:
  int pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }

  std::string atom(int depth, bool fixed_width) {
    static const char* kSingles[] = {"a", "1", "\\.", ",", " ", "\u00e9", "\\d", "\\w",
                                     "\\s", "\\D", "\\W", "\\S", "[\\d.]", "[a-z]", "[^a]"};
    static const char* kZeroWidth[] = {"\\b", "\\B"};
    const int kind = depth > 2 ? pick(3) : pick(7);
    std::string a;
    if (kind < 2) {
      a = kSingles[pick(std::size(kSingles))];
    } else if (kind == 2) {
      return kZeroWidth[pick(2)];
    } else if (kind == 3) {
      return std::string(pick(2) ? "(?<=" : "(?<!") + sequence(depth + 1, true) + ")";
    } else if (kind == 4) {
      return std::string(pick(2) ? "(?=" : "(?!") + sequence(depth + 1, false) + ")";
    } else {
      a = "(?:" + sequence(depth + 1, fixed_width) + ")";
    }
    if (fixed_width) return a;
    static const char* kQuantifiers[] = {"", "", "?", "*", "+", "{1,3}"};
    return a + kQuantifiers[pick(std::size(kQuantifiers))];
  }

  std::mt19937 rng_;
};

TEST(AsciiZones, RandomPatternsMatchLikeTheUnicodeAwareScan) {
  const std::vector<std::string> pieces = {"a", "b", "1", "2", ".", ",", " ",
                                           "_", "\u00e9", "\u0663", "\u00a0", "\u00df", "x"};
  PatternMaker maker(11);
  std::mt19937 rng(5);
  int compared = 0;
  for (int round = 0; round < 1500; ++round) {
    const std::string pattern = maker.sequence(0, false);
    std::unique_ptr<Regex> re, reference;
    try {
      re = std::make_unique<Regex>(pattern, kDefaultFlags);
      reference = std::make_unique<Regex>("(?:" + pattern + ")|(?!) ", kDefaultFlags);
    } catch (const RegexError&) {
      continue;  // a look-behind PCRE2 cannot take
    }
    for (int t = 0; t < 4; ++t) {
      std::string text;
      for (int n = static_cast<int>(rng() % 24); n > 0; --n) text += pieces[rng() % pieces.size()];
      const Utf8Text u(text);
      std::vector<Match> want, got;
      try {
        want = reference->find_all(u);
        got = re->find_all(u);
      } catch (const MatchLimitError&) {
        continue;  // nested quantifiers that backtrack without end
      }
      ASSERT_EQ(got.size(), want.size()) << pattern << " on \"" << text << "\"";
      for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].start, want[i].start) << pattern << " on \"" << text << "\"";
        EXPECT_EQ(got[i].end, want[i].end) << pattern << " on \"" << text << "\"";
      }
      ++compared;
    }
  }
  EXPECT_GT(compared, 3000);
}

}  // namespace
}  // namespace tesk_privacy::regex
