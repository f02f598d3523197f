#include "tesk_privacy/recognition/entity_recognizer.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

namespace tesk_privacy::recognition {

EntityRecognizer::EntityRecognizer(std::vector<std::string> supported_entities, std::string name,
                                   std::string supported_language, std::string version,
                                   std::vector<std::string> context)
    : supported_entities_(std::move(supported_entities)),
      supported_language_(std::move(supported_language)),
      name_(std::move(name)),
      version_(std::move(version)),
      context_(std::move(context)) {
  if (supported_entities_.empty()) {
    throw std::invalid_argument("a recognizer must support at least one entity type");
  }
  if (name_.empty()) name_ = "EntityRecognizer";
  char address[32];
  std::snprintf(address, sizeof(address), "_%llx",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(this)));
  id_ = name_ + address;
  metadata_ = {{RecognizerResult::RECOGNIZER_NAME_KEY, name_}, {RecognizerResult::RECOGNIZER_IDENTIFIER_KEY, id_}};
}

bool EntityRecognizer::supports_entity(const std::string& entity) const {
  return std::find(supported_entities_.begin(), supported_entities_.end(), entity) !=
         supported_entities_.end();
}

}  // namespace tesk_privacy::recognition
