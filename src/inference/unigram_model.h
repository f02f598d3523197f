// UnigramModel: SentencePiece's unigram language model. A word is split into
// the sequence of vocabulary pieces with the highest total log-probability
// (Viterbi over every piece that matches at every position); a code point no
// piece covers costs the lowest piece score minus 10 and becomes the unknown
// token, runs of them fused into one (or byte tokens "<0xAB>" under
// byte_fallback).
#pragma once

#include "inference/tokenizer_model.h"

namespace tesk_privacy::inference {

class UnigramModel : public TokenizerModel {
 public:
  UnigramModel(const nlohmann::json& desc, const std::string& origin);

  std::vector<ModelToken> tokenize(std::u32string_view word) const override;
  const Vocab& vocab() const override { return vocab_; }
  std::optional<int32_t> unk_id() const override { return unk_id_; }

 private:
  Vocab vocab_;
  std::vector<double> scores_;
  // Pieces sorted by their UTF-8 bytes, for prefix search.
  std::vector<std::pair<std::string, int32_t>> sorted_;
  std::optional<int32_t> unk_id_;
  double unk_score_ = 0;
  bool byte_fallback_ = false;
};

}  // namespace tesk_privacy::inference
