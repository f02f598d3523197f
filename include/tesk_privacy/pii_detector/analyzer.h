// BaseTextAnalyzer: the component shape of a PII detector. Besides its typed
// analyze(), it offers execute(), which a pipeline calls with keyword
// arguments: it checks `text` and `language` and hands everything to analyze().
//
//   Kwargs kwargs{{"text", std::string("Budi, NIK 3171011205900001")},
//                 {"language", std::string("id")},
//                 {"score_threshold", 0.5}};
//   std::vector<RecognizerResult> found = analyzer.execute(kwargs);
#pragma once

#include <string>
#include <vector>

#include "tesk_privacy/core/component.h"
#include "tesk_privacy/recognition/analyzer_engine.h"
#include "tesk_privacy/recognition/recognizer_result.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::pii_detector {

using recognition::AnalyzeOptions;

class BaseTextAnalyzer : public core::Component {
 public:
  // Spans of PII in `text`. Options left absent take the analyzer's defaults.
  virtual std::vector<recognition::RecognizerResult> analyze(const Utf8Text& text, const std::string& language,
                                                             const AnalyzeOptions& options = {}) const = 0;

  // Raises std::invalid_argument "The input kwargs for analyzer must include a
  // non-empty `text` key of type `str`." (then the same for `language`)
  // before anything runs. Recognised keywords: text, language, entities,
  // score_threshold, allow_list, allow_list_match, regex_flags, context;
  // correlation_id and return_decision_process are accepted and have no
  // effect. Any other keyword is refused.
  std::vector<recognition::RecognizerResult> execute(const core::Kwargs& kwargs) const;
};

// The AnalyzeOptions that keyword arguments describe (text and language aside).
AnalyzeOptions analyze_options_from_kwargs(const core::Kwargs& kwargs);

}  // namespace tesk_privacy::pii_detector
