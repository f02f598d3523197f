// CustomLemmaContextAwareEnhancer: raises the score of a detection when one
// of its recognizer's context words or phrases stands near it, compared on
// lemmas, or is among the context words the caller passed to the analysis.
//
// For each result whose recognizer has context words (and whose score the
// recognizer has not already raised from context), the enhancer collects
//   - the keywords before the span, the span's own token included: up to
//     context_prefix_count + 1 of them, however many stop words and
//     punctuation marks lie between;
//   - the keywords from the span's token on: up to context_suffix_count + 1;
//   - phrases of 2 to max_phrase_words adjacent keyword lemmas in the token
//     window before the span (and after it, when context_suffix_count > 0); a
//     stop word or punctuation mark inside the window breaks a phrase;
//   - the caller's context words, lower-cased.
// A recognizer context entry supports the result when it equals one of the
// collected strings (exact pass, in the recognizer's order) or, failing
// that, when each of its words is contained in one collected string (partial
// pass, same order). The first supporting entry, lower-cased, is recorded in
// the explanation, and the score becomes
//   min(max(score + context_similarity_factor, min_score_with_context_similarity), MAX_SCORE)
// once, however many entries match.
//
//   auto enhancer = std::make_shared<CustomLemmaContextAwareEnhancer>(0.45, 0.46);
//   AnalyzerEngine engine(registry, nlp_engine, {"en", "id"}, enhancer);
//   // "bpjs 0001234567890": the BPJS number scored 0.01 is raised to 0.46.
//
// A result whose span starts after the last token keeps its score (logged at
// debug level); the other results are enhanced as usual.
//
// The results returned are new objects; the caller's results are left as
// they were. The enhancer holds only its configuration and is safe to share.
#pragma once

#include <cstdint>
#include <forward_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tesk_privacy/recognition/context_aware_enhancer.h"

namespace tesk_privacy::pii_detector {

class CustomLemmaContextAwareEnhancer : public recognition::ContextAwareEnhancer {
 public:
  explicit CustomLemmaContextAwareEnhancer(double context_similarity_factor = 0.35,
                                           double min_score_with_context_similarity = 0.4,
                                           int context_prefix_count = 5, int context_suffix_count = 0,
                                           int max_phrase_words = 3);

  std::vector<recognition::RecognizerResult> enhance_using_context(
      const Utf8Text& text, std::vector<recognition::RecognizerResult> raw_results,
      const recognition::NlpArtifacts& nlp_artifacts,
      const std::vector<std::shared_ptr<recognition::EntityRecognizer>>& recognizers,
      const std::optional<std::vector<std::string>>& context = std::nullopt) const override;

  const int max_phrase_words;

  // The steps of enhance_using_context, open to tests and bindings.

  // The keywords and keyword phrases around the span starting at `start`
  // (code points), without duplicates; a single empty string when the
  // artifacts hold no tokens. Throws std::invalid_argument when the span
  // starts at or after the end of the last token.
  std::vector<std::string> _extract_surrounding_words(const recognition::NlpArtifacts& nlp_artifacts,
                                                      const std::string& word, int64_t start) const;

  // The first token that starts at `start` or ends after it. Throws
  // std::invalid_argument ("Did not find word '<word>' in the list of tokens
  // although it is expected to be found") when there is none.
  static int64_t _find_index_of_match_token(const std::string& word, int64_t start,
                                            const std::vector<std::string>& tokens,
                                            const std::vector<int64_t>& tokens_indices);

  // Up to n_words + 1 lower-cased lemmas that are keywords, from `index`
  // backward or forward, nearest first.
  static std::vector<std::string> _add_n_words(int64_t index, int n_words, const std::vector<std::string>& lemmas,
                                               const std::vector<std::string>& lemmatized_filtered_keywords,
                                               bool is_backward);
  static std::vector<std::string> _add_n_words_forward(int64_t index, int n_words,
                                                       const std::vector<std::string>& lemmas,
                                                       const std::vector<std::string>& lemmatized_filtered_keywords);
  static std::vector<std::string> _add_n_words_backward(int64_t index, int n_words,
                                                        const std::vector<std::string>& lemmas,
                                                        const std::vector<std::string>& lemmatized_filtered_keywords);

  // Phrases of 2 to max_phrase_words adjacent keyword lemmas, joined by one
  // blank, starting within n_words + 1 tokens of `index` (duplicates kept).
  std::vector<std::string> _extract_phrases(int64_t index, int n_words, const std::vector<std::string>& lemmas,
                                            const std::vector<std::string>& lemmatized_filtered_keywords,
                                            bool is_backward) const;
  std::vector<std::string> _extract_phrases_forward(int64_t index, int n_words,
                                                    const std::vector<std::string>& lemmas,
                                                    const std::vector<std::string>& lemmatized_filtered_keywords) const;
  std::vector<std::string> _extract_phrases_backward(int64_t index, int n_words,
                                                     const std::vector<std::string>& lemmas,
                                                     const std::vector<std::string>& lemmatized_filtered_keywords) const;

  // The first entry of `recognizer_context_list`, lower-cased, that equals a
  // string of `context_list`; else the first whose words all occur within one
  // such string; else "". Entries without words never match partially.
  static std::string _find_supportive_word_in_context(const std::vector<std::string>& context_list,
                                                      const std::vector<std::string>& recognizer_context_list);

 private:
  class Window;
  // The keywords and phrases around the token, without duplicates, into
  // `words`; phrases are kept in `phrases`.
  void surrounding_words(const Window& window, int64_t token_index, std::vector<std::string_view>& words,
                         std::forward_list<std::string>& phrases) const;
};

}  // namespace tesk_privacy::pii_detector
