// ModelConfig: the parts of a model folder's `config.json` that the encoder
// needs — family, sizes, activation, layer-norm epsilon, padding id and the
// label names — read from either naming scheme (BERT/RoBERTa: hidden_size,
// num_hidden_layers, ...; DistilBERT: dim, n_layers, ...).
//
//   ModelConfig config = ModelConfig::from_file("model/config.json");
//   config.id2label[3];   // "B-LOC"
//
// Unsupported families, activations or position-embedding kinds and
// inconsistent sizes fail with std::runtime_error naming the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tesk_privacy::inference {

enum class Architecture {
  kBert,        // model_type "bert"
  kRoberta,     // "roberta", "xlm-roberta", "camembert": positions start at pad_token_id + 1
  kDistilBert,  // "distilbert": no token types
};

enum class Activation {
  kGelu,       // "gelu", "gelu_python": x·Φ(x) with the exact error function
  kGeluTanh,   // "gelu_new", "gelu_pytorch_tanh", "gelu_fast": tanh approximation
  kQuickGelu,  // "quick_gelu": x·σ(1.702x)
  kRelu,
  kSilu,  // "silu", "swish"
  kTanh,
};

struct ModelConfig {
  std::string model_type;
  Architecture architecture = Architecture::kBert;
  size_t vocab_size = 0;
  size_t hidden_size = 0;
  size_t num_hidden_layers = 0;
  size_t num_attention_heads = 0;
  size_t intermediate_size = 0;
  size_t max_position_embeddings = 0;
  size_t type_vocab_size = 0;  // 0 for DistilBERT
  Activation activation = Activation::kGelu;
  float layer_norm_eps = 1e-12f;
  int64_t pad_token_id = 0;
  std::vector<std::string> id2label;  // label name of each output column

  static ModelConfig from_file(const std::filesystem::path& path);
  // `origin` names the text in error messages.
  static ModelConfig from_json(std::string_view json, const std::string& origin = "config.json");

  // First position id of a sequence: pad_token_id + 1 in the RoBERTa family,
  // 0 otherwise.
  size_t position_offset() const;
  // Longest input, special tokens included, the position table can take.
  size_t max_sequence_length() const;
};

}  // namespace tesk_privacy::inference
