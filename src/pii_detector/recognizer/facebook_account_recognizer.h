// FacebookAccountRecognizer: finds Facebook profile addresses: an optional
// http(s):// scheme and www. prefix, facebook.com, a slash and the profile name
// (ASCII letters, digits and dots, so a full stop right after the name belongs
// to the span).
//
//   FacebookAccountRecognizer recognizer;          // for "id"
//   FacebookAccountRecognizer english("en");
#pragma once

#include <string>
#include <vector>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::pii_detector {

class FacebookAccountRecognizer : public recognition::PatternRecognizer {
 public:
  explicit FacebookAccountRecognizer(std::string supported_language = "id");

  static const std::vector<recognition::Pattern>& default_patterns();
  static const std::vector<std::string>& default_context();
};

}  // namespace tesk_privacy::pii_detector
