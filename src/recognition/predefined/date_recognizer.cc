#include "recognition/predefined/date_recognizer.h"

#include "recognition/predefined/predefined_recognizer_table.h"
#include "recognition/predefined/validators.h"

namespace tesk_privacy::recognition {
namespace {

const PredefinedRecognizerSpec& row() { return predefined_recognizer_spec("DateRecognizer"); }

}  // namespace

DateRecognizer::DateRecognizer(std::string supported_language)
    : PatternRecognizer(row().entity, row().patterns, std::move(supported_language), row().context, {},
                        row().name) {}

std::optional<bool> DateRecognizer::invalidate_result(std::string_view pattern_text) const {
  // Only the numeric date patterns match three number fields joined by
  // separators, alone or before an ISO time ("T" or a blank and a digit);
  // month names, day names and times (14.30.00 WIB) pass unchecked.
  size_t end = 0;
  int separators = 0;
  while (end < pattern_text.size()) {
    char c = pattern_text[end];
    if (c == '/' || c == '.' || c == '-') {
      ++separators;
    } else if (c < '0' || c > '9') {
      break;
    }
    ++end;
  }
  if (separators != 2) return std::nullopt;
  bool date_alone = end == pattern_text.size() || pattern_text[end] == 'T' ||
                    (pattern_text[end] == ' ' && end + 1 < pattern_text.size() && pattern_text[end + 1] >= '0' &&
                     pattern_text[end + 1] <= '9');
  if (!date_alone) return std::nullopt;
  return !validators::numeric_date_plausible(pattern_text.substr(0, end));
}

}  // namespace tesk_privacy::recognition
