// HalvernNerApiRemoteRecognizer: delegates named-entity recognition to a
// remote NER service that already speaks this library's entity vocabulary.
//
// It POSTs {"text": ...} to the service and turns the answer's
// {"entities": [{"entity_type", "start", "end", "score"}, ...]} into results.
// Nothing escapes analyze(): every failure is logged at error level and
// yields no results, so the other recognizers' work goes on.
//
//   auto ner = std::make_shared<HalvernNerApiRemoteRecognizer>(
//       "http://ner.internal:8000/analyze", std::nullopt,
//       std::map<std::string, std::string>{{"Authorization", "Bearer ..."}}, 10, "id");
//
// Immutable after construction; analyze() may run on several threads.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "http/http_client.h"
#include "tesk_privacy/recognition/remote_recognizer.h"

namespace tesk_privacy::pii_detector {

class HalvernNerApiRemoteRecognizer : public recognition::RemoteRecognizer {
 public:
  static constexpr const char* DEFAULT_EXPLANATION =
      "Identified as {} by HalvernNerApiRemoteRecognizer's Named Entity Recognition";

  // An absent or empty `supported_entities` means every entity type of the
  // library (TESK_PRIVACY_ENTITIES).
  explicit HalvernNerApiRemoteRecognizer(
      std::string api_url, std::optional<std::vector<std::string>> supported_entities = std::nullopt,
      std::optional<std::map<std::string, std::string>> api_headers = std::nullopt, long api_timeout = 60,
      std::string supported_language = "en");

  std::vector<recognition::RecognizerResult> analyze(
      const Utf8Text& text, const std::vector<std::string>& entities,
      const recognition::NlpArtifacts* nlp_artifacts,
      std::optional<int> regex_flags = std::nullopt) const override;
  // As above; absent or empty `entities` keeps every entity of the answer.
  std::vector<recognition::RecognizerResult> analyze(
      const Utf8Text& text, const std::optional<std::vector<std::string>>& entities = std::nullopt) const;

  // Converts a decoded answer (JSON text). Entity objects that lack a member
  // are logged and skipped; an answer that is not a JSON object throws.
  std::vector<recognition::RecognizerResult> _convert_response_to_recognizer_result(
      const std::optional<std::vector<std::string>>& entities, std::string_view ner_results_json) const;
  recognition::AnalysisExplanation _build_analysis_explanation(double score,
                                                               const std::string& explanation) const;

  const std::string api_endpoint;
  const std::map<std::string, std::string> api_headers;
  const long api_timeout;

 private:
  http::HttpClient client_;
};

}  // namespace tesk_privacy::pii_detector
