// BpeModel: byte-pair encoding. A word starts as one symbol per code point
// and adjacent symbols are merged by the ranked merge list (lowest rank
// first) until no listed pair is left. Code points outside the vocabulary
// become the unknown token (fused when fuse_unk is set), byte tokens
// "<0xAB>" under byte_fallback, or are dropped when the model has no unknown
// token (byte-level vocabularies cover every byte, so none are dropped there).
#pragma once

#include <unordered_map>

#include "inference/tokenizer_model.h"

namespace tesk_privacy::inference {

class BpeModel : public TokenizerModel {
 public:
  BpeModel(const nlohmann::json& desc, const std::string& origin);

  std::vector<ModelToken> tokenize(std::u32string_view word) const override;
  const Vocab& vocab() const override { return vocab_; }
  std::string continuing_subword_prefix() const override { return prefix_; }
  std::optional<int32_t> unk_id() const override { return unk_id_; }

 private:
  struct Merge {
    uint32_t rank;
    int32_t result;
  };
  static uint64_t pair_key(int32_t a, int32_t b) {
    return static_cast<uint64_t>(static_cast<uint32_t>(a)) << 32 | static_cast<uint32_t>(b);
  }

  Vocab vocab_;
  std::unordered_map<uint64_t, Merge> merges_;
  std::optional<int32_t> unk_id_;
  std::string prefix_;
  std::string suffix_;
  bool fuse_unk_ = false;
  bool byte_fallback_ = false;
  bool ignore_merges_ = false;
};

}  // namespace tesk_privacy::inference
