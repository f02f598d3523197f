// UsBankRecognizer: finds US bank account numbers ("US_BANK_NUMBER"): runs of
// 8 to 17 digits, scored so low that only a context word nearby makes them
// count.
//
//   UsBankRecognizer recognizer;          // for "en"
//   UsBankRecognizer indonesian("id");
#pragma once

#include <string>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::recognition {

class UsBankRecognizer : public PatternRecognizer {
 public:
  explicit UsBankRecognizer(std::string supported_language = "en");
};

}  // namespace tesk_privacy::recognition
