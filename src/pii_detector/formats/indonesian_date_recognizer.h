// IndonesianDateRecognizer: dates and times as Indonesians write them:
// numeric with "-", "/" or "." ("12-05-1990", "12/5/90", "1990-05-12"),
// month names and their abbreviations in Indonesian and English
// ("12 Mei 1990", "17 Agt 1945", "3 Juni 2024", "June 3, 2024"; a weekday
// before the date is left out of the span),
// and times after "pukul"/"jam" ("pukul 14.00 WIB").
//
// A full date (with its year) is reported on its own; a day and month
// without a year, or a month and year, only after a label ("tgl lahir",
// "tanggal", "TTL") or next to a time.
#pragma once

#include <memory>

#include "format_recognizer.h"

namespace tesk_privacy::pii_detector::formats {

class IndonesianDateRecognizer : public FormatRecognizer {
 public:
  explicit IndonesianDateRecognizer(std::string supported_language = "id");

 protected:
  void find(const Utf8Text& text, const std::vector<std::string>& entities, std::vector<Finding>& out) const override;

 private:
  // A pattern and its two readings: the full date (day and year), and the
  // partial one (no year, or no day).
  struct Form {
    std::unique_ptr<const regex::Regex> regex;
    const char* name;
    double score;           // on its own
    double labelled_score;  // after a date label
    const char* partial_name;
    double partial_score;
    double partial_labelled_score;
  };
  std::vector<Form> forms_;
};

}  // namespace tesk_privacy::pii_detector::formats
