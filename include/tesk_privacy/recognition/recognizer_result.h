// RecognizerResult: one detection — an entity type, a span of code points
// [start, end) in the analysed text, a score in 0..1, and optionally an
// explanation and metadata about the recognizer that produced it.
//
//   RecognizerResult r("ID_KTP", 8, 24, 0.5);
//   r.recognition_metadata = RecognizerResult::Metadata{
//       {RecognizerResult::RECOGNIZER_IDENTIFIER_KEY, std::string("KTPRecognizer_1")}};
//
// A plain value type; copies share the explanation and the metadata map
// until one changes them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "tesk_privacy/recognition/recognizer_metadata.h"
#include "tesk_privacy/recognition/shared_explanation.h"

namespace tesk_privacy::recognition {

struct RecognizerResult {
  using Metadata = RecognizerMetadata;
  using MetadataValue = RecognizerMetadata::Value;

  // Metadata key holding the id of the producing recognizer.
  static constexpr const char* RECOGNIZER_IDENTIFIER_KEY = "recognizer_identifier";
  // Metadata key holding the name of the producing recognizer.
  static constexpr const char* RECOGNIZER_NAME_KEY = "recognizer_name";
  // Metadata key set to true when the recognizer itself already raised the
  // score from context, so the engine's enhancer leaves it alone.
  static constexpr const char* IS_SCORE_ENHANCED_BY_CONTEXT_KEY = "is_score_enhanced_by_context";

  std::string entity_type;
  int64_t start = 0;
  int64_t end = 0;
  double score = 0.0;
  SharedExplanation analysis_explanation;
  std::optional<Metadata> recognition_metadata;

  RecognizerResult() = default;
  RecognizerResult(std::string entity_type, int64_t start, int64_t end, double score,
                   SharedExplanation analysis_explanation = std::nullopt,
                   std::optional<Metadata> recognition_metadata = std::nullopt)
      : entity_type(std::move(entity_type)),
        start(start),
        end(end),
        score(score),
        analysis_explanation(std::move(analysis_explanation)),
        recognition_metadata(std::move(recognition_metadata)) {}

  int64_t length() const { return end - start; }
  // Same entity type and same span.
  bool equal_indices(const RecognizerResult& other) const {
    return start == other.start && end == other.end;
  }
  // This span lies within `other` (equal spans included).
  bool contained_in(const RecognizerResult& other) const {
    return start >= other.start && end <= other.end;
  }
  bool intersects(const RecognizerResult& other) const {
    return start < other.end && other.start < end;
  }

  // Two results are equal when type, span and score are equal; explanation
  // and metadata are bookkeeping and do not take part.
  bool operator==(const RecognizerResult& o) const {
    return entity_type == o.entity_type && start == o.start && end == o.end && score == o.score;
  }
};

// "type: ID_KTP, start: 8, end: 24, score: 0.5"
std::string to_string(const RecognizerResult& r);

}  // namespace tesk_privacy::recognition
