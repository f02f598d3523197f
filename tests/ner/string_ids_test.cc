// Dense ids for the words of a text: first sight order, repeats found again
// after the table grows, and keys with one hash kept apart.
#include "ner/string_ids.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tesk_privacy::ner {
namespace {

TEST(NerStringIds, IdsInOrderOfFirstSight) {
  StringIds ids(4);
  const std::vector<std::pair<std::string_view, uint32_t>> table = {
      {"budi", 0}, {"ke", 1}, {"budi", 0}, {"", 2}, {"Budi", 3}, {"ke", 1}, {"", 2}};
  size_t fresh_count = 0;
  for (const auto& [word, id] : table) {
    const auto [got, fresh] = ids.insert(word);
    EXPECT_EQ(got, id) << word;
    fresh_count += fresh;
  }
  EXPECT_EQ(fresh_count, 4u);
  EXPECT_EQ(ids.size(), 4u);
  EXPECT_TRUE(ids.contains("Budi"));
  EXPECT_TRUE(ids.contains(""));
  EXPECT_FALSE(ids.contains("budi "));
  EXPECT_FALSE(ids.contains("kE"));
}

TEST(NerStringIds, GrowsPastTheExpectedCountAndKeepsEveryId) {
  std::vector<std::string> words;
  for (int i = 0; i < 5000; ++i) words.push_back("w" + std::to_string(i));
  StringIds ids(0);
  for (size_t i = 0; i < words.size(); ++i) {
    const auto [id, fresh] = ids.insert(words[i]);
    ASSERT_TRUE(fresh) << words[i];
    ASSERT_EQ(id, i);
  }
  for (size_t i = 0; i < words.size(); ++i) {
    const auto [id, fresh] = ids.insert(words[i]);
    EXPECT_FALSE(fresh) << words[i];
    EXPECT_EQ(id, i) << words[i];
  }
  EXPECT_FALSE(ids.contains("w5000"));
}

TEST(NerStringIds, KeysWithOneHashStayApart) {
  StringIds ids(2);
  EXPECT_EQ(ids.insert("a", 7).first, 0u);
  EXPECT_EQ(ids.insert("b", 7).first, 1u);
  EXPECT_EQ(ids.insert("c", 7 + 1024).first, 2u);
  EXPECT_EQ(ids.insert("b", 7).first, 1u);
  EXPECT_EQ(ids.insert("a", 7).first, 0u);
  EXPECT_EQ(ids.insert("c", 7 + 1024).first, 2u);
}

}  // namespace
}  // namespace tesk_privacy::ner
