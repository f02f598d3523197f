#include "pii_detector/recognizer/halvern_ner_api_remote_recognizer.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "tesk_privacy/core/logger.h"
#include "tesk_privacy/pii_detector/constants.h"

namespace tesk_privacy::pii_detector {
namespace {

const core::Logger& logger() {
  static const core::Logger& log = core::LoggerManager().get_logger(
      "tesk_privacy.pii_detector.recognizer.halvern_ner_api_remote_recognizer");
  return log;
}

std::vector<std::string> all_entities() {
  return {TESK_PRIVACY_ENTITIES.begin(), TESK_PRIVACY_ENTITIES.end()};
}

// Reads a member the conversion needs; a missing one is reported by name.
struct MissingMember {
  std::string key;
};

const nlohmann::json& member(const nlohmann::json& object, const char* key) {
  auto it = object.find(key);
  if (it == object.end()) throw MissingMember{key};
  return *it;
}

}  // namespace

HalvernNerApiRemoteRecognizer::HalvernNerApiRemoteRecognizer(
    std::string api_url, std::optional<std::vector<std::string>> supported_entities,
    std::optional<std::map<std::string, std::string>> headers, long timeout, std::string supported_language)
    : RemoteRecognizer(supported_entities && !supported_entities->empty() ? *supported_entities : all_entities(),
                       "HalvernNerApiRemoteRecognizer", std::move(supported_language), "0.1.0"),
      api_endpoint(std::move(api_url)),
      api_headers(headers.value_or(std::map<std::string, std::string>{})),
      api_timeout(timeout) {}

std::vector<recognition::RecognizerResult> HalvernNerApiRemoteRecognizer::analyze(
    const Utf8Text& text, const std::vector<std::string>& entities, const recognition::NlpArtifacts*,
    std::optional<int>) const {
  return analyze(text, entities);
}

std::vector<recognition::RecognizerResult> HalvernNerApiRemoteRecognizer::analyze(
    const Utf8Text& text, const std::optional<std::vector<std::string>>& entities) const {
  try {
    nlohmann::json body = {{"text", text.str()}};
    http::HttpResponse response = client_.post_json(api_endpoint, api_headers, body.dump(), api_timeout);
    return _convert_response_to_recognizer_result(entities, response.body);
  } catch (const http::HttpStatusError& e) {
    logger().error(std::string("HTTP error occurred while calling NER API: ") + e.what());
  } catch (const http::ConnectionError& e) {
    logger().error(std::string("Connection error occurred while calling NER API: ") + e.what());
  } catch (const http::TimeoutError& e) {
    logger().error(std::string("Timeout occurred while calling NER API: ") + e.what());
  } catch (const http::HttpError& e) {
    logger().error(std::string("Error calling NER API: ") + e.what());
  } catch (const std::exception& e) {
    logger().error(std::string("Error during text analysis: ") + e.what());
  }
  count_failed_request();
  return {};
}

std::vector<recognition::RecognizerResult> HalvernNerApiRemoteRecognizer::_convert_response_to_recognizer_result(
    const std::optional<std::vector<std::string>>& entities, std::string_view ner_results_json) const {
  const nlohmann::json answer = nlohmann::json::parse(ner_results_json);
  if (!answer.is_object()) {
    throw std::invalid_argument("the NER API answer is a JSON " + std::string(answer.type_name()) +
                                ", not an object");
  }
  std::vector<recognition::RecognizerResult> results;
  auto list = answer.find("entities");
  if (list == answer.end() || list->is_null()) return results;
  if (!list->is_array()) throw std::invalid_argument("the NER API answer's \"entities\" is not a list");
  const bool filter = entities && !entities->empty();
  for (const nlohmann::json& entity : *list) {
    try {
      if (!entity.is_object()) throw std::invalid_argument("an entity is not a JSON object");
      const std::string name = member(entity, "entity_type").get<std::string>();
      if (filter && std::find(entities->begin(), entities->end(), name) == entities->end()) continue;
      const int64_t start = member(entity, "start").get<int64_t>();
      const int64_t end = member(entity, "end").get<int64_t>();
      const double score = member(entity, "score").get<double>();
      if (!(score >= 0.0 && score <= 1.0)) throw std::invalid_argument("a score outside 0..1");
      std::string explanation = DEFAULT_EXPLANATION;
      explanation.replace(explanation.find("{}"), 2, name);
      results.emplace_back(name, start, end, score, _build_analysis_explanation(score, explanation),
                           recognition::RecognizerResult::Metadata{{"name", name}});
    } catch (const MissingMember& missing) {
      logger().error("Error processing entity: '" + missing.key + "'");
    } catch (const std::exception& e) {
      // A member of the wrong type spoils only its own entity, as a missing one does.
      logger().error(std::string("Error processing entity: ") + e.what());
    }
  }
  return results;
}

recognition::AnalysisExplanation HalvernNerApiRemoteRecognizer::_build_analysis_explanation(
    double score, const std::string& explanation) const {
  return recognition::AnalysisExplanation("HalvernNerApiRemoteRecognizer", score, explanation);
}

}  // namespace tesk_privacy::pii_detector
