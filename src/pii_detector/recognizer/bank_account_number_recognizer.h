// BankAccountNumberRecognizer: finds bank account numbers: runs of exactly 15,
// 10, 13, 16 or 12 digits. Such runs are common, so a match passes the analysis
// threshold only when a context word such as "rekening" stands near it.
//
//   BankAccountNumberRecognizer recognizer;          // for "id"
//   BankAccountNumberRecognizer english("en");
#pragma once

#include <string>
#include <vector>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::pii_detector {

class BankAccountNumberRecognizer : public recognition::PatternRecognizer {
 public:
  explicit BankAccountNumberRecognizer(std::string supported_language = "id");

  static const std::vector<recognition::Pattern>& default_patterns();
  static const std::vector<std::string>& default_context();
};

}  // namespace tesk_privacy::pii_detector
