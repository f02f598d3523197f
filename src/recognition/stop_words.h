// StopWords: the function words of a language — articles, pronouns,
// prepositions, conjunctions, auxiliaries, particles — that never serve as
// context words. The NLP engine leaves them out of the keywords.
//
// "en" holds English function words; "id" holds Indonesian ones and the
// English ones too, since Indonesian business text often mixes in English.
// Content words that some lists count as stop words ("name", "call",
// "amount", "number", "no") are not included: they are useful context.
//
//   StopWords id("id");
//   id.contains("adalah");   // true
//   id.contains("nomor");    // false
//
// Immutable after construction; safe to share.
#pragma once

#include <string_view>
#include <unordered_set>

namespace tesk_privacy::recognition {

class StopWords {
 public:
  // Throws std::invalid_argument for a language other than "en" or "id".
  explicit StopWords(std::string_view language);
  // `word` is lower-case.
  bool contains(std::string_view word) const { return words_.contains(word); }

 private:
  std::unordered_set<std::string_view> words_;
};

}  // namespace tesk_privacy::recognition
