#include "pii_detector/store/whole_word_replacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <tuple>

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
