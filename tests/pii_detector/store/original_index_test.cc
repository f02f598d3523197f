#include "pii_detector/store/original_index.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <set>
#include <string>

namespace tesk_privacy::pii_detector {
namespace {

// Entries are appended and overwritten in place at random, under two types
// that share their values; after each step every value must be found with
// the number of entries holding it and a place that holds it, and a value
// no entry holds must not be found. Values are few, so the same original
// is recorded, overwritten and recorded again many times over.
TEST(OriginalIndex, FollowsAppendsAndOverwrites) {
  std::mt19937 random(5);
  const std::vector<std::string> values = {"Budi", "budi", "Siti", "", "Budi Santoso", "0812"};
  for (int round = 0; round < 20; ++round) {
    EntityMapping entries[2];
    std::map<std::pair<uint32_t, std::string>, std::multiset<uint32_t>> held;  // the reference
    OriginalIndex index;
    for (int step = 0; step < 300; ++step) {
      const uint32_t type = random() % 2;
      EntityMapping& inner = entries[type];
      const std::string& value = values[random() % values.size()];
      if (inner.empty() || random() % 3 != 0) {
        const auto at = static_cast<uint32_t>(inner.size());
        inner["<K_" + std::to_string(at) + ">"] = value;
        index.add(type, inner, value, at);
        held[{type, value}].insert(at);
      } else {
        const auto at = static_cast<uint32_t>(random() % inner.size());
        const std::string key = (inner.begin() + at)->first, old = (inner.begin() + at)->second;
        index.remove(type, inner, old, at);
        auto& positions = held[{type, old}];
        positions.erase(positions.find(at));
        inner[key] = value;
        index.add(type, inner, value, at);
        held[{type, value}].insert(at);
      }
      for (uint32_t t = 0; t < 2; ++t) {
        for (const std::string& v : values) {
          const auto it = held.find({t, v});
          const size_t count = it == held.end() ? 0 : it->second.size();
          const OriginalIndex::Entry* e = index.find(t, entries[t], v);
          ASSERT_EQ(e == nullptr ? 0u : e->count, count) << "round " << round << " step " << step << " '" << v << "'";
          if (e != nullptr) {
            ASSERT_EQ((entries[t].begin() + e->latest)->second, v);
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
