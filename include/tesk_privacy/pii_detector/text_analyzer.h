// TextAnalyzer: the PII detector. It registers every built-in recognizer for
// "en" and "id" (plus the e-mail and phone recognizers for "id"), adds the
// caller's recognizers, and runs them with context enhancement, the 0.46
// score threshold and a length filter that drops spans shorter than 2 or
// longer than 138 characters.
//
//   TextAnalyzer analyzer;
//   for (const auto& r : analyzer.analyze("Hubungi Budi di 0812-3456-7890", "id"))
//     std::cout << r.entity_type << " " << r.start << "-" << r.end << "\n";
//
// Construction is the expensive step (pipelines are provisioned and loaded,
// recognizers compiled); analyze() changes nothing and may run on several
// threads at once.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tesk_privacy/pii_detector/analyzer.h"
#include "tesk_privacy/pii_detector/utils/spacy_model_loader.h"
#include "tesk_privacy/recognition/analyzer_engine.h"
#include "tesk_privacy/recognition/nlp_configuration.h"
#include "tesk_privacy/recognition/recognizer_registry.h"

namespace tesk_privacy::pii_detector {

// {"nlp_engine_name": "spacy", "models": [{"lang_code": "en", "model_name": "en_core_web_sm"},
//                                          {"lang_code": "id", "model_name": "en_core_web_sm"}]}
const recognition::NlpConfiguration& DEFAULT_NLP_CONFIGURATION();
// Spans of this many characters or more are not reported.
inline constexpr int64_t MAX_PII_TEXT_LENGTH = 139;

class TextAnalyzer : public BaseTextAnalyzer {
 public:
  // A step after the analysis: takes the results and returns those it keeps.
  using PostProcessingFn = std::vector<recognition::RecognizerResult> (*)(std::vector<recognition::RecognizerResult>);

  explicit TextAnalyzer(std::vector<std::shared_ptr<recognition::EntityRecognizer>> additional_recognizers = {},
                        std::optional<recognition::NlpConfiguration> nlp_configuration = std::nullopt,
                        const ModelPlatform& platform = default_model_platform());

  // An absent score threshold means 0.46.
  std::vector<recognition::RecognizerResult> analyze(const Utf8Text& text, const std::string& language = "id",
                                                     const AnalyzeOptions& options = {}) const override;

  // An empty registry with the predefined recognizers, for "en" and "id".
  static std::shared_ptr<recognition::RecognizerRegistry> _initialize_registry();
  // The results whose span length is from 2 to MAX_PII_TEXT_LENGTH - 1, in order.
  static std::vector<recognition::RecognizerResult> _filter_entities_based_on_the_text_length(
      std::vector<recognition::RecognizerResult> results);

  const recognition::AnalyzerEngine& analyzer() const { return *analyzer_; }
  const recognition::RecognizerRegistry& registry() const { return *registry_; }

 private:
  std::shared_ptr<recognition::RecognizerRegistry> registry_;
  std::shared_ptr<recognition::AnalyzerEngine> analyzer_;
  std::vector<PostProcessingFn> post_processing_fn_;
};

}  // namespace tesk_privacy::pii_detector
