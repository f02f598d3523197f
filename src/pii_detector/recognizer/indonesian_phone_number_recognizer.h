// IndonesianPhoneNumberRecognizer: finds Indonesian phone numbers: the prefix
// +62, 62 or 0, a mobile-operator or area code, then the subscriber digits,
// either unseparated or in groups joined by hyphens or single blanks. The
// number must not follow a word character.
//
//   IndonesianPhoneNumberRecognizer recognizer;          // for "id"
//   IndonesianPhoneNumberRecognizer english("en");
#pragma once

#include <string>
#include <vector>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::pii_detector {

class IndonesianPhoneNumberRecognizer : public recognition::PatternRecognizer {
 public:
  explicit IndonesianPhoneNumberRecognizer(std::string supported_language = "id");

  static const std::vector<recognition::Pattern>& default_patterns();
  static const std::vector<std::string>& default_context();
};

}  // namespace tesk_privacy::pii_detector
