// CreditCardRecognizer: finds payment card numbers ("CREDIT_CARD") of the
// major issuers, compact or in consistently separated groups (4-4-4-4, or
// 4-6-5 and 4-6-4 for American Express and Diners Club). The Luhn check
// confirms a candidate (score 1.0) or drops it.
//
//   CreditCardRecognizer recognizer;          // for "en"
//   CreditCardRecognizerOptions options;
//   options.context = std::vector<std::string>{"kartu", "card"};
//   CreditCardRecognizer custom("id", options);
//
// Options replace the table's patterns or context words, or the entity
// type, for callers that configure the recognizer themselves.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::recognition {

struct CreditCardRecognizerOptions {
  std::optional<std::vector<Pattern>> patterns;      // the table's when absent
  std::optional<std::vector<std::string>> context;  // the table's when absent
  std::string supported_entity = "CREDIT_CARD";
};

class CreditCardRecognizer : public PatternRecognizer {
 public:
  explicit CreditCardRecognizer(std::string supported_language = "en",
                                CreditCardRecognizerOptions options = {});

 protected:
  std::optional<bool> validate_result(std::string_view pattern_text) const override;
};

}  // namespace tesk_privacy::recognition
