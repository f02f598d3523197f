// BaseTextAnonymizer: the component shape of an anonymizer, with typed
// anonymize() / deanonymize() and the keyword entry point execute(), which
// checks `text` and dispatches on `operation`.
//
//   Kwargs kwargs{{"text", std::string("Budi tinggal di Bandung")}};
//   std::string safe = anonymizer.execute(kwargs);                 // anonymize
//   kwargs = {{"text", safe}, {"operation", std::string(Operation::DEANONYMIZE)}};
//   std::string back = anonymizer.execute(kwargs);
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tesk_privacy/anonymization/conflict_resolution_strategy.h"
#include "tesk_privacy/core/component.h"

namespace tesk_privacy::pii_detector {

// The anonymizer's operations, by value string.
namespace Operation {
inline constexpr const char* ANONYMIZE = "anonymize";
inline constexpr const char* DEANONYMIZE = "deanonymize";
}  // namespace Operation

class BaseTextAnonymizer : public core::Component {
 public:
  virtual std::string anonymize(
      const std::string& text, const std::optional<std::vector<std::string>>& entities = std::nullopt,
      const std::string& language = "id",
      std::optional<anonymization::ConflictResolutionStrategy> conflict_resolution = std::nullopt,
      double analyzer_score_threshold = 0.46) = 0;
  virtual std::string deanonymize(const std::string& text) = 0;

  // Raises std::invalid_argument "The input kwargs for anonymizer must
  // include a non-empty `text` key of type `str`." when `text` is missing or
  // blank. With `operation` "anonymize" (the default) calls anonymize() with
  // text, entities (absent), language ("id"), conflict_resolution (absent;
  // given by name, e.g. "REMOVE_INTERSECTIONS") and analyzer_score_threshold
  // (0.46); with any other operation calls deanonymize(text). Other keywords
  // are ignored.
  std::string execute(const core::Kwargs& kwargs);
};

}  // namespace tesk_privacy::pii_detector
