#include "pii_detector/store/whole_word_replacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <random>
#include <string>
#include <tuple>

#include "text/python_chars.h"

namespace tesk_privacy::pii_detector {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

TEST(WholeWordReplacer, Table) {
  struct Case {
    std::string name;
    Pairs pairs;
    std::string text;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"whole words only", {{"Budi", "<P1>"}}, "Budi, budiman, _Budi, Budi2, BUDI.", "<P1>, budiman, _Budi, Budi2, <P1>."},
      {"letter case ignored, non-ASCII folded", {{"dédé", "<P1>"}}, "DÉDÉ dan Dédé", "<P1> dan <P1>"},
      {"non-ASCII letters are word characters", {{"Siti", "<P1>"}}, "éSiti Sitié Siti", "éSiti Sitié <P1>"},
      {"priority, not position, decides overlaps",
       {{"Santoso Wijaya", "<P2>"}, {"Budi Santoso", "<P1>"}},
       "Budi Santoso Wijaya; Budi Santoso.",
       "Budi <P2>; <P1>."},
      {"replacements are not searched again", {{"Budi", "Andi Saputra"}, {"Andi", "<P2>"}}, "Budi dan Andi",
       "Andi Saputra dan <P2>"},
      {"metacharacters are literal", {{"a.b (c)", "<X>"}}, "a.b (c) axb (c)", "<X> axb (c)"},
      {"self-overlap: leftmost first", {{"a a", "<X>"}}, "a a a", "<X> a"},
      {"equal folds keep priority", {{"BUDI", "<P1>"}, {"budi", "<P9>"}}, "Budi", "<P1>"},
      {"empty needle ignored", {{"", "<E>"}}, "text", "text"},
      {"at text edges", {{"x", "y"}}, "x", "y"},
      {"needles that meet are both replaced", {{"-y", "B"}, {"x.", "A"}}, "x.-y", "AB"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WholeWordReplacer(c.pairs).replace(Utf8Text(c.text)), c.expected) << c.name;
  }
}

// Needles longer than the trie holds are found by a separate search; the
// rules must not change for them.
TEST(WholeWordReplacer, NeedlesLongerThanTheTrie) {
  auto repeat = [](const std::string& s, int n) {
    std::string out;
    for (int i = 0; i < n; ++i) out += s;
    return out;
  };
  const std::string names = repeat("Budi ", 40) + "Santoso";  // 207 characters
  const std::string as = repeat("a ", 99) + "a";               // 199 characters
  std::string upper = names;
  std::transform(upper.begin(), upper.end(), upper.begin(), ::toupper);
  const std::vector<std::tuple<std::string, Pairs, std::string, std::string>> cases = {
      {"found anywhere, any case", {{names, "<L>"}}, "x " + names + ", " + upper + ".", "x <L>, <L>."},
      {"whole words only", {{names, "<L>"}}, names + "x " + names, names + "x <L>"},
      {"prefix alone is no match", {{names, "<L>"}}, repeat("Budi ", 40) + "Santos", repeat("Budi ", 40) + "Santos"},
      {"self-overlap: leftmost first", {{as, "<A>"}}, repeat("a ", 150) + "a", "<A> " + repeat("a ", 50) + "a"},
      {"priority with short needles", {{"Budi", "<B>"}, {names, "<L>"}}, names + " Budi", repeat("<B> ", 40) + "Santoso <B>"},
      {"a longer one of two long needles wins", {{names, "<L>"}, {names + " Wijaya", "<W>"}}, names + " Wijaya",
       "<L> Wijaya"},
  };
  for (const auto& [name, pairs, text, expected] : cases) {
    EXPECT_EQ(WholeWordReplacer(pairs).replace(Utf8Text(text)), expected) << name;
  }
}

TEST(WholeWordReplacer, PinnedSpansComeFirstAndNeedNoWordEdge) {
  const WholeWordReplacer replacer({{"budi", "<P>"}, {"500", "<N>"}, {"Rp 500", "<M>"}});
  const Utf8Text text("Rp 500an untuk Budi, budi500");
  const std::vector<WholeWordReplacer::Priority> priority = {{0, 0, 0}, {0, 0, 1}, {0, 0, 2}};
  // "500" inside "500an" is no whole word, and "Budi" as pinned wins over the needle.
  const std::vector<WholeWordReplacer::Pinned> pinned = {{3, 6, "<AMOUNT>"}, {15, 19, "<PIN>"}};
  EXPECT_EQ(replacer.replace(text, priority, pinned), "Rp <AMOUNT>an untuk <PIN>, budi500");
  EXPECT_EQ(replacer.replace(text, priority), "Rp 500an untuk <P>, budi500");
  EXPECT_EQ(WholeWordReplacer().replace(text, {}, pinned), "Rp <AMOUNT>an untuk <PIN>, budi500");
}

// The matching rules written out plainly (every needle at every code point,
// highest priority first), against the trie on needles that share prefixes,
// split each other's edges in every insertion order, and differ only in
// letter case or in their last code point.
std::string plain_replace(const Pairs& pairs, const std::string& text) {
  auto folded = [](const std::string& s) {
    std::vector<char32_t> out;
    for (size_t pos = 0; pos < s.size();) out.push_back(fold_case(decode_utf8(s, pos)));
    return out;
  };
  std::vector<char32_t> t;
  std::vector<size_t> byte;  // byte offset of each code point, and of the end
  for (size_t pos = 0; pos < text.size();) {
    byte.push_back(pos);
    t.push_back(decode_utf8(text, pos));
  }
  byte.push_back(text.size());
  const size_t n = t.size();
  auto word = [&](size_t i) { return is_py_word_char(t[i]); };
  std::map<size_t, std::pair<size_t, const std::string*>> accepted;  // start -> (end, replacement)
  for (const auto& [needle, replacement] : pairs) {
    const std::vector<char32_t> f = folded(needle);
    if (f.empty()) continue;
    for (size_t i = 0; i + f.size() <= n; ++i) {
      const size_t e = i + f.size();
      bool match = true;
      for (size_t k = 0; match && k < f.size(); ++k) match = fold_case(t[i + k]) == f[k];
      if (!match || (i > 0 && word(i - 1) && word(i)) || (e < n && word(e) && word(e - 1))) continue;
      auto after = accepted.lower_bound(i);
      if (after != accepted.end() && after->first < e) continue;
      if (after != accepted.begin() && std::prev(after)->second.first > i) continue;
      accepted.emplace(i, std::make_pair(e, &replacement));
    }
  }
  std::string out;
  size_t copied = 0;
  for (const auto& [start, match] : accepted) {
    out += text.substr(byte[copied], byte[start] - byte[copied]) + *match.second;
    copied = match.first;
  }
  return out + text.substr(byte[copied]);
}

TEST(WholeWordReplacer, AgreesWithThePlainRulesOnSharedPrefixes) {
  const std::vector<std::string> pieces = {"bu", "di", "Bu", "é", "É", " ", "s", "a", "-"};
  std::mt19937 random(7);
  auto pick = [&](size_t count) {
    std::string s;
    for (size_t i = 0; i < count; ++i) s += pieces[random() % pieces.size()];
    return s;
  };
  for (int round = 0; round < 300; ++round) {
    Pairs pairs;
    const size_t needles = 1 + random() % 12;
    for (size_t i = 0; i < needles; ++i) pairs.emplace_back(pick(1 + random() % 4), "<" + std::to_string(i) + ">");
    const std::string text = pick(30);
    ASSERT_EQ(WholeWordReplacer(pairs).replace(Utf8Text(text)), plain_replace(pairs, text)) << "round " << round;
  }
}

TEST(RankedReplacer, LongerFirstThenPlace) {
  RankedReplacer replacer;
  replacer.add("Budi", "<P1>", 0, 0);
  replacer.add("budi santoso", "<P2>", 1, 5);
  replacer.add("Siti", "<L1>", 1, 0);
  replacer.add("siti", "<P3>", 0, 3);  // same length, earlier type wins
  replacer.add("Siti", "<L1>", 0, 1);  // seen again at a better place
  EXPECT_EQ(replacer.replace(Utf8Text("Budi Santoso, Budi, SITI")), "<P2>, <P1>, <L1>");
  replacer.clear();
  EXPECT_EQ(replacer.replace(Utf8Text("Budi")), "Budi");
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
