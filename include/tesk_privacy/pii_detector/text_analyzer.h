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
// TextAnalyzerOptions::indonesian_formats adds the recognizers for PII as
// people in Indonesia write it (identity, account, card and phone numbers in
// groups, written-out e-mail addresses, dates, plates, addresses, amounts
// with scale words; the extra types are in format_entities.h) and settles
// their findings with the others so that an identifier is reported whole:
//
//   TextAnalyzer analyzer(TextAnalyzerOptions{.indonesian_formats = true});
//
// Construction is the expensive step (pipelines are provisioned and loaded,
// recognizers compiled); analyze() changes nothing and may run on several
// threads at once.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tesk_privacy/pii_detector/analyzer.h"
#include "tesk_privacy/recognition/analyzer_engine.h"
#include "tesk_privacy/recognition/nlp_configuration.h"
#include "tesk_privacy/recognition/recognizer_registry.h"

namespace tesk_privacy::pii_detector {

// Where NLP models are found and installed (see the model loader); the
// default is the running system.
class ModelPlatform;
const ModelPlatform& default_model_platform();

// {"nlp_engine_name": "spacy", "models": [{"lang_code": "en", "model_name": "en_core_web_sm"},
//                                          {"lang_code": "id", "model_name": "en_core_web_sm"}]}
const recognition::NlpConfiguration& DEFAULT_NLP_CONFIGURATION();
// Spans of this many characters or more are not reported.
inline constexpr int64_t MAX_PII_TEXT_LENGTH = 139;

struct TextAnalyzerOptions {
  // Off, the analyzer runs exactly the built-in recognizer set.
  bool indonesian_formats = false;
  // A text longer than this many code points is analyzed in windows of
  // about this size that overlap by ANALYSIS_WINDOW_OVERLAP, so memory
  // follows the window rather than the text (the command line sets 2^17).
  // Each window reports the spans that start in its middle part; a span is
  // found whole when it is at most half the overlap long. 0: whole texts.
  // Ignored when the call brings NLP artifacts of the whole text.
  size_t window_chars = 0;
};
// Code points by which analysis windows overlap.
inline constexpr size_t ANALYSIS_WINDOW_OVERLAP = 4096;

class TextAnalyzer : public BaseTextAnalyzer {
 public:
  // A step after the analysis: takes the results and returns those it keeps.
  using PostProcessingFn = std::vector<recognition::RecognizerResult> (*)(std::vector<recognition::RecognizerResult>);

  explicit TextAnalyzer(std::vector<std::shared_ptr<recognition::EntityRecognizer>> additional_recognizers = {},
                        std::optional<recognition::NlpConfiguration> nlp_configuration = std::nullopt,
                        const ModelPlatform& platform = default_model_platform(),
                        TextAnalyzerOptions options = {});
  explicit TextAnalyzer(TextAnalyzerOptions options,
                        std::vector<std::shared_ptr<recognition::EntityRecognizer>> additional_recognizers = {})
      : TextAnalyzer(std::move(additional_recognizers), std::nullopt, default_model_platform(), options) {}

  // An absent score threshold means 0.46. With indonesian_formats,
  // options.keep_long_spans keeps spans the length filter would drop, and
  // options.dropped_by_length receives those it drops.
  std::vector<recognition::RecognizerResult> analyze(const Utf8Text& text, const std::string& language = "id",
                                                     const AnalyzeOptions& options = {}) const override;
  // analyze() a window at a time, so that a caller writing the results out
  // never holds those of the whole text: `each` receives the spans of one
  // window (offsets in the whole text), windows in order of position, each
  // span starting after the spans of earlier windows. A text that is not
  // analyzed in windows comes as one.
  void analyze_each_window(const Utf8Text& text, const std::string& language, const AnalyzeOptions& options,
                           const std::function<void(std::vector<recognition::RecognizerResult>&)>& each) const;
  // analyze() of every text, in order, on `threads` threads (started for
  // this call when more than one). The first text that fails throws.
  std::vector<std::vector<recognition::RecognizerResult>> analyze_batch(const std::vector<std::string>& texts,
                                                                        const std::string& language = "id",
                                                                        const AnalyzeOptions& options = {},
                                                                        size_t threads = 1) const;

  // An empty registry with the predefined recognizers, for "en" and "id".
  static std::shared_ptr<recognition::RecognizerRegistry> _initialize_registry();
  // The results whose span length is from 2 to MAX_PII_TEXT_LENGTH - 1, in order.
  static std::vector<recognition::RecognizerResult> _filter_entities_based_on_the_text_length(
      std::vector<recognition::RecognizerResult> results);

  const recognition::AnalyzerEngine& analyzer() const { return *analyzer_; }
  const recognition::RecognizerRegistry& registry() const { return *registry_; }
  const TextAnalyzerOptions& options() const { return options_; }

 private:
  std::vector<recognition::RecognizerResult> analyze_whole(const Utf8Text& text, const std::string& language,
                                                           const AnalyzeOptions& options) const;

  std::shared_ptr<recognition::RecognizerRegistry> registry_;
  std::shared_ptr<recognition::AnalyzerEngine> analyzer_;
  std::vector<PostProcessingFn> post_processing_fn_;
  TextAnalyzerOptions options_;
};

}  // namespace tesk_privacy::pii_detector
