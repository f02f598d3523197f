// ContextAwareEnhancer: base of the step that raises the score of a detection
// when words that support it (a recognizer's context words, or context the
// caller passes) stand near it in the text. The analyzer engine calls
// enhance_using_context once per analysis, after all recognizers ran.
//
// Implementations hold only their configuration and are safe to share.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tesk_privacy/recognition/entity_recognizer.h"
#include "tesk_privacy/recognition/nlp_artifacts.h"
#include "tesk_privacy/recognition/recognizer_result.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::recognition {

class ContextAwareEnhancer {
 public:
  // No enhancement raises a score above this ceiling.
  static constexpr double MAX_SCORE = 1.0;

  ContextAwareEnhancer(double context_similarity_factor, double min_score_with_context_similarity,
                       int context_prefix_count, int context_suffix_count)
      : context_similarity_factor(context_similarity_factor),
        min_score_with_context_similarity(min_score_with_context_similarity),
        context_prefix_count(context_prefix_count),
        context_suffix_count(context_suffix_count) {}
  virtual ~ContextAwareEnhancer() = default;

  // Returns `raw_results` (same number and order), some with raised scores.
  // They are taken by value: a caller that no longer needs them moves them
  // in, and one that does keeps its own copy untouched.
  virtual std::vector<RecognizerResult> enhance_using_context(
      const Utf8Text& text, std::vector<RecognizerResult> raw_results,
      const NlpArtifacts& nlp_artifacts,
      const std::vector<std::shared_ptr<EntityRecognizer>>& recognizers,
      const std::optional<std::vector<std::string>>& context = std::nullopt) const = 0;

  const double context_similarity_factor;
  const double min_score_with_context_similarity;
  const int context_prefix_count;
  const int context_suffix_count;
};

}  // namespace tesk_privacy::recognition
