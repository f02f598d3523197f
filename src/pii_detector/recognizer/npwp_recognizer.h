// NPWPRecognizer: Finds the 15-digit tax number NPWP in its punctuated form NN.NNN.NNN.N-NNN.NNN;
// the check digit is not verified and the bare 15 digits are not matched.
//
//   NPWPRecognizer recognizer;          // for "id"
//   NPWPRecognizer english("en");
#pragma once

#include <string>
#include <vector>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::pii_detector {

class NPWPRecognizer : public recognition::PatternRecognizer {
 public:
  explicit NPWPRecognizer(std::string supported_language = "id");

  static const std::vector<recognition::Pattern>& default_patterns();
  static const std::vector<std::string>& default_context();
};

}  // namespace tesk_privacy::pii_detector
