#include "pii_detector/recognizer/facebook_account_recognizer.h"

#include "tesk_privacy/pii_detector/constants.h"

namespace tesk_privacy::pii_detector {

const std::vector<recognition::Pattern>& FacebookAccountRecognizer::default_patterns() {
  static const std::vector<recognition::Pattern> facebook_account_patterns = {
      {"FACEBOOK_ACCOUNT", R"((?:https?://)?(?:www\.)?facebook\.com/([a-zA-Z0-9\.]+))", 0.8},
  };
  return facebook_account_patterns;
}

const std::vector<std::string>& FacebookAccountRecognizer::default_context() {
  static const std::vector<std::string> facebook_account_context = {
      "facebook", "fb",
  };
  return facebook_account_context;
}

FacebookAccountRecognizer::FacebookAccountRecognizer(std::string supported_language)
    : PatternRecognizer(Entities::FACEBOOK_ACCOUNT, default_patterns(), std::move(supported_language),
                        default_context(), {}, "FacebookAccountRecognizer") {}

}  // namespace tesk_privacy::pii_detector
