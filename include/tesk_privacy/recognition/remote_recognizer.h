// RemoteRecognizer: base of recognizers that send the text to a service and
// convert its answer. Adds nothing to EntityRecognizer but the marker that
// the work happens elsewhere.
#pragma once

#include "tesk_privacy/recognition/entity_recognizer.h"

namespace tesk_privacy::recognition {

class RemoteRecognizer : public EntityRecognizer {
 public:
  RemoteRecognizer(std::vector<std::string> supported_entities, std::string name,
                   std::string supported_language, std::string version,
                   std::vector<std::string> context = {})
      : EntityRecognizer(std::move(supported_entities), std::move(name),
                         std::move(supported_language), std::move(version), std::move(context)) {}
};

}  // namespace tesk_privacy::recognition
