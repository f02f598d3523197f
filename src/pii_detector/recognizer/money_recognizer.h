// MoneyRecognizer: finds money amounts: with a currency sign or code (Rp, $,
// USD, ...) on their own, and bare numbers (grouped by dots or commas, or two
// digits or more) only when a money word such as "gaji" or "invoice" stands
// near them. An amount of only zeros at the end of a line is not reported.
//
//   MoneyRecognizer recognizer;          // for "id"
//   MoneyRecognizer english("en");
#pragma once

#include <string>
#include <vector>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::pii_detector {

class MoneyRecognizer : public recognition::PatternRecognizer {
 public:
  explicit MoneyRecognizer(std::string supported_language = "id");

  static const std::vector<recognition::Pattern>& default_patterns();
  static const std::vector<std::string>& default_context();
};

}  // namespace tesk_privacy::pii_detector
