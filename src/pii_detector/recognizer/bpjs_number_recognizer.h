// BPJSNumberRecognizer: Finds 13-digit social-security (BPJS) numbers. A bare 13-digit run is too
// common to report on its own: its score passes the analysis threshold only
// when a context word stands near it.
//
//   BPJSNumberRecognizer recognizer;          // for "id"
//   BPJSNumberRecognizer english("en");
#pragma once

#include <string>
#include <vector>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::pii_detector {

class BPJSNumberRecognizer : public recognition::PatternRecognizer {
 public:
  explicit BPJSNumberRecognizer(std::string supported_language = "id");

  static const std::vector<recognition::Pattern>& default_patterns();
  static const std::vector<std::string>& default_context();
};

}  // namespace tesk_privacy::pii_detector
