// Tokenizer: splits a text into word, number and punctuation tokens for the
// NLP engine, in the manner of mainstream NLP tokenizers.
//
// White space separates tokens and is dropped. Punctuation, brackets, quotes
// and symbols (emoji included, with their modifiers and joiners) become tokens
// of their own; runs of one ASCII punctuation mark ("...", "--") stay
// together. English clitics are split off ("don't" -> "do" "n't", "Budi's" ->
// "Budi" "'s"). Kept whole:
//   - e-mail addresses and URLs ("budi@example.co.id", "https://x.id/a?b=1",
//     "www.example.com", "example.com/path"), without trailing punctuation;
//   - numbers with separators ("1.500.000,00", "15/12/2026", "10:30",
//     "+62", "0812-3456-7890");
//   - words joined by hyphens or periods ("anak-anak", "e.g", "S.Kom");
//   - abbreviations with their period ("PT.", "Sdr.", "Jl.", "No.", "Dr.",
//     "Mr.", "e.g.", an initial such as "L."); a period between an
//     abbreviation and a capital or digit separates them ("No.123" -> "No."
//     "123").
//
//   Tokenizer tokenizer;
//   for (const Token& t : tokenizer.tokenize("Jl. Merdeka No.45")) ...
//   // "Jl." [0,3)  "Merdeka" [4,11)  "No." [12,15)  "45" [15,17)
//
// A hand-written scanner, linear in the length of the text. Stateless; safe
// to share between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tesk_privacy::recognition {

enum class TokenKind : uint8_t {
  kWord,          // letters, possibly with digits, inner hyphens, periods, apostrophes
  kNumber,        // digits with separators, optionally a leading "+"
  kAbbreviation,  // a word with its closing period: "PT.", "e.g."
  kEmail,
  kUrl,
  kPunctuation,
  kSymbol,  // currency and math signs, emoji
};

struct Token {
  size_t byte_start = 0;  // into the UTF-8 text
  size_t byte_end = 0;
  int64_t start = 0;  // code points
  int64_t end = 0;
  TokenKind kind = TokenKind::kWord;

  bool operator==(const Token&) const = default;
};

class Tokenizer {
 public:
  // `text` must be valid UTF-8 (as a Utf8Text guarantees).
  std::vector<Token> tokenize(std::string_view text) const;
};

// True for the kinds that carry no words: punctuation and symbols.
inline bool is_punctuation_or_symbol(TokenKind kind) {
  return kind == TokenKind::kPunctuation || kind == TokenKind::kSymbol;
}

}  // namespace tesk_privacy::recognition
