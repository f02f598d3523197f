#include "tesk_privacy/pii_detector/analyzer.h"

#include <set>
#include <stdexcept>

namespace tesk_privacy::pii_detector {

AnalyzeOptions analyze_options_from_kwargs(const core::Kwargs& kwargs) {
  static const std::set<std::string> kKnown = {"text", "language", "entities", "score_threshold", "allow_list",
                                               "allow_list_match", "regex_flags", "context", "correlation_id",
                                               "return_decision_process"};
  for (const auto& [key, value] : kwargs) {
    if (!kKnown.count(key)) throw std::invalid_argument("analyze() got an unexpected keyword argument '" + key + "'");
  }
  AnalyzeOptions options;
  options.entities = core::kwarg_strings(kwargs, "entities");
  options.score_threshold = core::kwarg_number(kwargs, "score_threshold");
  options.allow_list = core::kwarg_strings(kwargs, "allow_list");
  if (auto match = core::kwarg_string(kwargs, "allow_list_match")) options.allow_list_match = *match;
  if (auto flags = core::kwarg_int(kwargs, "regex_flags")) options.regex_flags = static_cast<int>(*flags);
  options.context = core::kwarg_strings(kwargs, "context");
  core::kwarg_string(kwargs, "correlation_id");
  core::kwarg_bool(kwargs, "return_decision_process");
  return options;
}

std::vector<recognition::RecognizerResult> BaseTextAnalyzer::execute(const core::Kwargs& kwargs) const {
  if (!core::is_valid_text(kwargs, "text")) {
    throw std::invalid_argument("The input kwargs for analyzer must include a non-empty `text` key of type `str`.");
  }
  if (!core::is_valid_text(kwargs, "language")) {
    throw std::invalid_argument(
        "The input kwargs for analyzer must include a non-empty `language` key of type `str`.");
  }
  AnalyzeOptions options = analyze_options_from_kwargs(kwargs);
  return analyze(Utf8Text(*core::kwarg_string(kwargs, "text")), *core::kwarg_string(kwargs, "language"), options);
}

}  // namespace tesk_privacy::pii_detector
