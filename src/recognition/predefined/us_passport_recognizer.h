// UsPassportRecognizer: finds US passport numbers ("US_PASSPORT"): nine digits,
// or a letter and eight digits (next-generation books). Both are common
// shapes, scored to need a context word.
//
//   UsPassportRecognizer recognizer;          // for "en"
//   UsPassportRecognizer indonesian("id");
#pragma once

#include <string>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::recognition {

class UsPassportRecognizer : public PatternRecognizer {
 public:
  explicit UsPassportRecognizer(std::string supported_language = "en");
};

}  // namespace tesk_privacy::recognition
