#include "recognition/predefined/us_ssn_recognizer.h"

#include "recognition/predefined/predefined_recognizer_table.h"
#include "recognition/predefined/validators.h"

namespace tesk_privacy::recognition {
namespace {

const PredefinedRecognizerSpec& row() { return predefined_recognizer_spec("UsSsnRecognizer"); }

}  // namespace

UsSsnRecognizer::UsSsnRecognizer(std::string supported_language)
    : PatternRecognizer(row().entity, row().patterns, std::move(supported_language), row().context, {},
                        row().name) {}

std::optional<bool> UsSsnRecognizer::invalidate_result(std::string_view pattern_text) const {
  return !validators::us_ssn_plausible(pattern_text);
}

}  // namespace tesk_privacy::recognition
