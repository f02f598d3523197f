// EnglishLemmatizer: English inflections reduced to the base form without a
// dictionary — plural nouns and third-person verbs ("accounts" -> "account",
// "companies" -> "company", "boxes" -> "box"), "-ing" and "-ed" verb forms
// ("running" -> "run", "making" -> "make", "applied" -> "apply"), and
// comparatives and superlatives. An exception table covers irregular forms
// ("went" -> "go", "children" -> "child", "better" -> "good") and clitics
// ("n't" -> "not", "'re" -> "be"); a second table lists words that merely look
// inflected ("news", "status", "morning", "hundred") and stay as they are.
// Comparatives ending in "-er"/"-est" are reduced only through the table,
// since a rule would mangle nouns such as "number" or "interest".
//
//   EnglishLemmatizer en;
//   en.lemmatize("addresses");   // "address"
//   en.lemmatize("bpjs");        // "bpjs": no vowel left to form a stem
//
// In a hyphenated word only the last part is reduced ("e-mails" -> "e-mail").
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

#include "recognition/lemmatizer.h"

namespace tesk_privacy::recognition {

class EnglishLemmatizer : public Lemmatizer {
 public:
  EnglishLemmatizer();
  std::string lemmatize(std::string_view word) const override;

 private:
  std::string lemmatize_simple(std::string_view word) const;

  std::unordered_map<std::string_view, std::string_view> exceptions_;
  std::unordered_set<std::string_view> unchanged_;
};

}  // namespace tesk_privacy::recognition
