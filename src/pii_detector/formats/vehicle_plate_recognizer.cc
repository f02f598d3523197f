#include "vehicle_plate_recognizer.h"

#include <cctype>

#include "cues.h"
#include "tesk_privacy/pii_detector/format_entities.h"

namespace tesk_privacy::pii_detector::formats {
namespace {

// Written without blanks, a plate needs three or four digits and two or
// three letters after them ("D1234ABC"), unlike product codes ("T100A").
bool glued_plate_shape(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && std::isalpha(static_cast<unsigned char>(s[i]))) ++i;
  size_t digits = 0, letters = 0;
  for (; i < s.size(); ++i) (std::isdigit(static_cast<unsigned char>(s[i])) ? digits : letters)++;
  return digits >= 3 && letters >= 2;
}

}  // namespace

VehiclePlateRecognizer::VehiclePlateRecognizer(std::string supported_language)
    : FormatRecognizer({FormatEntities::VEHICLE_PLATE}, "VehiclePlateRecognizer", std::move(supported_language), {},
                       /*judges_context=*/true),
      // The region codes of the police's registration areas.
      pattern_(compile(
          R"((?<![\w\-/.])(?-i:(?:A|B|D|E|F|G|H|K|L|M|N|P|R|S|T|W|Z|AA|AB|AD|AE|AG|BA|BB|BD|BE|BG|BH|BK|BL|BM|BN|BP|DA|DB|DC|DD|DE|DG|DH|DK|DL|DM|DN|DR|DS|DT|DW|EA|EB|ED|KB|KH|KT|KU|PA|PB|PG|PY)(?:[ \t]?\d{1,4}(?:[ \t]?[A-Z]{1,3})?))(?![\w\-/]))",
          0)) {}

void VehiclePlateRecognizer::find(const Utf8Text& text, const std::vector<std::string>&,
                                  std::vector<Finding>& out) const {
  const std::string_view t = text.view();
  // A plate's digits follow its region code: the pattern is tried, anchored,
  // only at one or two capitals before a digit run, not at every capital.
  std::vector<regex::MatchSpan> matches;
  size_t covered = 0;
  for (const auto& run : text.digit_runs()) {
    size_t i = run.begin;
    if (i > 0 && (t[i - 1] == ' ' || t[i - 1] == '\t')) --i;
    size_t begin = i;
    while (begin > 0 && i - begin < 2 && std::isupper(static_cast<unsigned char>(t[begin - 1]))) --begin;
    if (begin == i || begin < covered) continue;
    if (begin > 0) {
      const auto before = static_cast<unsigned char>(t[begin - 1]);
      if (std::isalnum(before) || before >= 0x80 || before == '_' || before == '-' || before == '/' || before == '.') {
        continue;
      }
    }
    const auto length = pattern_->prefix_match(match_window(t, begin, 64));
    if (!length || *length == 0) continue;
    matches.push_back({0, 0, begin, begin + *length});
    covered = begin + *length;
  }
  for (const regex::MatchSpan& m : matches) {
    const std::string_view s = t.substr(m.byte_start, m.byte_end - m.byte_start);
    const bool suffix = std::isalpha(static_cast<unsigned char>(s.back())) != 0;
    const bool labelled = cues_before(t, m.byte_start).nearest == Cue::kPlate;
    if (labelled) {
      out.push_back({FormatEntities::VEHICLE_PLATE, m.byte_start, m.byte_end, 0.95, "plate after its label"});
    } else if (suffix && s.find(' ') != std::string_view::npos) {
      out.push_back({FormatEntities::VEHICLE_PLATE, m.byte_start, m.byte_end, 0.7, "plate"});
    } else if (suffix && glued_plate_shape(s)) {
      out.push_back({FormatEntities::VEHICLE_PLATE, m.byte_start, m.byte_end, 0.55, "plate written without blanks"});
    }
  }
}

}  // namespace tesk_privacy::pii_detector::formats
