#include "pii_detector/recognizer/credit_card_recognizer.h"

#include <algorithm>
#include <set>

#include "tesk_privacy/text/utf8_text.h"
#include "text/case_mapping.h"
#include "text/python_chars.h"

namespace tesk_privacy::pii_detector {
const std::vector<std::string>& CreditCardRecognizer::default_context() {
  static const std::vector<std::string> DEFAULT_CONTEXT = {
      "kartu kredit", "credit card", "cc",         "visa",        "mastercard", "amex",       "cvv",
      "expiry",       "exp",         "valid thru", "nomor kartu", "card number", "debit card",
  };
  return DEFAULT_CONTEXT;
}

std::string CreditCardRecognizer::_normalize_context_term(std::string_view term) {
  check_utf8(term);
  size_t begin = 0, end = term.size();
  while (begin < end) {
    size_t next = begin;
    if (!is_py_space(decode_utf8(term, next))) break;
    begin = next;
  }
  while (end > begin) {
    size_t start = end - 1;
    while (start > begin && (static_cast<unsigned char>(term[start]) & 0xC0) == 0x80) --start;
    size_t pos = start;
    if (!is_py_space(decode_utf8(term, pos))) break;
    end = start;
  }
  return to_lower(term.substr(begin, end - begin));
}

CreditCardRecognizer::CreditCardRecognizer(std::string supported_language,
                                           recognition::CreditCardRecognizerOptions options)
    : BaseCreditCardRecognizer(std::move(supported_language), std::move(options)) {
  std::set<std::string> merged;
  for (const std::string& term : context()) merged.insert(_normalize_context_term(term));
  for (const std::string& term : default_context()) merged.insert(_normalize_context_term(term));
  mutable_context().assign(merged.begin(), merged.end());
  for (recognition::Pattern& pattern : mutable_patterns()) {
    pattern.score = std::min(pattern.score, CREDIT_CARD_BASE_SCORE);
  }
}

std::vector<recognition::RecognizerResult> CreditCardRecognizer::analyze(
    const Utf8Text& text, const std::vector<std::string>& entities,
    const recognition::NlpArtifacts* nlp_artifacts, std::optional<int> regex_flags) const {
  std::vector<recognition::RecognizerResult> results =
      BaseCreditCardRecognizer::analyze(text, entities, nlp_artifacts, regex_flags);
  // Results of one pattern share their explanation; cap it once and let
  // them share the capped one.
  recognition::SharedExplanation uncapped, capped;
  for (recognition::RecognizerResult& result : results) {
    result.score = std::min(result.score, CREDIT_CARD_BASE_SCORE);
    recognition::SharedExplanation& explanation = result.analysis_explanation;
    if (!explanation || explanation->score <= CREDIT_CARD_BASE_SCORE) continue;
    if (!(explanation == uncapped)) {
      uncapped = explanation;
      capped = explanation;
      capped.edit().score = CREDIT_CARD_BASE_SCORE;
    }
    explanation = capped;
  }
  return results;
}

}  // namespace tesk_privacy::pii_detector
