// EmailRecognizer: finds e-mail addresses ("EMAIL_ADDRESS"). The pattern finds
// local@domain shapes; the domain part is then checked, and an address whose
// domain is well formed is confirmed (score 1.0) while any other is dropped.
//
//   EmailRecognizer recognizer;          // for "en"
//   EmailRecognizer indonesian("id");
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::recognition {

class EmailRecognizer : public PatternRecognizer {
 public:
  explicit EmailRecognizer(std::string supported_language = "en");

 protected:
  std::optional<bool> validate_result(std::string_view pattern_text) const override;
};

}  // namespace tesk_privacy::recognition
