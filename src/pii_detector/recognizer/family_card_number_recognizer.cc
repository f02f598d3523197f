#include "pii_detector/recognizer/family_card_number_recognizer.h"

#include "tesk_privacy/pii_detector/constants.h"

namespace tesk_privacy::pii_detector {

const std::vector<recognition::Pattern>& FamilyCardNumberRecognizer::default_patterns() {
  static const std::vector<recognition::Pattern> family_card_number_patterns = {
      {"FAMILY_CARD_NUMBER", R"(\b\d{16}\b)", 0.1},
  };
  return family_card_number_patterns;
}

const std::vector<std::string>& FamilyCardNumberRecognizer::default_context() {
  static const std::vector<std::string> family_card_number_context = {"family card", "kartu keluarga", "kk", "KK", "Kartu Keluarga", "Nomor KK"};
  return family_card_number_context;
}

FamilyCardNumberRecognizer::FamilyCardNumberRecognizer(std::string supported_language)
    : PatternRecognizer(Entities::FAMILY_CARD_NUMBER, default_patterns(), std::move(supported_language),
                        default_context(), {}, "FamilyCardNumberRecognizer") {}

}  // namespace tesk_privacy::pii_detector
