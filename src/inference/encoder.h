// Encoder: a BERT, RoBERTa/XLM-RoBERTa or DistilBERT transformer encoder with
// its token-classification head, run on the CPU. It turns one sequence of
// token ids into one row of label logits per token.
//
//   Encoder model = Encoder::from_folder("models/ner");   // config.json + model.safetensors
//   Logits logits = model.forward(encoding.ids);
//   logits.at(3, 1);   // logit of label 1 for token 3
//
// Weights are copied out of the weight file as float (F16 and BF16 widened)
// and checked against config.json when the model is built: a missing tensor
// or one whose shape disagrees fails with std::runtime_error naming both.
// Matrix products run on OpenBLAS (cblas_sgemm); the encoder starts no
// threads of its own, and OpenBLAS's own thread count follows
// OPENBLAS_NUM_THREADS. Immutable after construction: forward() may run on
// several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "inference/model_config.h"
#include "inference/tensor.h"

namespace tesk_privacy::inference {

struct Logits {
  size_t rows = 0;  // tokens
  size_t cols = 0;  // labels
  std::vector<float> values;  // row-major

  float at(size_t row, size_t col) const { return values[row * cols + col]; }
  std::span<const float> row(size_t r) const { return {values.data() + r * cols, cols}; }
};

class Encoder {
 public:
  Encoder(ModelConfig config, const TensorSource& weights);
  // Reads config.json and model.safetensors (or the shards listed in
  // model.safetensors.index.json) from `folder`.
  static Encoder from_folder(const std::filesystem::path& folder);

  Encoder(Encoder&&) = default;
  Encoder& operator=(Encoder&&) = default;

  // One unpadded sequence; `token_type_ids` may be empty (all zero).
  // Throws std::invalid_argument for an empty or over-long sequence, an id
  // outside the vocabulary or a token type outside the type table.
  Logits forward(std::span<const int32_t> input_ids,
                 std::span<const int32_t> token_type_ids = {}) const;

  const ModelConfig& config() const { return config_; }
  size_t num_labels() const { return config_.id2label.size(); }
  // Longest input, special tokens included.
  size_t max_sequence_length() const { return config_.max_sequence_length(); }

 private:
  struct Layer {
    std::vector<float> qkv_w, qkv_b;  // query, key and value stacked: [3h, h]
    std::vector<float> out_w, out_b;
    std::vector<float> ln1_g, ln1_b;
    std::vector<float> ff1_w, ff1_b;
    std::vector<float> ff2_w, ff2_b;
    std::vector<float> ln2_g, ln2_b;
  };

  ModelConfig config_;
  std::vector<float> word_emb_, pos_emb_, type_emb_, emb_ln_g_, emb_ln_b_;
  std::vector<Layer> layers_;
  std::vector<float> cls_w_, cls_b_;
};

}  // namespace tesk_privacy::inference
