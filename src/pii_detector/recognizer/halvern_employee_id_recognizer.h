// HalvernEmployeeIdRecognizer: Finds Halvern employee identifiers: 8 digits, the first of them 0.
//
//   HalvernEmployeeIdRecognizer recognizer;          // for "id"
//   HalvernEmployeeIdRecognizer english("en");
#pragma once

#include <string>
#include <vector>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::pii_detector {

class HalvernEmployeeIdRecognizer : public recognition::PatternRecognizer {
 public:
  explicit HalvernEmployeeIdRecognizer(std::string supported_language = "id");

  static const std::vector<recognition::Pattern>& default_patterns();
  static const std::vector<std::string>& default_context();
};

}  // namespace tesk_privacy::pii_detector
