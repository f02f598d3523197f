// The prefilter may only ever skip text where no match starts: every scan
// with one must find exactly the matches of a scan without. A pattern wrapped
// as "(?:P)|(?!) " matches the same but gets no prefilter (its second
// alternative could start anywhere), and its blank keeps a text that is not
// all ASCII on the Unicode-aware compilation throughout, which makes it the
// reference.
#include "regex/prefilter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tesk_privacy/regex/regex.h"

namespace tesk_privacy::regex {
namespace {

enum class Mode { kNone, kWindows, kLiterals };

Mode mode_of(const std::string& pattern) {
  const auto f = internal::make_prefilter(pattern, kDefaultFlags);
  if (!f) return Mode::kNone;
  return f->literals.empty() ? Mode::kWindows : Mode::kLiterals;
}

void expect_same_matches(const std::string& pattern, const std::string& text) {
  const Regex filtered(pattern, kDefaultFlags);
  const Regex reference("(?:" + pattern + ")|(?!) ", kDefaultFlags);
  const Utf8Text t(text);
  const std::vector<Match> got = filtered.find_all(t), want = reference.find_all(t);
  ASSERT_EQ(got.size(), want.size()) << text;
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].start, want[i].start) << text;
    EXPECT_EQ(got[i].end, want[i].end) << text;
    EXPECT_EQ(got[i].groups, want[i].groups) << text;
  }
}

constexpr const char* kProject =
    R"(\b(Project\s(?:E|[A-Z][a-z]+)|Halvern|Morvale|MORVALE|TRELIS|DORNAK|Project E|PELKA|TANDO)\b)";
constexpr const char* kMoney =
    R"((?<!\d)(?:[\$€£¥]|USD|EUR|GBP|JPY|Rp)\s?(?!0+(?:\.\d+)?$)(?:\d{1,3}(?:[.,]\d{3})*|\d+)(?:\.\d{2})?(?!\d))";

constexpr const char* kVisa =
    R"(\b(?:4[0-9]{3}|5[1-5][0-9]{2}|2(?:2[2-9][0-9]|[3-6][0-9]{2}|7[01][0-9]|720)|6011|6[245][0-9]{2}|)"
    R"(35(?:2[89]|[3-8][0-9]))(?:([ -])[0-9]{4}\1[0-9]{4}\1[0-9]{4}|[0-9]{9,15})\b)";

TEST(Prefilter, ChoosesItsModeFromThePattern) {
  const struct {
    const char* pattern;
    Mode mode;
  } kCases[] = {
      {R"(\b\d{13}\b)", Mode::kWindows},
      {kProject, Mode::kLiterals},
      {kMoney, Mode::kLiterals},
      {R"((?<!\w)(?:Project\ E|Halvern|Morvale)(?!\w))", Mode::kLiterals},
      {R"(ta(?:nah|ngan)|pe[rl]u)", Mode::kLiterals},
      {R"((?:tanah|\w+an))", Mode::kNone},       // an alternative may start with any letter
      {R"((?:tanah)?jalan)", Mode::kNone},       // an optional literal says nothing
      {R"(a|b|c|d|e|f|g|h|i|j|k|l|m)", Mode::kNone},  // too many common first letters
      {R"((?P<x>ab)(?P=x))", Mode::kNone},
      {kVisa, Mode::kWindows},  // four digits spelt by alternatives, then a back-reference
      {R"(\b\d{6}([04][1-9]|[1256][0-9]|[37][01])(0[1-9]|1[0-2])\d{2}\d{4}(?![a-zA-Z0-9]))", Mode::kWindows},
  };
  for (const auto& c : kCases) EXPECT_EQ(mode_of(c.pattern), c.mode) << c.pattern;
}

// A pattern of exactly N digits between word boundaries skips runs of
// ASCII digits of any other length without asking PCRE2.
TEST(Prefilter, KnowsPatternsOfExactlyNDigits) {
  const struct {
    const char* pattern;
    size_t exact_run;
  } kCases[] = {
      {R"(\b\d{13}\b)", 13}, {R"(\b[0-9]{16}\b)", 16}, {R"(\b0\d{7}\b)", 8},   {R"(\b\d{2}[.]\d{3}\b)", 0},
      {R"(\b\d{13})", 0},     {R"(\b\d{10,12}\b)", 0}, {R"(\b\d{13}\\b)", 0}, {R"(\b\d{3}\w\b)", 0},
  };
  for (const auto& c : kCases) {
    const auto f = internal::make_prefilter(c.pattern, kDefaultFlags);
    ASSERT_TRUE(f.has_value()) << c.pattern;
    EXPECT_EQ(f->exact_run, c.exact_run) << c.pattern;
  }
}

// Literals placed at the start and end of the text, across the 64-byte
// blocks the scan tests at once, in every case and in the non-ASCII forms
// Python folds onto i, k and s, next to near misses.
TEST(Prefilter, LiteralScanFindsEveryMatch) {
  const std::string pad60(60, 'x'), pad61(61, ' ');
  const std::vector<std::string> texts = {
      "Halvern",
      "TANDO",
      "Halvern dan Morvale" + pad61 + "TRELIS",
      pad61 + "Morvale" + pad60 + "PELKA",
      pad60 + " trelis TRELI\u017f dorna\u212a DORNAK Dornak " + pad61 + "tando" + pad60 + "Tand",
      "project alpha, Project E, PROJECT  Beta, project\u00a0Gamma, pro" + pad61 + "ject Delta, Projec",
      "halvernx xhalvern _Halvern Halvern_ Halvérn H\u0430lvern hal\u200bvern " + pad60 + "Morvale.",
      "Harga USD 50, u\u017fd 7, U\u017fD 7.50, EUR1.500,00, GBP 0, JPY 00.5, Rp 1.500.000, rp9, RP 12",
      "$5 \u20ac10 \u00a37 \u00a53 " + pad60 + "Rp1" + pad61 + "usd",
      "taperu pelutanah tangan pel" + pad60 + "tanganperu",
      "\u017finar \u212aasus Sinar KASUS \u017fina \u212aa" + pad61 + "sinar\u212aasus \u017finar",
  };
  for (const char* pattern : {kProject, kMoney, R"((?<!\w)(?:Project\ E|Halvern|Morvale)(?!\w))",
                              R"(ta(?:nah|ngan)|pe[rl]u)", R"(\b(?:sinar|kasus)\b)"}) {
    SCOPED_TRACE(pattern);
    ASSERT_EQ(mode_of(pattern), Mode::kLiterals);
    for (const std::string& text : texts) expect_same_matches(pattern, text);
  }
}

// Digit runs at the start and end of the text, across and along 64-byte
// blocks, longer than a block, and next to non-ASCII characters (whose
// bytes the text's digit runs include).
TEST(Prefilter, WindowScanFindsEveryMatch) {
  const std::string pad(61, ' '), digits200(200, '7');
  const std::vector<std::string> texts = {
      pad + "1234567890123",
      "01234567 a@b " + pad + "x.y@z ١٢٣٤٥٦٧٨٩٠١٢٣",
      "12345678901234 1234567890123" + pad + "0123456701234567",
      std::string(51, ' ') + "1234567890123" + " 01234567" + digits200 + " 0123456789012",
      "é1234567890123é 1234567890123é 東京01234567 " + digits200 + "é" + std::string(70, '5') +
          " ١٢٣٤٥٦٧٨",
      "123456789012٣ ١٢٣٤٥٦٧٨٩٠١٢٣ 1234567890123_ a1234567890123 12345678901234 123456789012 1234567890123",
      "4111 1111 1111 1111, 4111-1111-1111-1111, 4111 1111-1111 1111, 4111111111111111, " + pad +
          "6011000990139424 3530111333300000 2221000000000009 NIK 3171011205900001 3171015205900001",
      "-123-4567 123-4567 1234567 12-34567 ٣123-4567",
  };
  for (const char* pattern :
       {R"(\b\d{13}\b)", R"(\b0\d{7}\b)", R"(\b1\d{12}\b)", R"([\w.]+@[\w-]+)", R"(\d{70})", R"([0-9]{4}\d{9})",
        kVisa, R"(\b\d{6}(0[1-9]|[1256][0-9])\d{8})", R"((-?)\d{3}\1\d{4})"}) {
    SCOPED_TRACE(pattern);
    ASSERT_EQ(mode_of(pattern), Mode::kWindows);
    for (const std::string& text : texts) expect_same_matches(pattern, text);
  }
}

}  // namespace
}  // namespace tesk_privacy::regex
