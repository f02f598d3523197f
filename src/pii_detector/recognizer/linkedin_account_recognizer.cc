#include "pii_detector/recognizer/linkedin_account_recognizer.h"

#include "tesk_privacy/pii_detector/constants.h"

namespace tesk_privacy::pii_detector {

const std::vector<recognition::Pattern>& LinkedinAccountRecognizer::default_patterns() {
  static const std::vector<recognition::Pattern> linkedin_account_patterns = {
      {"LINKEDIN_ACCOUNT", R"((?:https?://)?(?:www\.)?linkedin\.com/(?:in|en)/([a-zA-Z0-9-]+))", 0.8},
  };
  return linkedin_account_patterns;
}

const std::vector<std::string>& LinkedinAccountRecognizer::default_context() {
  static const std::vector<std::string> linkedin_account_context = {
      "linkedin",
  };
  return linkedin_account_context;
}

LinkedinAccountRecognizer::LinkedinAccountRecognizer(std::string supported_language)
    : PatternRecognizer(Entities::LINKEDIN_ACCOUNT, default_patterns(), std::move(supported_language),
                        default_context(), {}, "LinkedinAccountRecognizer") {}

}  // namespace tesk_privacy::pii_detector
