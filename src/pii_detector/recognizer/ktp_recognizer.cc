#include "pii_detector/recognizer/ktp_recognizer.h"

#include "tesk_privacy/pii_detector/constants.h"

namespace tesk_privacy::pii_detector {

const std::vector<recognition::Pattern>& KTPRecognizer::default_patterns() {
  static const std::vector<recognition::Pattern> KTP_REGEX_PATTERNS = {
      {"KTP (medium)", R"((\b\d{6}([04][1-9]|[1256][0-9]|[37][01])(0[1-9]|1[0-2])\d{2}\d{4})(?![a-zA-Z0-9]))", 0.5},
  };
  return KTP_REGEX_PATTERNS;
}

const std::vector<std::string>& KTPRecognizer::default_context() {
  static const std::vector<std::string> KTP_CONTEXT = {"ktp", "kartu tanda penduduk", "nik", "nomor induk kependudukan", "KTP"};
  return KTP_CONTEXT;
}

KTPRecognizer::KTPRecognizer(std::string supported_language)
    : PatternRecognizer(Entities::KTP, default_patterns(), std::move(supported_language),
                        default_context(), {}, "KTPRecognizer") {}

}  // namespace tesk_privacy::pii_detector
