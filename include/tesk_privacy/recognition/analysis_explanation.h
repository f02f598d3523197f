// AnalysisExplanation: how the score of one detection came about — which
// recognizer and pattern produced it, its original score, and whether context
// words later raised it.
#pragma once

#include <optional>
#include <string>

namespace tesk_privacy::recognition {

struct AnalysisExplanation {
  std::string recognizer;
  double original_score = 0.0;
  // The current score; equals original_score until set_improved_score.
  double score = 0.0;
  std::string textual_explanation;
  std::string pattern_name;
  std::string pattern;
  std::optional<bool> validation_result;
  std::string supportive_context_word;
  double score_context_improvement = 0.0;

  AnalysisExplanation() = default;
  AnalysisExplanation(std::string recognizer, double original_score,
                      std::string textual_explanation = {}, std::string pattern = {},
                      std::string pattern_name = {})
      : recognizer(std::move(recognizer)),
        original_score(original_score),
        score(original_score),
        textual_explanation(std::move(textual_explanation)),
        pattern_name(std::move(pattern_name)),
        pattern(std::move(pattern)) {}

  void set_supportive_context_word(std::string word) { supportive_context_word = std::move(word); }
  // Records a new score and how far it moved from the original one.
  void set_improved_score(double new_score) {
    score = new_score;
    score_context_improvement = new_score - original_score;
  }

  bool operator==(const AnalysisExplanation&) const = default;
};

}  // namespace tesk_privacy::recognition
