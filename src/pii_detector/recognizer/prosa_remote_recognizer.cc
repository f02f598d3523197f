#include "pii_detector/recognizer/prosa_remote_recognizer.h"

#include <algorithm>
#include <nlohmann/json.hpp>

#include "tesk_privacy/core/logger.h"
#include "tesk_privacy/pii_detector/constants.h"

namespace tesk_privacy::pii_detector {
namespace {

using C = ProsaNERConstant;

const core::Logger& logger() {
  static const core::Logger& log =
      core::LoggerManager().get_logger("tesk_privacy.pii_detector.recognizer.prosa_remote_recognizer");
  return log;
}

std::vector<std::string> default_entities() {
  return {DEFAULT_PROSA_SUPPORTED_PII_ENTITIES.begin(), DEFAULT_PROSA_SUPPORTED_PII_ENTITIES.end()};
}

}  // namespace

ProsaRemoteRecognizer::ProsaRemoteRecognizer(std::string url, std::string key,
                                             std::optional<std::vector<std::string>> entities)
    : RemoteRecognizer(entities.value_or(default_entities()), "ProsaRemoteRecognizer", C::ID_LANGUAGE,
                       C::VERSION_CUSTOM_NER),
      prosa_api_url(std::move(url)),
      prosa_api_key(std::move(key)),
      supported_entities_list(entities.value_or(default_entities())),
      headers{{C::HEADER_CONTENT_TYPE_KEY, C::HEADER_CONTENT_TYPE_VAL},
              {C::HEADER_USER_AGENT, C::HEADER_USER_AGENT_VAL},
              {C::HEADER_X_API_KEY_KEY, prosa_api_key}} {}

ProsaRemoteRecognizer::Results ProsaRemoteRecognizer::analyze(const Utf8Text& text,
                                                              const std::vector<std::string>& entities,
                                                              const recognition::NlpArtifacts*,
                                                              std::optional<int>) const {
  return entities.empty() ? analyze(text) : analyze(text, std::optional(entities));
}

ProsaRemoteRecognizer::Results ProsaRemoteRecognizer::analyze(
    const Utf8Text& text, const std::optional<std::vector<std::string>>& entities) const {
  nlohmann::json body = {{C::PAYLOAD_VERSION_KEY, C::PAYLOAD_VERSION_VAL}, {C::PAYLOAD_TEXT_KEY, text.str()}};
  http::HttpResponse response;
  try {
    response = client_.post_json(prosa_api_url, headers, body.dump(), C::RESPONSE_TIMEOUT);
  } catch (const http::HttpStatusError& e) {
    logger().error("Prosa API returned " + std::to_string(e.status()));
    count_failed_request();
    return {};
  } catch (const http::ConnectionError&) {
    logger().error("Failed to connect to Prosa API at " + http::redact_user_info(prosa_api_url));
    count_failed_request();
    return {};
  } catch (const http::TimeoutError&) {
    logger().error("Request to Prosa API at " + http::redact_user_info(prosa_api_url) + " timed out");
    count_failed_request();
    return {};
  } catch (const http::HttpError& e) {
    logger().error("Failed to connect to Prosa API at " + http::redact_user_info(prosa_api_url) +
                   " due to unexpected error: " + e.what());
    count_failed_request();
    return {};
  }
  // An answer of the wrong shape is the service's fault, like a failed
  // request: it must not take the other recognizers' results down with it.
  try {
    return _post_process(_convert_response_to_recognizer_result(response.body), entities);
  } catch (const std::exception& e) {
    logger().error("Prosa API at " + http::redact_user_info(prosa_api_url) +
                   " returned an answer that could not be read: " + e.what());
    count_failed_request();
    return {};
  }
}

ProsaRemoteRecognizer::Results ProsaRemoteRecognizer::_convert_response_to_recognizer_result(
    std::string_view detection_result_json) {
  const nlohmann::json answer = nlohmann::json::parse(detection_result_json);
  if (!answer.is_object()) {
    throw std::invalid_argument("answer is a JSON " + std::string(answer.type_name()) + ", not an object");
  }
  Results results;
  for (const auto& [member, list] : answer.items()) {
    if (!list.is_array()) throw std::invalid_argument("member \"" + member + "\" is not a list");
    for (const nlohmann::json& entity : list) {
      const nlohmann::json& begin = entity.at(C::START_IDX_KEY);
      const nlohmann::json& length = entity.at(C::LENGTH_KEY);
      if (begin.is_null() || length.is_null()) continue;
      std::optional<std::string> name = prosa_entity_for(entity.at(C::ENTITY_KEY).get<std::string>());
      if (!name) continue;
      const int64_t start = begin.get<int64_t>();
      results.emplace_back(*name, start, start + length.get<int64_t>(), C::DEFAULT_SCORE, std::nullopt,
                           recognition::RecognizerResult::Metadata{{C::NAME_KEY, *name}});
    }
  }
  return results;
}

ProsaRemoteRecognizer::Results ProsaRemoteRecognizer::_post_process(
    Results recognizer_results, const std::optional<std::vector<std::string>>& entities) const {
  return _filter_supported_entities(std::move(recognizer_results), entities);
}

ProsaRemoteRecognizer::Results ProsaRemoteRecognizer::_filter_supported_entities(
    Results recognizer_results, const std::optional<std::vector<std::string>>& entities) const {
  const std::vector<std::string>& allowed = entities ? *entities : supported_entities_list;
  std::erase_if(recognizer_results, [&](const recognition::RecognizerResult& r) {
    return std::find(allowed.begin(), allowed.end(), r.entity_type) == allowed.end();
  });
  return recognizer_results;
}

}  // namespace tesk_privacy::pii_detector
