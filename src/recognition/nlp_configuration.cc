#include "tesk_privacy/recognition/nlp_configuration.h"

#include <nlohmann/json.hpp>

#include <stdexcept>

namespace tesk_privacy::recognition {
namespace {

[[noreturn]] void fail(const std::string& what) {
  throw std::invalid_argument("Illegal nlp configuration: " + what +
                              ". It must hold \"nlp_engine_name\" and \"models\", a list of "
                              "{\"lang_code\", \"model_name\"} entries.");
}

std::string string_field(const nlohmann::json& object, const char* key, const std::string& where) {
  const auto it = object.find(key);
  if (it == object.end()) fail(where + " has no \"" + key + "\"");
  if (!it->is_string()) fail(where + "'s \"" + key + "\" is not a string");
  return it->get<std::string>();
}

}  // namespace

NlpConfiguration NlpConfiguration::from_json(std::string_view json) {
  nlohmann::json doc = nlohmann::json::parse(json, nullptr, /*allow_exceptions=*/false);
  if (doc.is_discarded()) fail("not valid JSON");
  if (!doc.is_object()) fail("not a JSON object");
  NlpConfiguration config;
  config.nlp_engine_name = string_field(doc, "nlp_engine_name", "the configuration");
  const auto models = doc.find("models");
  if (models == doc.end()) fail("the configuration has no \"models\"");
  if (!models->is_array()) fail("\"models\" is not a list");
  config.models.clear();
  for (size_t i = 0; i < models->size(); ++i) {
    const nlohmann::json& entry = (*models)[i];
    const std::string where = "models[" + std::to_string(i) + "]";
    if (!entry.is_object()) fail(where + " is not an object");
    config.models.push_back({string_field(entry, "lang_code", where), string_field(entry, "model_name", where)});
  }
  return config;
}

}  // namespace tesk_privacy::recognition
