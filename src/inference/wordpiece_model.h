// WordPieceModel: BERT's greedy longest-match-first split of a word into
// vocabulary pieces, continuation pieces marked with a prefix ("##"). A word
// with a part no piece covers, or longer than max_input_chars_per_word,
// becomes the unknown token as a whole.
#pragma once

#include "inference/tokenizer_model.h"

namespace tesk_privacy::inference {

class WordPieceModel : public TokenizerModel {
 public:
  WordPieceModel(const nlohmann::json& desc, const std::string& origin);

  std::vector<ModelToken> tokenize(std::u32string_view word) const override;
  const Vocab& vocab() const override { return vocab_; }
  std::string continuing_subword_prefix() const override { return prefix_; }
  std::optional<int32_t> unk_id() const override { return unk_id_; }

 private:
  Vocab vocab_;
  std::string unk_token_;
  int32_t unk_id_ = 0;
  std::string prefix_;
  size_t max_chars_ = 100;
};

}  // namespace tesk_privacy::inference
