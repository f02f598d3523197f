// UrlRecognizer: finds web addresses ("URL"): with a scheme, starting with
// www., or a bare domain under a common top-level domain (lower score).
// Trailing sentence punctuation stays outside the span.
//
//   UrlRecognizer recognizer;          // for "en"
//   UrlRecognizer indonesian("id");
#pragma once

#include <string>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::recognition {

class UrlRecognizer : public PatternRecognizer {
 public:
  explicit UrlRecognizer(std::string supported_language = "en");
};

}  // namespace tesk_privacy::recognition
