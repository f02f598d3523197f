// KTPRecognizer: Finds the 16-digit citizen identity number (NIK) printed on the KTP: 6 digits of
// region code, day of birth (01-31, plus 40 for women), month (01-12), year and
// a 4-digit sequence number.
//
//   KTPRecognizer recognizer;          // for "id"
//   KTPRecognizer english("en");
#pragma once

#include <string>
#include <vector>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::pii_detector {

class KTPRecognizer : public recognition::PatternRecognizer {
 public:
  explicit KTPRecognizer(std::string supported_language = "id");

  static const std::vector<recognition::Pattern>& default_patterns();
  static const std::vector<std::string>& default_context();
};

}  // namespace tesk_privacy::pii_detector
