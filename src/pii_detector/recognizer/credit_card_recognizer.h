// CreditCardRecognizer: the predefined credit-card recognizer (card
// patterns, Luhn check) with Indonesian and English context terms merged into
// its context, and every score capped at CREDIT_CARD_BASE_SCORE. A card
// number on its own thus stays under the analysis threshold and is reported
// only when the context enhancer finds a term such as "kartu kredit" near it
// (0.2 + 0.45 = 0.65); the cap applies before that enhancement.
//
//   CreditCardRecognizer recognizer;          // for "id"
//   CreditCardRecognizer english("en");
//   recognition::CreditCardRecognizerOptions options;
//   options.context = std::vector<std::string>{"kartu", "card"};
//   CreditCardRecognizer custom("id", options);
//
// The merged context is the set of normalized (trimmed, lower-cased) terms of
// the base context and of default_context(), without duplicates, sorted.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recognition/predefined/credit_card_recognizer.h"

namespace tesk_privacy::pii_detector {

using BaseCreditCardRecognizer = recognition::CreditCardRecognizer;

inline constexpr double CREDIT_CARD_BASE_SCORE = 0.2;

class CreditCardRecognizer : public BaseCreditCardRecognizer {
 public:
  // `options` go unchanged to the base recognizer.
  explicit CreditCardRecognizer(std::string supported_language = "id",
                                recognition::CreditCardRecognizerOptions options = {});

  static const std::vector<std::string>& default_context();
  // `term` without leading and trailing white space, lower-cased.
  static std::string _normalize_context_term(std::string_view term);

  std::vector<recognition::RecognizerResult> analyze(
      const Utf8Text& text, const std::vector<std::string>& entities,
      const recognition::NlpArtifacts* nlp_artifacts,
      std::optional<int> regex_flags = std::nullopt) const override;
};

}  // namespace tesk_privacy::pii_detector
