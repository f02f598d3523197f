// AddedVocabulary: the "added_tokens" of a tokenizer file — special tokens
// such as [CLS] or <mask> and other whole tokens that are found in the text
// before the model sees it and are never split. Tokens marked "normalized"
// are looked for in the normalised text, the others in the original text;
// the longest token starting leftmost wins. "lstrip"/"rstrip" let a token
// swallow the blanks before/after it; "single_word" only accepts it between
// non-word characters.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

namespace tesk_privacy::inference {

class Normalizer;

class AddedVocabulary {
 public:
  struct Token {
    std::string content;
    std::u32string pattern;  // what is looked for: the content, normalised if "normalized"
    int32_t id = 0;
    bool single_word = false, lstrip = false, rstrip = false, normalized = false, special = false;
  };
  // A span of the searched text: an added token (id >= 0) or plain text (id -1).
  struct Segment {
    size_t start, end;
    int32_t id;
  };

  AddedVocabulary() = default;
  AddedVocabulary(const nlohmann::json& added_tokens, const Normalizer* normalizer, const std::string& origin);

  // Cuts `text` at the added tokens of the given kind.
  std::vector<Segment> split(std::u32string_view text, bool normalized) const;

  std::optional<int32_t> find(std::string_view content) const;
  const std::string* content(int32_t id) const;
  bool is_special(int32_t id) const;
  // One past the largest added id; 0 without added tokens.
  size_t id_limit() const { return id_limit_; }

 private:
  std::vector<Token> tokens_;
  std::map<std::string, size_t, std::less<>> by_content_;
  std::unordered_map<int32_t, size_t> by_id_;
  // For each kind (original, normalized): first code point → tokens, longest first.
  std::unordered_map<char32_t, std::vector<size_t>> starts_[2];
  size_t id_limit_ = 0;
};

}  // namespace tesk_privacy::inference
