#include "pii_detector/recognizer/indonesian_phone_number_recognizer.h"

#include "tesk_privacy/pii_detector/constants.h"

namespace tesk_privacy::pii_detector {

const std::vector<recognition::Pattern>& IndonesianPhoneNumberRecognizer::default_patterns() {
  static const std::vector<recognition::Pattern> indonesian_phone_number_patterns = {
      {"PHONE_NUMBER", R"((?<!\w)(?:\+62|0|62)(?:8[1-9]|2[1-9]|3[1-468]|5[1-9]|7[0-8]|9[0-8])[0-9]{7,10}\b)", 0.7},
      {"PHONE_NUMBER", R"((?<!\w)(?:\+62|0|62)\s?(?:8[1-9]|2[1-9]|3[1-468]|5[1-9]|7[0-8]|9[0-8])\d{0,2}[-\s]\d{3,4}[-\s]\d{3,4}\b)", 0.7},
  };
  return indonesian_phone_number_patterns;
}

const std::vector<std::string>& IndonesianPhoneNumberRecognizer::default_context() {
  static const std::vector<std::string> indonesian_phone_number_context = {
      "phone", "mobile", "cell", "telephone", "tel", "kontak", "nomor", "telepon",
  };
  return indonesian_phone_number_context;
}

IndonesianPhoneNumberRecognizer::IndonesianPhoneNumberRecognizer(std::string supported_language)
    : PatternRecognizer(Entities::PHONE_NUMBER, default_patterns(), std::move(supported_language),
                        default_context(), {}, "IndonesianPhoneNumberRecognizer") {}

}  // namespace tesk_privacy::pii_detector
