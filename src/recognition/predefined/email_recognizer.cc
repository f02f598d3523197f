#include "recognition/predefined/email_recognizer.h"

#include "recognition/predefined/predefined_recognizer_table.h"
#include "recognition/predefined/validators.h"

namespace tesk_privacy::recognition {
namespace {

const PredefinedRecognizerSpec& row() { return predefined_recognizer_spec("EmailRecognizer"); }

}  // namespace

EmailRecognizer::EmailRecognizer(std::string supported_language)
    : PatternRecognizer(row().entity, row().patterns, std::move(supported_language), row().context, {},
                        row().name) {}

std::optional<bool> EmailRecognizer::validate_result(std::string_view pattern_text) const {
  return validators::email_domain_valid(pattern_text);
}

}  // namespace tesk_privacy::recognition
