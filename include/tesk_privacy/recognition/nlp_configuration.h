// NlpConfiguration: which NLP engine to build and which pipeline (model) to
// use for each language — the configuration map
//   {"nlp_engine_name": "spacy",
//    "models": [{"lang_code": "en", "model_name": "en_core_web_sm"},
//               {"lang_code": "id", "model_name": "en_core_web_sm"}]}
// as a struct. A default-constructed configuration is exactly that map.
//
//   NlpConfiguration config = NlpConfiguration::from_json(R"({"nlp_engine_name": "spacy",
//       "models": [{"lang_code": "id", "model_name": "en_core_web_sm"}]})");
//   auto engine = NlpEngineProvider(config).create_engine();
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tesk_privacy::recognition {

struct NlpModelConfiguration {
  std::string lang_code;
  std::string model_name;

  bool operator==(const NlpModelConfiguration&) const = default;
};

struct NlpConfiguration {
  std::string nlp_engine_name = "spacy";
  std::vector<NlpModelConfiguration> models = {{"en", "en_core_web_sm"}, {"id", "en_core_web_sm"}};

  // Reads the JSON form of the map. "nlp_engine_name" (a string) and
  // "models" (a list of objects, each with the strings "lang_code" and
  // "model_name") are required; other keys are ignored. Throws
  // std::invalid_argument for malformed JSON, a missing key or a value of
  // the wrong type.
  static NlpConfiguration from_json(std::string_view json);

  bool operator==(const NlpConfiguration&) const = default;
};

}  // namespace tesk_privacy::recognition
