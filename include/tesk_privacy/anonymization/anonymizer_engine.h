// AnonymizerEngine: replaces the spans found by the analyzer with the output
// of an operator per entity type, and reports where each replacement landed.
//
//   AnonymizerEngine engine;
//   Utf8Text text("Budi tinggal di Bandung");
//   EngineResult r = engine.anonymize(
//       text, {RecognizerResult("PERSON", 0, 4, 0.9), RecognizerResult("LOCATION", 16, 23, 0.8)},
//       OperatorMap{{"PERSON", OperatorConfig("redact")}});
//   // r.text == " tinggal di <LOCATION>"
//
// Overlapping results are settled first (see ConflictResolutionStrategy);
// whatever overlap remains between different entity types is trimmed in favour
// of the higher score, so every character of the input lies in at most one
// replaced span and all text outside the spans is copied unchanged.
//
// All offsets, in and out, are Unicode code points. The engine holds no state:
// one instance can be shared by any number of threads.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tesk_privacy/anonymization/conflict_resolution_strategy.h"
#include "tesk_privacy/anonymization/engine_result.h"
#include "tesk_privacy/anonymization/operator_config.h"
#include "tesk_privacy/recognition/recognizer_result.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::anonymization {

class AnonymizerEngine {
 public:
  using RecognizerResult = recognition::RecognizerResult;

  // Anonymizes `text`. The operator for a span is the entry for its entity
  // type, else the "DEFAULT" entry, else replace with "<ENTITY_TYPE>".
  // Throws std::invalid_argument when a result lies outside the text, an
  // operator config is invalid, or a custom operator returns invalid UTF-8.
  // Exceptions thrown by a custom operator propagate unchanged.
  EngineResult anonymize(
      const Utf8Text& text, const std::vector<RecognizerResult>& analyzer_results,
      const std::optional<OperatorMap>& operators = std::nullopt,
      std::optional<ConflictResolutionStrategy> conflict_resolution = std::nullopt) const;

  // The replacements anonymize() makes, without assembling the text, for
  // results already settled by _remove_conflicts_and_get_text_manipulation_data
  // (and possibly merged by _merge_entities_with_whitespace_between):
  // overlaps between entity types are trimmed and every span gets its
  // operator's value. In order of position; same exceptions as anonymize().
  // The results are taken by value: a caller done with them moves them in.
  std::vector<Replacement> replace_settled(const Utf8Text& text, std::vector<RecognizerResult> settled,
                                           const std::optional<OperatorMap>& operators = std::nullopt) const;

  // Settles conflicts between results and returns the survivors sorted by
  // (start, end). Empty spans are dropped; of identical spans the highest
  // score wins (ties: earlier in the input); a span inside another span is
  // dropped; partially overlapping spans of one entity type are merged.
  // REMOVE_INTERSECTIONS also trims partially overlapping spans of different
  // types: the higher score (ties: the earlier start) keeps its span. A
  // missing strategy means MERGE_SIMILAR_OR_CONTAINED. Idempotent. Results
  // passed as an rvalue are moved, never held twice.
  std::vector<RecognizerResult> _remove_conflicts_and_get_text_manipulation_data(
      std::vector<RecognizerResult> results, std::optional<ConflictResolutionStrategy> strategy) const;

  // Merges consecutive results (in order of start) of the same entity type
  // when only white space, or nothing, separates them in `text`. The merged
  // result takes the higher score. Returns the results sorted by start.
  // Throws std::invalid_argument for a result outside the text.
  std::vector<RecognizerResult> _merge_entities_with_whitespace_between(const Utf8Text& text,
                                                                       std::vector<RecognizerResult> results) const;
};

}  // namespace tesk_privacy::anonymization
