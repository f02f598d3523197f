#include "amount_recognizer.h"

#include <cctype>

#include "pii_detector/recognizer/money_recognizer.h"
#include "tesk_privacy/pii_detector/constants.h"

namespace tesk_privacy::pii_detector::formats {

AmountRecognizer::AmountRecognizer(std::string supported_language)
    : FormatRecognizer({Entities::MONEY}, "AmountRecognizer", std::move(supported_language),
                       MoneyRecognizer::default_context(), /*judges_context=*/false),
      pattern_(compile(
          R"((?<![\w.,])(?:((?:Rp\.?|IDR|USD|US\$|SGD|EUR|[$€£¥])[ \t]?)?\d{1,3}(?:([.,])\d{3}(?:\2\d{3})*)?(?:[.,]\d{1,2}|,-)?|\d+(?:[.,]\d{1,2})?)(?:[ \t]?(?-i:(?:[Rr]ibu|RIBU|[Rr]b|[Rr]bu|k|K|[Jj]uta|JUTA|[Jj]t|[Jj]ta|[Mm]iliar|[Mm]ilyar|MILIAR|M|T|[Tt]riliun|[Tt]rilyun|TRILIUN|thousand|million|billion|trillion))\b)?(?![\w]|[.,]\d))")) {}

namespace {

bool is_word_byte(unsigned char c) { return std::isalnum(c) || c == '_' || c >= 0x80; }

// Where an amount that ends in the digit run starting at byte `digits` may
// begin: at a currency right before it ("Rp ", "US$", "€"), or at the run
// itself when a scale word follows the number ("1,5 juta", "500rb");
// npos when neither.
size_t amount_start(std::string_view t, size_t digits) {
  size_t i = digits;
  if (i > 0 && (t[i - 1] == ' ' || t[i - 1] == '\t')) --i;
  auto ends_with = [&](std::string_view marker) {
    if (i < marker.size()) return false;
    for (size_t k = 0; k < marker.size(); ++k) {
      if (std::tolower(static_cast<unsigned char>(t[i - marker.size() + k])) != marker[k]) return false;
    }
    const size_t before = i - marker.size();
    return before == 0 || !is_word_byte(static_cast<unsigned char>(t[before - 1])) ||
           static_cast<unsigned char>(marker[0]) >= 0x80;
  };
  for (std::string_view marker : {"rp.", "rp", "idr", "usd", "us$", "sgd", "eur", "$", "\xE2\x82\xAC", "\xC2\xA3",
                                  "\xC2\xA5"}) {
    if (ends_with(marker)) return i - marker.size();
  }
  // No currency: a scale word after the number.
  size_t j = digits;
  while (j < t.size() && (std::isdigit(static_cast<unsigned char>(t[j])) ||
                          ((t[j] == '.' || t[j] == ',') && j + 1 < t.size() &&
                           std::isdigit(static_cast<unsigned char>(t[j + 1]))))) {
    ++j;
  }
  if (j < t.size() && (t[j] == ' ' || t[j] == '\t')) ++j;
  return j < t.size() && std::isalpha(static_cast<unsigned char>(t[j])) ? digits : std::string_view::npos;
}

}  // namespace

void AmountRecognizer::find(const Utf8Text& text, const std::vector<std::string>&, std::vector<Finding>& out) const {
  const std::string_view t = text.view();
  // Every amount holds a number: the pattern is tried, anchored, only where
  // a number's first digit run has a currency before it or a word after it.
  std::vector<regex::MatchSpan> matches;
  size_t covered = 0;
  for (const auto& run : text.digit_runs()) {
    const size_t d = run.begin;
    if (d < covered || !std::isdigit(static_cast<unsigned char>(t[d]))) continue;
    if (d > 0 && (is_word_byte(static_cast<unsigned char>(t[d - 1])) || t[d - 1] == '.' || t[d - 1] == ',')) {
      // Inside a word or a longer number, unless a currency is glued ("Rp1.500").
      if (!(d >= 2 && (t[d - 1] == 'p' || t[d - 1] == 'P') && (t[d - 2] == 'r' || t[d - 2] == 'R')) &&
          !(d >= 1 && t[d - 1] == '.' && d >= 3 && (t[d - 2] == 'p' || t[d - 2] == 'P'))) {
        continue;
      }
    }
    const size_t start = amount_start(t, d);
    if (start == std::string_view::npos) continue;
    if (start > 0) {
      const auto before = static_cast<unsigned char>(t[start - 1]);
      if (is_word_byte(before) || before == '.' || before == ',') continue;
    }
    const auto length = pattern_->prefix_match(match_window(t, start, 128));
    if (!length || *length == 0) continue;
    matches.push_back({0, 0, start, start + *length});
    covered = start + *length;
  }
  for (const regex::MatchSpan& m : matches) {
    const std::string_view s = t.substr(m.byte_start, m.byte_end - m.byte_start);
    const bool currency = !std::isdigit(static_cast<unsigned char>(s[0]));
    const bool scale = std::isalpha(static_cast<unsigned char>(s.back())) != 0;
    if (currency) {
      out.push_back({Entities::MONEY, m.byte_start, m.byte_end, 0.75, "amount with currency"});
    } else if (scale) {
      out.push_back({Entities::MONEY, m.byte_start, m.byte_end, 0.01, "amount with scale word"});
    }
  }
}

}  // namespace tesk_privacy::pii_detector::formats
