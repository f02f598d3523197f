// FamilyCardNumberRecognizer: Finds 16-digit family-card (Kartu Keluarga) numbers, reported only when a
// context word stands near them.
//
//   FamilyCardNumberRecognizer recognizer;          // for "id"
//   FamilyCardNumberRecognizer english("en");
#pragma once

#include <string>
#include <vector>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::pii_detector {

class FamilyCardNumberRecognizer : public recognition::PatternRecognizer {
 public:
  explicit FamilyCardNumberRecognizer(std::string supported_language = "id");

  static const std::vector<recognition::Pattern>& default_patterns();
  static const std::vector<std::string>& default_context();
};

}  // namespace tesk_privacy::pii_detector
