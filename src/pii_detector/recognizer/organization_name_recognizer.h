// OrganizationNameRecognizer: finds Indonesian company names introduced by the
// legal form PT (Perseroan Terbatas) or CV: "PT" or "CV", a blank, and one or
// more words that are title-case or all capitals. The pattern switches case-
// insensitivity off for itself, so "pt maju jaya" is not matched even when the
// analysis passes IGNORECASE.
//
//   OrganizationNameRecognizer recognizer;          // for "id"
//   OrganizationNameRecognizer english("en");
#pragma once

#include <string>
#include <vector>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::pii_detector {

class OrganizationNameRecognizer : public recognition::PatternRecognizer {
 public:
  explicit OrganizationNameRecognizer(std::string supported_language = "id");

  static const std::vector<recognition::Pattern>& default_patterns();
  static const std::vector<std::string>& default_context();
};

}  // namespace tesk_privacy::pii_detector
