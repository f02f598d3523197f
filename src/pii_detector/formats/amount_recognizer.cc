#include "amount_recognizer.h"

#include <cctype>

#include "tesk_privacy/pii_detector/constants.h"
#include "tesk_privacy/pii_detector/recognizer/money_recognizer.h"

namespace tesk_privacy::pii_detector::formats {

AmountRecognizer::AmountRecognizer(std::string supported_language)
    : FormatRecognizer({Entities::MONEY}, "AmountRecognizer", std::move(supported_language),
                       MoneyRecognizer::default_context(), /*judges_context=*/false),
      pattern_(compile(
          R"((?<![\w.,])(?:((?:Rp\.?|IDR|USD|US\$|SGD|EUR|[$€£¥])[ \t]?)?\d{1,3}(?:([.,])\d{3}(?:\2\d{3})*)?(?:[.,]\d{1,2}|,-)?|\d+(?:[.,]\d{1,2})?)(?:[ \t]?(?-i:(?:[Rr]ibu|RIBU|[Rr]b|[Rr]bu|k|K|[Jj]uta|JUTA|[Jj]t|[Jj]ta|[Mm]iliar|[Mm]ilyar|MILIAR|M|T|[Tt]riliun|[Tt]rilyun|TRILIUN|thousand|million|billion|trillion))\b)?(?![\w]|[.,]\d))")) {}

void AmountRecognizer::find(const Utf8Text& text, const std::vector<std::string>&, std::vector<Finding>& out) const {
  const std::string_view t = text.view();
  for (const regex::MatchSpan& m : pattern_->find_spans(text)) {
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
