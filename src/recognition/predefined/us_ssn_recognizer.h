// UsSsnRecognizer: finds US social security numbers ("US_SSN"), delimited
// consistently (123-45-6789) or bare (low score). Numbers the SSA never
// issues (area 000, 666 or 9xx, group 00, serial 0000, advertised samples)
// are dropped.
//
//   UsSsnRecognizer recognizer;          // for "en"
//   UsSsnRecognizer indonesian("id");
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::recognition {

class UsSsnRecognizer : public PatternRecognizer {
 public:
  explicit UsSsnRecognizer(std::string supported_language = "en");

 protected:
  std::optional<bool> invalidate_result(std::string_view pattern_text) const override;
};

}  // namespace tesk_privacy::recognition
