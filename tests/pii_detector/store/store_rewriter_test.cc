#include "pii_detector/store/store_rewriter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <unordered_map>

namespace tesk_privacy::pii_detector {
namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

// The rewrite as a store walk defines it: originals (deduplicated per type,
// taking the later placeholder in the place of the first) or placeholders, in
// store order, longer first.
std::string reference(const DeanonymizerMapping& store, const std::string& text, bool anonymizing) {
  Pairs pairs;
  for (const auto& [type, inner] : store.mapping) {
    std::unordered_map<std::string, size_t> seen;
    for (const auto& [anonymized, original] : inner) {
      if (!anonymizing) {
        pairs.emplace_back(anonymized, original);
        continue;
      }
      auto [it, inserted] = seen.try_emplace(original, pairs.size());
      if (inserted) {
        pairs.emplace_back(original, anonymized);
      } else {
        pairs[it->second].second = anonymized;
      }
    }
  }
  std::stable_sort(pairs.begin(), pairs.end(),
                   [](const auto& a, const auto& b) { return utf8_length(a.first) > utf8_length(b.first); });
  return WholeWordReplacer(pairs).replace(Utf8Text(text));
}

// Merge after merge, with a store that starts from a loaded file whose
// numbering has gaps (so merges overwrite entries in place) and is reset
// midway, the kept rewriter must agree with the store walk and leave the store
// exactly as DeanonymizerMapping::update does.
TEST(StoreRewriter, StaysInStepWithTheStore) {
  const std::vector<std::string> names = {"Budi", "budi", "Budi Santoso", "Siti", "Siti Aminah", "Andi",
                                          "Bandung", "PT Maju", "Maju", "Dewi Lestari", "Lestari", "Agus"};
  const std::vector<std::string> types = {"PERSON", "LOCATION", "ORGANIZATION"};
  for (bool skip_format_duplicates : {false, true}) {
    std::mt19937 random(7);
    MappingDataType loaded = {{"PERSON", {{"<PERSON_3>", "Agus"}, {"<PERSON_1>", "Dewi Lestari"}}},
                              {"LOCATION", {{"<LOCATION_2>", "Bandung"}}}};
    DeanonymizerMapping store(loaded, skip_format_duplicates);
    DeanonymizerMapping expected = store;
    StoreRewriter rewriter;
    for (int round = 0; round < 200; ++round) {
      if (round == 120) {
        store = expected = DeanonymizerMapping(MappingDataType{}, skip_format_duplicates);
        rewriter.invalidate();
      }
      MappingDataType one_text;
      for (int k = 0; k < 3; ++k) {
        const std::string& type = types[random() % types.size()];
        const std::string& name = names[random() % names.size()];
        one_text[type]["<" + type + (random() % 2 ? "" : "_" + std::to_string(random() % 5 + 1)) + ">"] = name;
      }
      rewriter.merge(store, one_text);
      expected.update(one_text);
      ASSERT_EQ(store, expected) << "round " << round;
      std::string text;
      for (int k = 0; k < 6; ++k) text += names[random() % names.size()] + (k % 2 ? ", " : " dan ");
      ASSERT_EQ(rewriter.anonymize(Utf8Text(text), store), reference(store, text, true)) << "round " << round;
      // Restoring now and then: the placeholders' trie is built on first use,
      // after merges that did not keep it, and kept in step from then on.
      if (round % 5 != 4) continue;
      const std::string placeholders = reference(store, text, true);
      ASSERT_EQ(rewriter.deanonymize(Utf8Text(placeholders), store), reference(store, placeholders, false))
          << "round " << round;
    }
  }
}

TEST(StoreRewriter, PlaceholderOfAnOriginal) {
  DeanonymizerMapping store(MappingDataType{{"PERSON", {{"<PERSON_1>", "Budi"}, {"<PERSON_2>", "Budi"}}}});
  StoreRewriter rewriter;
  EXPECT_EQ(*rewriter.placeholder(store, "PERSON", "Budi"), "<PERSON_2>");
  EXPECT_EQ(rewriter.placeholder(store, "PERSON", "budi"), nullptr);
  EXPECT_EQ(rewriter.placeholder(store, "LOCATION", "Budi"), nullptr);
  rewriter.merge(store, MappingDataType{{"LOCATION", {{"<LOCATION>", "Bandung"}}}});
  EXPECT_EQ(*rewriter.placeholder(store, "LOCATION", "Bandung"), "<LOCATION_1>");
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
