#include "tesk_privacy/pii_detector/anonymizer.h"

#include <stdexcept>

namespace tesk_privacy::pii_detector {

std::string BaseTextAnonymizer::execute(const core::Kwargs& kwargs) {
  if (!core::is_valid_text(kwargs, "text")) {
    throw std::invalid_argument("The input kwargs for anonymizer must include a non-empty `text` key of type `str`.");
  }
  const std::string text = *core::kwarg_string(kwargs, "text");
  // Anything but the anonymize operation, whatever its type, means deanonymize.
  auto operation = kwargs.find("operation");
  if (operation != kwargs.end()) {
    const std::string* name = std::get_if<std::string>(&operation->second);
    if (name == nullptr || *name != Operation::ANONYMIZE) return deanonymize(text);
  }

  std::optional<anonymization::ConflictResolutionStrategy> strategy;
  if (auto name = core::kwarg_string(kwargs, "conflict_resolution")) {
    strategy = anonymization::parse_conflict_resolution_strategy(*name);
  }
  return anonymize(text, core::kwarg_strings(kwargs, "entities"),
                   core::kwarg_string(kwargs, "language").value_or("id"), strategy,
                   core::kwarg_number(kwargs, "analyzer_score_threshold").value_or(0.46));
}

}  // namespace tesk_privacy::pii_detector
