// IbanRecognizer: finds international bank account numbers ("IBAN_CODE"),
// compact or in groups of four. The pattern ties each country code to its
// registered length; the mod-97 check digits then confirm a code (score 1.0)
// or drop it.
//
//   IbanRecognizer recognizer;          // for "en"
//   IbanRecognizer indonesian("id");
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::recognition {

class IbanRecognizer : public PatternRecognizer {
 public:
  explicit IbanRecognizer(std::string supported_language = "en");

 protected:
  std::optional<bool> validate_result(std::string_view pattern_text) const override;
};

}  // namespace tesk_privacy::recognition
