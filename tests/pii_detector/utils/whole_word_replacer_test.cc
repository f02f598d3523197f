#include "pii_detector/utils/whole_word_replacer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

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
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WholeWordReplacer(c.pairs).replace(Utf8Text(c.text)), c.expected) << c.name;
  }
}

// A store that grows, shrinks and reorders between calls must rewrite exactly
// as a replacer built afresh from the store (longest needle first, then store
// order) would.
TEST(StoreReplacer, SameAsFreshReplacerAsTheStoreChanges) {
  using Store = std::vector<std::pair<std::string_view, std::string_view>>;
  const std::string text = "Budi Santoso dan Budi bertemu Siti di Bandung; budi santoso wijaya pergi.";
  const std::vector<Store> stores = {
      {},
      {{"Budi", "<P1>"}},
      {{"Budi", "<P1>"}, {"Siti", "<P2>"}, {"Budi Santoso", "<P3>"}},
      {{"Budi", "<P1>"}, {"Siti", "<P2>"}, {"Budi Santoso", "<P3>"}, {"Santoso Wijaya", "<P4>"}},
      // an original moved to another placeholder; a pair dropped
      {{"Budi", "<P9>"}, {"Budi Santoso", "<P3>"}, {"Bandung", "<L1>"}},
      // two pairs of one length: store order decides
      {{"santoso wijaya", "<P4>"}, {"Budi Santoso", "<P3>"}},
      {{"Budi Santoso", "<P3>"}, {"santoso wijaya", "<P4>"}},
      {},
  };
  StoreReplacer cached;
  for (size_t i = 0; i < stores.size(); ++i) {
    Pairs sorted(stores[i].begin(), stores[i].end());
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto& a, const auto& b) {
      return utf8_length(a.first) > utf8_length(b.first);
    });
    EXPECT_EQ(cached.replace(Utf8Text(text), stores[i]), WholeWordReplacer(sorted).replace(Utf8Text(text)))
        << "store " << i;
  }
}

TEST(StoreReplacer, StartsAfreshWhenDroppedPairsPileUp) {
  StoreReplacer cached;
  std::vector<std::string> names;
  for (int round = 0; round < 50; ++round) {
    names.assign({"Nama" + std::to_string(round), "Kota" + std::to_string(round)});
    std::vector<std::pair<std::string_view, std::string_view>> store = {{names[0], "<P>"}, {names[1], "<L>"}};
    EXPECT_EQ(cached.replace(Utf8Text(names[0] + " di " + names[1] + ", Nama0"), store),
              round == 0 ? "<P> di <L>, <P>" : "<P> di <L>, Nama0");
  }
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
