#include "recognition/predefined/us_passport_recognizer.h"

#include "recognition/predefined/predefined_recognizer_table.h"

namespace tesk_privacy::recognition {
namespace {

const PredefinedRecognizerSpec& row() { return predefined_recognizer_spec("UsPassportRecognizer"); }

}  // namespace

UsPassportRecognizer::UsPassportRecognizer(std::string supported_language)
    : PatternRecognizer(row().entity, row().patterns, std::move(supported_language), row().context, {},
                        row().name) {}

}  // namespace tesk_privacy::recognition
