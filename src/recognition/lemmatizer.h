// Lemmatizer: reduces a lower-cased word to its dictionary form, for one
// language. The NLP engine picks one per language; see EnglishLemmatizer and
// IndonesianLemmatizer.
//
// Implementations are immutable after construction and safe to share.
#pragma once

#include <string>
#include <string_view>

namespace tesk_privacy::recognition {

class Lemmatizer {
 public:
  virtual ~Lemmatizer() = default;
  // `word` is lower-case; a word the lemmatizer has no rule for comes back
  // unchanged (numbers, symbols, words in other scripts).
  virtual std::string lemmatize(std::string_view word) const = 0;
};

}  // namespace tesk_privacy::recognition
