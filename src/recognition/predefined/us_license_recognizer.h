// UsLicenseRecognizer: finds US driver's license numbers ("US_DRIVER_LICENSE").
// The states' formats share no structure, so letter-and-digit codes score
// low and bare digit runs lower still; context words carry the weight.
//
//   UsLicenseRecognizer recognizer;          // for "en"
//   UsLicenseRecognizer indonesian("id");
#pragma once

#include <string>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::recognition {

class UsLicenseRecognizer : public PatternRecognizer {
 public:
  explicit UsLicenseRecognizer(std::string supported_language = "en");
};

}  // namespace tesk_privacy::recognition
