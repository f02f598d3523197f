#include "tesk_privacy/anonymization/conflict_resolution_strategy.h"

#include <gtest/gtest.h>

namespace tesk_privacy::anonymization {
namespace {

TEST(ConflictResolutionStrategyTest, NamesRoundTrip) {
  for (auto s : {ConflictResolutionStrategy::MERGE_SIMILAR_OR_CONTAINED,
                 ConflictResolutionStrategy::REMOVE_INTERSECTIONS}) {
    EXPECT_EQ(parse_conflict_resolution_strategy(to_string(s)), s);
  }
}

TEST(ConflictResolutionStrategyTest, RejectsUnknownNames) {
  for (const char* name : {"", "remove_intersections", "MERGE", "REMOVE_INTERSECTIONS "}) {
    EXPECT_THROW(parse_conflict_resolution_strategy(name), std::invalid_argument) << name;
  }
}

}  // namespace
}  // namespace tesk_privacy::anonymization
