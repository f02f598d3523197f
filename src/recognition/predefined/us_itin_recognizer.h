// UsItinRecognizer: finds US individual taxpayer identification numbers
// ("US_ITIN"): nine digits starting with 9 whose fourth and fifth digits lie
// in the issued ranges (50-65, 70-88, 90-92, 94-99), with consistent
// separators or none.
//
//   UsItinRecognizer recognizer;          // for "en"
//   UsItinRecognizer indonesian("id");
#pragma once

#include <string>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::recognition {

class UsItinRecognizer : public PatternRecognizer {
 public:
  explicit UsItinRecognizer(std::string supported_language = "en");
};

}  // namespace tesk_privacy::recognition
