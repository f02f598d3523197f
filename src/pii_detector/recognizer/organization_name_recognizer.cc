#include "pii_detector/recognizer/organization_name_recognizer.h"

#include "tesk_privacy/pii_detector/constants.h"

namespace tesk_privacy::pii_detector {

const std::vector<recognition::Pattern>& OrganizationNameRecognizer::default_patterns() {
  static const std::vector<recognition::Pattern> ORGANIZATION_NAME_PATTERNS = {
      {"ORGANIZATION (medium)", R"((?-i:\b(?:PT|CV)\s(?:[A-Z][a-z]+|[A-Z]{2,})(?:\s(?:[A-Z][a-z]+|[A-Z]{2,}))*))", 0.5},
  };
  return ORGANIZATION_NAME_PATTERNS;
}

const std::vector<std::string>& OrganizationNameRecognizer::default_context() {
  static const std::vector<std::string> ORGANIZATION_NAME_CONTEXT = {
      "organization", "company", "perusahaan", "PT", "CV", "organisasi",
  };
  return ORGANIZATION_NAME_CONTEXT;
}

OrganizationNameRecognizer::OrganizationNameRecognizer(std::string supported_language)
    : PatternRecognizer(Entities::ORGANIZATION_NAME, default_patterns(), std::move(supported_language),
                        default_context(), {}, "OrganizationNameRecognizer") {}

}  // namespace tesk_privacy::pii_detector
