// MedicalLicenseRecognizer: finds DEA registration numbers ("MEDICAL_LICENSE"):
// a registrant-type letter, a letter or 9, and seven digits whose last one is
// a check digit. The check digit confirms a candidate (score 1.0) or drops it.
//
//   MedicalLicenseRecognizer recognizer;          // for "en"
//   MedicalLicenseRecognizer indonesian("id");
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::recognition {

class MedicalLicenseRecognizer : public PatternRecognizer {
 public:
  explicit MedicalLicenseRecognizer(std::string supported_language = "en");

 protected:
  std::optional<bool> validate_result(std::string_view pattern_text) const override;
};

}  // namespace tesk_privacy::recognition
