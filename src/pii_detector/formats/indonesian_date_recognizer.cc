#include "indonesian_date_recognizer.h"
#include <algorithm>
#include <cctype>
#include <unordered_set>

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

// "1990-05-12"
bool iso_numeric(std::string_view s) {
  return s.size() >= 8 && std::all_of(s.begin(), s.begin() + 4, [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// Whether a date written with a month name has both a day and a year: two
// runs of digits, one of them a year, or a day and "'90".
bool has_day_and_year(std::string_view s) {
  int runs = 0;
  bool year = s.find('\'') != std::string_view::npos;
  for (size_t i = 0; i < s.size();) {
    if (!std::isdigit(static_cast<unsigned char>(s[i]))) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
    // A time ("14.00", "09:30") is no part of the date.
    if (i > 0 && (s[i - 1] == '.' || s[i - 1] == ':')) break;
    if (j < s.size() && (s[j] == '.' || s[j] == ':') && j + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[j + 1]))) break;
    ++runs;
    year |= j - i == 4;
    i = j;
  }
  return runs >= 2 && year;
}

// A date led by its month has a number right after the month's name: the
// pattern is tried, anchored, only at a month name before a digit run,
// instead of at every word that starts like one.
std::vector<regex::MatchSpan> month_led_matches(const Utf8Text& text, const regex::Regex& pattern) {
  static const std::unordered_set<std::string_view> kMonths = {
      "januari", "january", "jan",      "februari", "pebruari", "february", "feb",      "peb",      "maret",
      "march",   "mar",     "april",    "apr",      "mei",      "may",      "juni",     "june",     "jun",
      "juli",    "july",    "jul",      "agustus",  "august",   "agust",    "agt",      "ags",      "agu",
      "aug",     "september", "sept",   "sep",      "oktober",  "october",  "okt",      "oct",      "november",
      "nopember", "nov",    "nop",      "desember", "december", "des",      "dec"};
  const std::string_view t = text.view();
  std::vector<regex::MatchSpan> matches;
  size_t covered = 0;
  for (const auto& run : text.digit_runs()) {
    size_t i = run.begin;
    while (i > 0 && (t[i - 1] == ' ' || t[i - 1] == '\t' || t[i - 1] == '\n')) --i;
    if (i == run.begin || i == 0) continue;
    if (t[i - 1] == '.') --i;
    size_t begin = i;
    while (begin > 0 && std::isalpha(static_cast<unsigned char>(t[begin - 1]))) --begin;
    if (begin == i || i - begin > 9 || begin < covered) continue;
    if (begin > 0 && (std::isalnum(static_cast<unsigned char>(t[begin - 1])) ||
                      static_cast<unsigned char>(t[begin - 1]) >= 0x80 || t[begin - 1] == '_')) {
      continue;
    }
    char lowered[9];
    for (size_t k = begin; k < i; ++k) lowered[k - begin] = static_cast<char>(std::tolower(static_cast<unsigned char>(t[k])));
    if (!kMonths.count(std::string_view(lowered, i - begin))) continue;
    const auto length = pattern.prefix_match(match_window(t, begin, 128));
    if (!length || *length == 0) continue;
    matches.push_back({0, 0, begin, begin + *length});
    covered = begin + *length;
  }
  return matches;
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
  auto add = [&](const std::string& p, Form form) {
    form.regex = compile(p);
    forms_.push_back(std::move(form));
  };
  // 12-05-1990, 12/5/90, 12.05.1990 (the same separator twice; a two-digit
  // year only with two-digit day and month), 1990-05-12.
  add(cat({R"((?<![\w.,/\-])(?:)", kDay,
           R"(([-/.])(?:0?[1-9]|1[0-2])\1(?:19|20)\d{2}|(?:0[1-9]|[12]\d|3[01])([-/.])(?:0[1-9]|1[0-2])\2\d{2}|)",
           R"((?:19|20)\d{2}([-/.])(?:0?[1-9]|1[0-2])\3)", kDay, ")", time_after, R"((?![\w]|[.,/\-]\d))"}),
      {nullptr, "numeric date", 0.4, 0.95, "numeric date", 0.4, 0.95});
  // 12 Mei 1990 pukul 10.00, 12-Mei-1990, 12 Mei '90; 12 Mei (a year is needed to stand alone)
  add(cat({R"(\b)", kDay, R"((?:\s*[-/]\s*|\s+)?)", kMonth, R"((?:\s*[,\-/]?\s*(?:(?:19|20)\d{2}|'\d{2}))?)", time_after,
           R"((?![\w]))"}),
      {nullptr, "day month year", 0.4, 0.95, "day month", 0.35, 0.9});
  // June 3, 2024; Mei 1990
  add(cat({R"(\b)", kMonth, R"(\s+(?:)", kDay, R"((?:st|nd|rd|th)?,?\s+)?(?:19|20)\d{2})", time_after, R"(\b)"}),
      {nullptr, "month day year", 0.4, 0.95, "month year", 0.3, 0.85});
  // pukul 14.00 WIB, jam 09:30
  add(cat({R"(\b(?:pukul|pkl|jam)\.?\s*)", kTime, R"((?![\w]|[.:]\d))"}),
      {nullptr, "time", 0.6, 0.6, "time", 0.6, 0.6});
  // 5/6/90: one-digit day or month with a two-digit year, a date only after
  // a date label ("tgl. 5/6/90"); on its own it is as likely a fraction or a
  // score.
  add(cat({R"((?<![\w.,/\-]))", kDay, R"(([-/.])(?:0?[1-9]|1[0-2])\1\d{2}(?![\w]|[.,/\-]\d))"}),
      {nullptr, "short numeric date", 0.3, 0.9, "short numeric date", 0.3, 0.9});
}

void IndonesianDateRecognizer::find(const Utf8Text& text, const std::vector<std::string>&,
                                    std::vector<Finding>& out) const {
  const std::string_view t = text.view();
  for (const Form& form : forms_) {
    const std::vector<regex::MatchSpan> matches =
        &form == &forms_[2] ? month_led_matches(text, *form.regex) : form.regex->find_spans(text);
    for (const regex::MatchSpan& m : matches) {
      std::string_view s = t.substr(m.byte_start, m.byte_end - m.byte_start);
      std::string lowered(s);
      std::transform(lowered.begin(), lowered.end(), lowered.begin(),
                     [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
      const bool with_time = lowered.find(':') != std::string::npos || lowered.find("pukul") != std::string::npos ||
                             lowered.find("pkl") != std::string::npos || lowered.find("jam") != std::string::npos ||
                             lowered.find("pk.") != std::string::npos || lowered.find("pk ") != std::string::npos;
      const bool labelled = cues_before(t, m.byte_start).nearest == Cue::kDate;
      // The second reading of a form: a date without its year, or a month
      // and year without a day.
      const bool full = &form == &forms_.front() || has_day_and_year(s);
      const char* name = full ? form.name : form.partial_name;
      const double alone = full ? form.score : form.partial_score;
      const double after_label = full ? form.labelled_score : form.partial_labelled_score;
      double score = labelled ? after_label : with_time ? std::max(alone, 0.6) : alone;
      // Written with two-digit day and month ("05-03-1990", "12/05/90"), a
      // date is a form's or a record's; news writes "(25/8/2014)" and
      // "Sabtu (18/10/2014)".
      const bool in_parentheses = m.byte_start > 0 && t[m.byte_start - 1] == '(';
      if (!labelled && score < 0.5 && two_digit_numeric(s) && !in_parentheses) score = 0.6;
      if (!labelled && score < 0.5 && iso_numeric(s)) score = 0.5;
      size_t end = m.byte_end;
      while (end > m.byte_start && (t[end - 1] == ' ' || t[end - 1] == ',')) --end;
      out.push_back({Entities::DATE_TIME, m.byte_start, end, score, name});
    }
  }
}

}  // namespace tesk_privacy::pii_detector::formats
