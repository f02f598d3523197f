#include "recognition/predefined/ip_recognizer.h"

#include "recognition/predefined/predefined_recognizer_table.h"
#include "recognition/predefined/validators.h"

namespace tesk_privacy::recognition {
namespace {

const PredefinedRecognizerSpec& row() { return predefined_recognizer_spec("IpRecognizer"); }

}  // namespace

IpRecognizer::IpRecognizer(std::string supported_language)
    : PatternRecognizer(row().entity, row().patterns, std::move(supported_language), row().context, {},
                        row().name) {}

std::optional<bool> IpRecognizer::invalidate_result(std::string_view pattern_text) const {
  return !validators::ip_address_valid(pattern_text);
}

}  // namespace tesk_privacy::recognition
