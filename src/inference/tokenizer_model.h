// TokenizerModel: the vocabulary model of a tokenizer file ("model" in
// tokenizer.json) that splits one pre-tokenized word into vocabulary tokens.
// One subclass per family: WordPieceModel (BERT), BpeModel (byte-level BPE of
// the RoBERTa family), UnigramModel (SentencePiece unigram of XLM-RoBERTa).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <nlohmann/json.hpp>

namespace tesk_privacy::inference {

struct ModelToken {
  int32_t id = 0;
  std::string value;
  size_t start = 0;  // code points within the word
  size_t end = 0;
};

struct StringHash {
  using is_transparent = void;
  size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};

// Token strings and ids in both directions.
class Vocab {
 public:
  // Throws std::runtime_error (prefixed with origin) for an id used twice.
  void add(std::string token, int32_t id, const std::string& origin);
  std::optional<int32_t> find(std::string_view token) const {
    auto it = ids_.find(token);
    return it == ids_.end() ? std::nullopt : std::optional<int32_t>(it->second);
  }
  // Null for an id without a token.
  const std::string* token(int32_t id) const {
    if (id < 0 || static_cast<size_t>(id) >= tokens_.size() || !present_[id]) return nullptr;
    return &tokens_[id];
  }
  // One past the largest id.
  size_t size() const { return tokens_.size(); }

 private:
  std::unordered_map<std::string, int32_t, StringHash, std::equal_to<>> ids_;
  std::vector<std::string> tokens_;
  std::vector<bool> present_;
};

class TokenizerModel {
 public:
  virtual ~TokenizerModel() = default;
  // Tokens of one word, in order.
  virtual std::vector<ModelToken> tokenize(std::u32string_view word) const = 0;
  virtual const Vocab& vocab() const = 0;
  // The marker of word-continuing tokens ("##" for WordPiece), if any.
  virtual std::string continuing_subword_prefix() const { return ""; }
  virtual std::optional<int32_t> unk_id() const = 0;
};

// A vocabulary written as a {"token": id} object.
Vocab vocab_from_object(const nlohmann::json& object, const std::string& origin);

// Throws std::runtime_error prefixed with `origin` for unknown types or a
// malformed vocabulary.
std::unique_ptr<TokenizerModel> make_tokenizer_model(const nlohmann::json& desc, const std::string& origin);

}  // namespace tesk_privacy::inference
