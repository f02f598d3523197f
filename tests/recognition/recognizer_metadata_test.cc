// Results of one recognizer share one metadata map; a change to one copy
// must never show through another.
#include "tesk_privacy/recognition/recognizer_metadata.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tesk_privacy::recognition {
namespace {

TEST(RecognizerMetadata, ChangingACopyLeavesTheOthersAlone) {
  const RecognizerMetadata original{{"recognizer_name", std::string("KTPRecognizer")}};
  std::vector<RecognizerMetadata> copies(3, original);
  EXPECT_TRUE(copies[0].emplace("is_score_enhanced_by_context", true));
  EXPECT_FALSE(copies[0].emplace("recognizer_name", std::string("other")));  // present: unchanged
  copies[1].insert_or_assign("recognizer_name", std::string("NIKRecognizer"));
  EXPECT_EQ(copies[2].erase("recognizer_name"), 1u);

  EXPECT_EQ(original.size(), 1u);
  EXPECT_EQ(std::get<std::string>(original.at("recognizer_name")), "KTPRecognizer");
  EXPECT_EQ(copies[0].size(), 2u);
  EXPECT_TRUE(std::get<bool>(copies[0].at("is_score_enhanced_by_context")));
  EXPECT_EQ(std::get<std::string>(copies[0].at("recognizer_name")), "KTPRecognizer");
  EXPECT_EQ(std::get<std::string>(copies[1].at("recognizer_name")), "NIKRecognizer");
  EXPECT_TRUE(copies[2].empty());
  EXPECT_EQ(copies[2].find("recognizer_name"), copies[2].end());
}

TEST(RecognizerMetadata, EqualityComparesContents) {
  const RecognizerMetadata a{{"k", int64_t{1}}, {"s", std::string("x")}};
  RecognizerMetadata b;
  EXPECT_NE(a, b);
  b.emplace("s", std::string("x"));
  b.emplace("k", int64_t{1});
  EXPECT_EQ(a, b);
  EXPECT_EQ(RecognizerMetadata{}, RecognizerMetadata(RecognizerMetadata::Map{}));
  std::vector<std::string> keys;
  for (const auto& [key, value] : a) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"k", "s"}));
}

}  // namespace
}  // namespace tesk_privacy::recognition
