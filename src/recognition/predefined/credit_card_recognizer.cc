#include "recognition/predefined/credit_card_recognizer.h"

#include "recognition/predefined/predefined_recognizer_table.h"
#include "recognition/predefined/validators.h"

namespace tesk_privacy::recognition {
namespace {

const PredefinedRecognizerSpec& row() { return predefined_recognizer_spec("CreditCardRecognizer"); }

}  // namespace

CreditCardRecognizer::CreditCardRecognizer(std::string supported_language, CreditCardRecognizerOptions options)
    : PatternRecognizer(std::move(options.supported_entity), options.patterns.value_or(row().patterns),
                        std::move(supported_language), options.context.value_or(row().context), {},
                        row().name) {}

std::optional<bool> CreditCardRecognizer::validate_result(std::string_view pattern_text) const {
  return validators::luhn_valid(pattern_text);
}

}  // namespace tesk_privacy::recognition
