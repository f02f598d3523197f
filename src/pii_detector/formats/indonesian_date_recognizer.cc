#include "indonesian_date_recognizer.h"

#include <cctype>
#include <algorithm>

#include "cues.h"
#include "tesk_privacy/pii_detector/constants.h"

namespace tesk_privacy::pii_detector::formats {
namespace {

constexpr const char* kMonth =
    R"((?:januari|january|jan|februari|pebruari|february|feb|peb|maret|march|mar|april|apr|mei|may|juni|june|jun|juli|july|jul|agustus|august|agust|agt|ags|agu|aug|september|sept|sep|oktober|october|okt|oct|november|nopember|nov|nop|desember|december|des|dec)\.?)";
constexpr const char* kDay = R"((?:0?[1-9]|[12]\d|3[01]))";
constexpr const char* kTime = R"((?:[01]?\d|2[0-3])[.:][0-5]\d(?:[.:][0-5]\d)?(?:\s?(?:WIB|WITA|WIT|am|pm))?)";

bool two_digit_numeric(std::string_view s) {
  return s.size() >= 8 && std::isdigit(static_cast<unsigned char>(s[0])) &&
         std::isdigit(static_cast<unsigned char>(s[1])) && !std::isdigit(static_cast<unsigned char>(s[2])) &&
         std::isdigit(static_cast<unsigned char>(s[3])) && std::isdigit(static_cast<unsigned char>(s[4]));
}

std::string cat(std::initializer_list<std::string_view> parts) {
  std::string s;
  for (auto p : parts) s += p;
  return s;
}

}  // namespace

IndonesianDateRecognizer::IndonesianDateRecognizer(std::string supported_language)
    : FormatRecognizer({Entities::DATE_TIME}, "IndonesianDateRecognizer", std::move(supported_language), {},
                       /*judges_context=*/true) {
  const std::string time_after = cat({R"((?:,?\s*(?:(?:pukul|pkl|jam|pk)\.?\s*)?)", kTime, ")?"});
  auto add = [&](const std::string& p, const char* name, double score, double labelled) {
    forms_.push_back({compile(p), name, score, labelled});
  };
  // 12-05-1990, 12/5/90, 12.05.1990 (the same separator twice; a two-digit
  // year only with two-digit day and month).
  add(cat({R"((?<![\w.,/\-])(?:)", kDay,
           R"(([-/.])(?:0?[1-9]|1[0-2])\1(?:19|20)\d{2}|(?:0[1-9]|[12]\d|3[01])([-/.])(?:0[1-9]|1[0-2])\2\d{2}))",
           time_after, R"((?![\w]|[.,/\-]\d))"}),
      "numeric date", 0.4, 0.95);
  // 1990-05-12
  add(cat({R"((?<![\w.,/\-])(?:19|20)\d{2}([-/.])(?:0?[1-9]|1[0-2])\1)", kDay, time_after,
           R"((?![\w]|[.,/\-]\d))"}),
      "ISO date", 0.5, 0.95);
  // Senin, 12 Mei 1990 pukul 10.00 / 12 Mei '90
  add(cat({R"(\b)", kDay, R"((?:\s*-\s*|\s+)?)", kMonth, R"(\s*,?\s*(?:(?:19|20)\d{2}|'\d{2}))",
           time_after, R"(\b)"}),
      "day month year", 0.4, 0.95);
  // June 3, 2024
  add(cat({R"(\b)", kMonth, R"(\s+)", kDay, R"((?:st|nd|rd|th)?,?\s+(?:19|20)\d{2})", time_after,
           R"(\b)"}),
      "month day year", 0.4, 0.95);
  // 12 Mei, Mei 1990: only after a label or with a time
  add(cat({R"(\b)", kDay, R"(\s+)", kMonth, R"((?:\s*,?\s*(?:(?:pukul|pkl|jam|pk)\.?\s*))", kTime,
           R"()?(?![\w]))"}),
      "day month", 0.35, 0.9);
  add(cat({R"(\b)", kMonth, R"(\s+(?:19|20)\d{2}\b)"}), "month year", 0.3, 0.85);
  // pukul 14.00 WIB, jam 09:30
  add(cat({R"(\b(?:pukul|pkl|jam)\.?\s*)", kTime, R"((?![\w]|[.:]\d))"}), "time", 0.6, 0.6);
}

void IndonesianDateRecognizer::find(const Utf8Text& text, const std::vector<std::string>&,
                                    std::vector<Finding>& out) const {
  const std::string_view t = text.view();
  for (const Form& form : forms_) {
    for (const regex::MatchSpan& m : form.regex->find_spans(text)) {
      std::string_view s = t.substr(m.byte_start, m.byte_end - m.byte_start);
      const bool with_time = std::any_of(s.begin(), s.end(), [](char c) { return c == ':'; }) ||
                             s.find("ukul") != std::string_view::npos || s.find("jam") != std::string_view::npos;
      const bool labelled = cues_before(t, m.byte_start).nearest == Cue::kDate;
      double score = labelled ? form.labelled_score : with_time ? std::max(form.score, 0.6) : form.score;
      // Written with two-digit day and month ("05-03-1990", "12/05/90"), a
      // date is a form's or a record's; news writes "(25/8/2014)" and
      // "Sabtu (18/10/2014)".
      const bool in_parentheses = m.byte_start > 0 && t[m.byte_start - 1] == '(';
      if (!labelled && score < 0.5 && two_digit_numeric(s) && !in_parentheses) score = 0.6;
      size_t end = m.byte_end;
      while (end > m.byte_start && (t[end - 1] == ' ' || t[end - 1] == ',')) --end;
      out.push_back({Entities::DATE_TIME, m.byte_start, end, score, form.name});
    }
  }
}

}  // namespace tesk_privacy::pii_detector::formats
