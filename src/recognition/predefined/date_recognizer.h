// DateRecognizer: finds dates and times ("DATE_TIME") written the Indonesian
// or the English way: numeric dates (17/08/1945, 2024-05-17), dates with month
// names (17 Agustus 1945, May 5, 2024, Desember 2026), day names (Senin,
// Monday) and times (pukul 14.30 WIB, 10:30). A numeric date that is no
// calendar date in either day-month or month-day order is dropped.
//
//   DateRecognizer recognizer;          // for "en"
//   DateRecognizer indonesian("id");
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::recognition {

class DateRecognizer : public PatternRecognizer {
 public:
  explicit DateRecognizer(std::string supported_language = "en");

 protected:
  std::optional<bool> invalidate_result(std::string_view pattern_text) const override;
};

}  // namespace tesk_privacy::recognition
