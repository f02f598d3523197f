// A hand-weighted one-layer BERT token classifier whose prediction for a
// token depends only on the token's id, so tests know the expected labels in
// advance. Attention and feed-forward weights are zero, so every layer
// passes its input through layer normalisation unchanged; the classifier is
// `sharpness`·I over one hidden unit per label. The label probabilities of
// a token are therefore softmax(sharpness · standardise(embedding row)):
// a row 3·e_j gives label j the probability tiny_model_confidence(labels,
// sharpness), the most peaked distribution possible.
#pragma once

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "inference/test_files.h"

namespace tesk_privacy::inference::testing {

inline float tiny_model_confidence(size_t labels, float sharpness) {
  // Normalised 3·e_j: the label column is (L-1)/σ', the others -1/σ'.
  const double l = static_cast<double>(labels);
  const double sigma = std::sqrt((l - 1) / (l * l));  // std of e_j
  const double hi = (1 - 1 / l) / sigma * sharpness, lo = (-1 / l) / sigma * sharpness;
  return static_cast<float>(std::exp(hi) / (std::exp(hi) + (l - 1) * std::exp(lo)));
}

// Writes config.json and model.safetensors into `folder`; row `id` of
// `embeddings` (one value per label) is the word embedding of token `id`.
inline void write_tiny_model(const std::filesystem::path& folder, const std::vector<std::vector<float>>& embeddings,
                             const std::vector<std::string>& labels, float sharpness = 4.0f,
                             const std::string& model_type = "bert") {
  const size_t h = labels.size(), v = embeddings.size(), positions = 64;
  nlohmann::json config = {{"model_type", model_type},
                           {"vocab_size", v},
                           {"hidden_size", h},
                           {"num_hidden_layers", 1},
                           {"num_attention_heads", 1},
                           {"intermediate_size", h},
                           {"hidden_act", "gelu"},
                           {"max_position_embeddings", positions},
                           {"type_vocab_size", 1},
                           {"layer_norm_eps", 1e-5},
                           {"pad_token_id", model_type == "bert" ? 0 : 1}};
  for (size_t i = 0; i < labels.size(); ++i) config["id2label"][std::to_string(i)] = labels[i];
  write_file(folder / "config.json", config.dump(1));

  const std::string prefix = model_type == "bert" ? "bert." : "roberta.";
  std::vector<RawTensor> t;
  auto add = [&](const std::string& name, std::vector<size_t> shape, std::vector<float> values) {
    t.push_back({name, "F32", std::move(shape), f32_bytes(values)});
  };
  auto zeros = [](size_t n) { return std::vector<float>(n, 0.0f); };
  auto ones = [](size_t n) { return std::vector<float>(n, 1.0f); };
  std::vector<float> words;
  for (const auto& row : embeddings) words.insert(words.end(), row.begin(), row.end());
  std::vector<float> classifier(h * h, 0.0f);
  for (size_t j = 0; j < h; ++j) classifier[j * h + j] = sharpness;

  add(prefix + "embeddings.word_embeddings.weight", {v, h}, words);
  add(prefix + "embeddings.position_embeddings.weight", {positions, h}, zeros(positions * h));
  add(prefix + "embeddings.token_type_embeddings.weight", {1, h}, zeros(h));
  add(prefix + "embeddings.LayerNorm.weight", {h}, ones(h));
  add(prefix + "embeddings.LayerNorm.bias", {h}, zeros(h));
  const std::string l = prefix + "encoder.layer.0.";
  for (const char* name : {"attention.self.query", "attention.self.key", "attention.self.value",
                           "attention.output.dense", "intermediate.dense", "output.dense"}) {
    add(l + name + ".weight", {h, h}, zeros(h * h));
    add(l + name + ".bias", {h}, zeros(h));
  }
  for (const char* name : {"attention.output.LayerNorm", "output.LayerNorm"}) {
    add(l + name + ".weight", {h}, ones(h));
    add(l + name + ".bias", {h}, zeros(h));
  }
  add("classifier.weight", {h, h}, classifier);
  add("classifier.bias", {h}, zeros(h));
  write_file(folder / "model.safetensors", safetensors_bytes(t));
}

// The same with the embedding of each id 3·e_j for its label j = label_of_id[id].
inline void write_tiny_model(const std::filesystem::path& folder, const std::vector<size_t>& label_of_id,
                             const std::vector<std::string>& labels, float sharpness = 4.0f,
                             const std::string& model_type = "bert") {
  std::vector<std::vector<float>> rows;
  for (size_t label : label_of_id) {
    rows.emplace_back(labels.size(), 0.0f);
    rows.back()[label] = 3.0f;
  }
  write_tiny_model(folder, rows, labels, sharpness, model_type);
}

}  // namespace tesk_privacy::inference::testing
