#include "recognition/predefined/us_itin_recognizer.h"

#include "recognition/predefined/predefined_recognizer_table.h"

namespace tesk_privacy::recognition {
namespace {

const PredefinedRecognizerSpec& row() { return predefined_recognizer_spec("UsItinRecognizer"); }

}  // namespace

UsItinRecognizer::UsItinRecognizer(std::string supported_language)
    : PatternRecognizer(row().entity, row().patterns, std::move(supported_language), row().context, {},
                        row().name) {}

}  // namespace tesk_privacy::recognition
