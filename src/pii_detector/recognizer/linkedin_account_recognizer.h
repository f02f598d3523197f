// LinkedinAccountRecognizer: finds LinkedIn profile addresses: an optional
// http(s):// scheme and www. prefix, linkedin.com, the path segment in/ or en/
// and the profile name (ASCII letters, digits and hyphens). Company pages are
// not matched.
//
//   LinkedinAccountRecognizer recognizer;          // for "id"
//   LinkedinAccountRecognizer english("en");
#pragma once

#include <string>
#include <vector>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::pii_detector {

class LinkedinAccountRecognizer : public recognition::PatternRecognizer {
 public:
  explicit LinkedinAccountRecognizer(std::string supported_language = "id");

  static const std::vector<recognition::Pattern>& default_patterns();
  static const std::vector<std::string>& default_context();
};

}  // namespace tesk_privacy::pii_detector
