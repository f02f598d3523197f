// ProsaRemoteRecognizer: finds named entities in Indonesian text through the
// Prosa NER web API, mapping the provider's entity codes (PER, ORG, LOC, ...)
// to this library's entity types.
//
// The whole text goes in one request, authenticated by the API key in the
// "x-api-key" header (the key never appears in a log line). Transport
// failures and unreadable answers are logged at error level and yield no
// results, so the other recognizers' work goes on.
//
//   auto prosa = std::make_shared<ProsaRemoteRecognizer>(url, std::getenv("PROSA_API_KEY"));
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

class ProsaRemoteRecognizer : public recognition::RemoteRecognizer {
 public:
  using Results = std::vector<recognition::RecognizerResult>;

  // An absent `supported_entities_list` means DEFAULT_PROSA_SUPPORTED_PII_ENTITIES.
  ProsaRemoteRecognizer(std::string prosa_api_url, std::string prosa_api_key,
                        std::optional<std::vector<std::string>> supported_entities_list = std::nullopt);

  // From the analyzer engine, whose empty `entities` means "all requested":
  // the recognizer's own list then applies.
  Results analyze(const Utf8Text& text, const std::vector<std::string>& entities,
                  const recognition::NlpArtifacts* nlp_artifacts,
                  std::optional<int> regex_flags = std::nullopt) const override;
  // Absent `entities` keeps the recognizer's own list; a given list (even an
  // empty one) replaces it.
  Results analyze(const Utf8Text& text,
                  const std::optional<std::vector<std::string>>& entities = std::nullopt) const;

  std::vector<std::string> get_supported_entities() const { return supported_entities_list; }

  // Converts a decoded answer (JSON text): an object whose members are lists
  // of entity objects. Throws for answers of another shape.
  static Results _convert_response_to_recognizer_result(std::string_view detection_result_json);
  Results _post_process(Results recognizer_results, const std::optional<std::vector<std::string>>& entities) const;
  Results _filter_supported_entities(Results recognizer_results,
                                     const std::optional<std::vector<std::string>>& entities = std::nullopt) const;

  const std::string prosa_api_url;
  const std::string prosa_api_key;
  const std::vector<std::string> supported_entities_list;
  const std::map<std::string, std::string> headers;

 private:
  http::HttpClient client_;
};

}  // namespace tesk_privacy::pii_detector
