#include "tesk_privacy/core/ordered_map.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>

namespace tesk_privacy {
namespace {

// Random inserts, overwrites, lookups and erasures, checked step by step
// against a std::map of key -> (insertion stamp, value): the index must
// find every key through growth and after entries move on erase.
TEST(OrderedMap, AgreesWithAReferenceMapThroughGrowthAndErasure) {
  std::mt19937 random(7);
  OrderedMap<int> map;
  std::map<std::string, std::pair<long, int>> reference;
  long stamp = 0;
  for (int step = 0; step < 20000; ++step) {
    const std::string key = "k" + std::to_string(random() % 3000);
    switch (random() % 4) {
      case 0:
      case 1: {
        const int value = static_cast<int>(random() % 1000);
        const bool added = map.insert_or_assign(key, value).second;
        auto [it, fresh] = reference.try_emplace(key, stamp++, value);
        EXPECT_EQ(added, fresh);
        it->second.second = value;
        break;
      }
      case 2:
        EXPECT_EQ(map.erase(key), reference.erase(key));
        break;
      default: {
        const int* found = map.find(key);
        const auto it = reference.find(key);
        ASSERT_EQ(found != nullptr, it != reference.end()) << key;
        if (found != nullptr) EXPECT_EQ(*found, it->second.second);
      }
    }
  }
  ASSERT_EQ(map.size(), reference.size());
  // Iteration keeps first-insertion order, and position() agrees with it.
  std::map<long, std::string> by_stamp;
  for (const auto& [key, entry] : reference) by_stamp[entry.first] = key;
  size_t place = 0;
  auto expected = by_stamp.begin();
  for (const auto& [key, value] : map) {
    EXPECT_EQ(key, expected->second);
    EXPECT_EQ(map.position(key), place);
    EXPECT_EQ(value, reference.at(key).second);
    ++expected;
    ++place;
  }
  EXPECT_THROW(map.at("missing"), std::out_of_range);
  OrderedMap<int> empty;
  EXPECT_FALSE(empty.contains(""));
  EXPECT_EQ(empty.erase("x"), 0u);
  empty.reserve(100);
  empty[""] = 1;
  EXPECT_EQ(empty.at(""), 1);
}

}  // namespace
}  // namespace tesk_privacy
