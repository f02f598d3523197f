#include "pii_detector/recognizer/npwp_recognizer.h"

#include "tesk_privacy/pii_detector/constants.h"

namespace tesk_privacy::pii_detector {

const std::vector<recognition::Pattern>& NPWPRecognizer::default_patterns() {
  static const std::vector<recognition::Pattern> NPWP_PATTERNS = {
      {"NPWP (medium)", R"((\b[\d]{2}[.][\d]{3}[.][\d]{3}[.][\d][-][\d]{3}[.][\d]{3}\b))", 0.5},
  };
  return NPWP_PATTERNS;
}

const std::vector<std::string>& NPWPRecognizer::default_context() {
  static const std::vector<std::string> NPWP_CONTEXT = {"npwp", "pajak", "nomor pokok wajib pajak"};
  return NPWP_CONTEXT;
}

NPWPRecognizer::NPWPRecognizer(std::string supported_language)
    : PatternRecognizer(Entities::NPWP, default_patterns(), std::move(supported_language),
                        default_context(), {}, "NPWPRecognizer") {}

}  // namespace tesk_privacy::pii_detector
