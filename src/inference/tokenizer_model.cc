#include "inference/tokenizer_model.h"

#include "inference/bpe_model.h"
#include "inference/json_fields.h"
#include "inference/unigram_model.h"
#include "inference/wordpiece_model.h"

namespace tesk_privacy::inference {

// Ids above this are refused: they would make the id table absurdly large.
constexpr int32_t kMaxTokenId = 50'000'000;

void Vocab::add(std::string token, int32_t id, const std::string& origin) {
  if (id < 0 || id > kMaxTokenId) fail_at(origin, "token id " + std::to_string(id) + " is out of range");
  if (static_cast<size_t>(id) >= tokens_.size()) {
    tokens_.resize(static_cast<size_t>(id) + 1);
    present_.resize(static_cast<size_t>(id) + 1, false);
  }
  if (present_[id]) {
    fail_at(origin, "token id " + std::to_string(id) + " is given to both '" + tokens_[id] + "' and '" + token + "'");
  }
  present_[id] = true;
  tokens_[id] = token;
  ids_.try_emplace(std::move(token), id);
}

Vocab vocab_from_object(const nlohmann::json& object, const std::string& origin) {
  if (!object.is_object()) fail_at(origin, "\"vocab\" must be an object of token ids");
  Vocab vocab;
  for (const auto& [token, id] : object.items()) {
    vocab.add(token, id_value(id, origin, "the id of '" + token + "'"), origin);
  }
  return vocab;
}

std::unique_ptr<TokenizerModel> make_tokenizer_model(const nlohmann::json& desc, const std::string& origin) {
  const std::string type = desc.is_object() && !desc.contains("type") && desc.contains("merges")
                               ? "BPE"  // older files leave out the type of BPE models
                               : component_type(desc, origin, "model");
  const std::string where = origin + ": model " + type;
  if (type == "WordPiece") return std::make_unique<WordPieceModel>(desc, where);
  if (type == "BPE") return std::make_unique<BpeModel>(desc, where);
  if (type == "Unigram") return std::make_unique<UnigramModel>(desc, where);
  fail_at(origin, "model type '" + type + "' is not supported (supported: WordPiece, BPE, Unigram)");
}

}  // namespace tesk_privacy::inference
