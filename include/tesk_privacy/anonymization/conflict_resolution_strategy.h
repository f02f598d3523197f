// ConflictResolutionStrategy: how the anonymizer settles analyzer results
// whose spans overlap.
//
//   MERGE_SIMILAR_OR_CONTAINED  drop duplicates and spans contained in another
//                               span; merge overlapping spans of the same type.
//   REMOVE_INTERSECTIONS        the above, then trim partially overlapping spans
//                               of different types so that none overlap.
//
//   auto s = parse_conflict_resolution_strategy("REMOVE_INTERSECTIONS");
//   to_string(s);  // "REMOVE_INTERSECTIONS"
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace tesk_privacy::anonymization {

enum class ConflictResolutionStrategy { MERGE_SIMILAR_OR_CONTAINED, REMOVE_INTERSECTIONS };

inline std::string to_string(ConflictResolutionStrategy strategy) {
  switch (strategy) {
    case ConflictResolutionStrategy::MERGE_SIMILAR_OR_CONTAINED:
      return "MERGE_SIMILAR_OR_CONTAINED";
    case ConflictResolutionStrategy::REMOVE_INTERSECTIONS:
      return "REMOVE_INTERSECTIONS";
  }
  throw std::invalid_argument("Invalid conflict resolution strategy value: " +
                              std::to_string(static_cast<int>(strategy)));
}

// Throws std::invalid_argument for any name other than the two above.
inline ConflictResolutionStrategy parse_conflict_resolution_strategy(std::string_view name) {
  if (name == "MERGE_SIMILAR_OR_CONTAINED") {
    return ConflictResolutionStrategy::MERGE_SIMILAR_OR_CONTAINED;
  }
  if (name == "REMOVE_INTERSECTIONS") return ConflictResolutionStrategy::REMOVE_INTERSECTIONS;
  throw std::invalid_argument("Invalid conflict resolution strategy: '" + std::string(name) +
                              "' (expected MERGE_SIMILAR_OR_CONTAINED or REMOVE_INTERSECTIONS)");
}

}  // namespace tesk_privacy::anonymization
