// Feature extraction and gazetteer matching: normalisation, shapes, the
// context window, case-mode separation, gazetteer and domain features.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "ner/feature_extractor.h"
#include "ner/gazetteer.h"
#include "ner/hashing.h"

namespace tesk_privacy::ner {
namespace {

std::set<uint32_t> rows_of(const FeatureExtractor& fx, const std::vector<std::string_view>& tokens, size_t i,
                           std::vector<uint64_t> domains = {}) {
  FeatureSet set;
  fx.extract(tokens, set, domains);
  const auto r = set.token(i);
  return {r.begin(), r.end()};
}

size_t shared(const std::set<uint32_t>& a, const std::set<uint32_t>& b) {
  std::vector<uint32_t> both;
  std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(both));
  return both.size();
}

TEST(NerFeatures, NormalizeAndShape) {
  struct Case {
    std::string token, normalized, shape, folded_shape;
  };
  const std::vector<Case> cases = {
      {"Budi", "budi", "Xx", "x"},
      {"PT.", "pt", "X.", "x."},
      {"S.Kom", "s.kom", "X.Xx", "x.x"},
      {"2024", "0000", "d", "d"},
      {"Rp1.500", "rp0.000", "Xxd.d", "xd.d"},
      {".", ".", ".", "."},
      {"...", "...", ".", "."},
      {"ÉCOLE", "école", "X", "x"},
      {"İstanbul", "i̇stanbul", "Xx", "x"},
      {"😀", "😀", "o", "o"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(normalize_token(c.token), c.normalized) << c.token;
    EXPECT_EQ(word_shape(c.token), c.shape) << c.token;
    EXPECT_EQ(word_shape(c.token, true), c.folded_shape) << c.token;
  }
  EXPECT_EQ(word_shape("Abcdefghijklmnopqrstuvwxyz-0-0-0-0-0-0-0"), "Xx-d-d-d-d-d");  // at most 12
}

TEST(NerFeatures, CaselessSentences) {
  using V = std::vector<std::string_view>;
  EXPECT_TRUE(is_caseless(V{"saya", "budi", "dari", "surabaya"}));
  EXPECT_TRUE(is_caseless(V{"SAYA", "BUDI", "123"}));
  EXPECT_FALSE(is_caseless(V{"saya", "Budi"}));
  EXPECT_FALSE(is_caseless(V{"123", ","}));  // no letters at all
}

TEST(NerFeatures, WindowCaseAndGazetteer) {
  GazetteerBuilder builder;
  builder.add({"jawa", "timur"}, GazetteerCategory::kIndonesianPlace);
  const std::string bytes = builder.serialize();
  const Gazetteer gazetteer(bytes);
  const Gazetteer empty;
  const FeatureExtractor fx(gazetteer, 16);
  const FeatureExtractor plain(empty, 16);

  // A token's features depend on its neighbours up to two away, no further.
  const auto base = rows_of(fx, {"a", "b", "c", "d", "e", "f"}, 1);
  EXPECT_EQ(rows_of(fx, {"a", "b", "c", "d", "z", "f"}, 1), base);
  EXPECT_NE(rows_of(fx, {"a", "b", "c", "z", "e", "f"}, 1), base);

  // "Budi" and "budi" share the lexical features, not the case-bearing ones.
  const auto upper = rows_of(fx, {"kata", "Budi", "Kata"}, 1);
  const auto lower = rows_of(fx, {"kata", "budi", "Kata"}, 1);
  EXPECT_GT(shared(upper, lower), 8u);
  EXPECT_NE(upper, lower);
  // In a caseless sentence the case-bearing features are separate from those
  // of a lower-case word in cased text.
  const auto caseless = rows_of(fx, {"kata", "budi", "kata"}, 1);
  EXPECT_NE(caseless, lower);

  // Gazetteer phrases add features to each of their tokens.
  const std::vector<std::string_view> sentence = {"di", "Jawa", "Timur", "."};
  for (size_t i : {1, 2}) {
    EXPECT_GT(rows_of(fx, sentence, i).size(), rows_of(plain, sentence, i).size()) << i;
  }

  // Every feature is repeated once per domain.
  FeatureSet one, two;
  fx.extract(sentence, one);
  fx.extract(sentence, two, std::vector<uint64_t>{domain_key("lang:id")});
  EXPECT_EQ(two.rows.size(), 2 * one.rows.size());
  for (uint32_t r : two.rows) EXPECT_LT(r, 1u << 16);

  EXPECT_THROW(FeatureExtractor(gazetteer, 4), std::invalid_argument);
}

// The features of a token that depend on it alone are worked out once per
// call and shared by its repeats; each token must still get exactly the rows
// its sentence alone gives it, whether the same word stands in a cased or a
// caseless sentence, first or inside, with or without domains, and the
// rows it shares with its repeats must be alike.
TEST(NerFeatures, SentencesOfOneCallMatchSentencesAlone) {
  GazetteerBuilder builder;
  builder.add({"jawa", "timur"}, GazetteerCategory::kIndonesianPlace);
  const std::string bytes = builder.serialize();
  const Gazetteer gazetteer(bytes);
  const FeatureExtractor fx(gazetteer, 18);
  const std::vector<std::string_view> tokens = {
      "Budi", "ke", "Jawa", "Timur", ".",                 // cased
      "budi", "ke", "jawa", "timur", ".",                 // caseless: "ke" and "." again, in another mode
      "Kata", "Budi", "Budi", "ke", "Jawa", "Timur", ".",  // repeats, first and inside
      "BUDI", "KE", "JAWA",                               // caseless in capitals
      "Ärzte", "ärzte", "Budi"};
  const std::vector<std::pair<size_t, size_t>> sentences = {{0, 5}, {5, 10}, {10, 17}, {17, 20}, {20, 23}};
  for (const std::vector<uint64_t>& domains : {std::vector<uint64_t>{}, {domain_key("lang:id")}}) {
    FeatureSet all;
    fx.extract_sentences(tokens, sentences, all, domains);
    ASSERT_EQ(all.size(), tokens.size());
    // Tokens written alike in one case mode share a word and its leading rows.
    ASSERT_EQ(all.word_of.size(), tokens.size());
    EXPECT_EQ(all.word_of[1], all.word_of[13]);  // "ke", cased
    EXPECT_NE(all.word_of[1], all.word_of[6]);   // "ke", cased and caseless
    for (size_t i = 0; i < tokens.size(); ++i) {
      const uint32_t shared = all.word_rows.at(all.word_of[i]);
      ASSERT_LE(shared, all.token(i).size());
      for (size_t j = 0; j < i; ++j) {
        if (all.word_of[i] != all.word_of[j]) continue;
        EXPECT_EQ(tokens[i], tokens[j]);
        EXPECT_TRUE(std::equal(all.token(i).begin(), all.token(i).begin() + shared, all.token(j).begin()))
            << "tokens " << j << " and " << i;
      }
    }
    for (const auto& [first, last] : sentences) {
      FeatureSet alone;
      fx.extract(std::span(tokens).subspan(first, last - first), alone, domains);
      for (size_t i = first; i < last; ++i) {
        std::multiset<uint32_t> a(all.token(i).begin(), all.token(i).end());
        std::multiset<uint32_t> b(alone.token(i - first).begin(), alone.token(i - first).end());
        EXPECT_EQ(a, b) << "token " << i << " (" << tokens[i] << "), " << domains.size() << " domains";
      }
    }
  }
}

TEST(NerGazetteer, LongestMatchPerCategory) {
  GazetteerBuilder builder;
  builder.add({"jawa"}, GazetteerCategory::kIndonesianPlace);
  builder.add({"jawa", "timur"}, GazetteerCategory::kIndonesianPlace);
  builder.add({"kota"}, GazetteerCategory::kLocationCue);
  builder.add({"new", "york", "city"}, GazetteerCategory::kWorldPlace);
  const std::string bytes = builder.serialize();
  const Gazetteer g(bytes);
  EXPECT_EQ(g.max_tokens(), 3u);

  const std::vector<std::string_view> words = {"kota", "jawa", "timur", "new", "york", "city", "jawa", "new", "york"};
  std::vector<uint64_t> h;
  for (auto w : words) h.push_back(hash_bytes(w));
  std::vector<uint32_t> begin(words.size()), inside(words.size());
  g.match(h, begin, inside);
  const uint32_t place = 1u << static_cast<int>(GazetteerCategory::kIndonesianPlace);
  const uint32_t world = 1u << static_cast<int>(GazetteerCategory::kWorldPlace);
  const uint32_t cue = 1u << static_cast<int>(GazetteerCategory::kLocationCue);
  EXPECT_EQ(begin, (std::vector<uint32_t>{cue, place, 0, world, 0, 0, place, 0, 0}));
  EXPECT_EQ(inside, (std::vector<uint32_t>{0, 0, place, 0, world, world, 0, 0, 0}));  // "new york" alone: no entry
  EXPECT_NE(g.lookup(phrase_hash({"jawa", "timur"})), 0u);
  EXPECT_NE(g.lookup(phrase_hash({"jawa"})), 0u);
  EXPECT_EQ(g.lookup(phrase_hash({"new", "york"})), 0u);  // a prefix only, not an entry
  EXPECT_EQ(g.lookup(phrase_hash({"timur"})), 0u);
  EXPECT_EQ(g.lookup(phrase_hash({"kota"})), 1u << static_cast<int>(GazetteerCategory::kLocationCue));
}

TEST(NerGazetteer, RefusesMalformedTables) {
  EXPECT_THROW(Gazetteer(std::string_view("short")), std::invalid_argument);
  std::string bytes = GazetteerBuilder().serialize();
  bytes[0] = 3;  // slot count not a power of two
  EXPECT_THROW(Gazetteer{bytes}, std::invalid_argument);
  std::string full = GazetteerBuilder().serialize();
  full.resize(full.size() - 16);
  EXPECT_THROW(Gazetteer{full}, std::invalid_argument);
}

}  // namespace
}  // namespace tesk_privacy::ner
