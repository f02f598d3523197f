#include "pii_detector/recognizer/bpjs_number_recognizer.h"

#include "tesk_privacy/pii_detector/constants.h"

namespace tesk_privacy::pii_detector {

const std::vector<recognition::Pattern>& BPJSNumberRecognizer::default_patterns() {
  static const std::vector<recognition::Pattern> bpjs_number_patterns = {
      {"BPJS_NUMBER", R"(\b\d{13}\b)", 0.01},
  };
  return bpjs_number_patterns;
}

const std::vector<std::string>& BPJSNumberRecognizer::default_context() {
  static const std::vector<std::string> bpjs_number_context = {"bpjs", "social security", "jaminan sosial", "bpjs kesehatan"};
  return bpjs_number_context;
}

BPJSNumberRecognizer::BPJSNumberRecognizer(std::string supported_language)
    : PatternRecognizer(Entities::ID_BPJS_NUMBER, default_patterns(), std::move(supported_language),
                        default_context(), {}, "BPJSNumberRecognizer") {}

}  // namespace tesk_privacy::pii_detector
