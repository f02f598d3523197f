// The tensors of a BERT encoder with a token-classification head, named and
// shaped as hub checkpoints store them, for benchmarks that build a model of
// that size from random weights.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct BertSizes {
  size_t vocab, positions, hidden, inner, layers, labels;
};

// Calls add(name, shape, fill) for every tensor; fill >= 0 asks for that
// constant (layer norms), fill < 0 for random values.
template <typename Add>
void for_each_bert_tensor(const BertSizes& s, Add add) {
  using Shape = std::vector<size_t>;
  add("bert.embeddings.word_embeddings.weight", Shape{s.vocab, s.hidden}, -1.0f);
  add("bert.embeddings.position_embeddings.weight", Shape{s.positions, s.hidden}, -1.0f);
  add("bert.embeddings.token_type_embeddings.weight", Shape{2, s.hidden}, -1.0f);
  add("bert.embeddings.LayerNorm.weight", Shape{s.hidden}, 1.0f);
  add("bert.embeddings.LayerNorm.bias", Shape{s.hidden}, 0.0f);
  for (size_t i = 0; i < s.layers; ++i) {
    const std::string p = "bert.encoder.layer." + std::to_string(i) + ".";
    for (const char* m : {"attention.self.query", "attention.self.key", "attention.self.value",
                          "attention.output.dense"}) {
      add(p + m + ".weight", Shape{s.hidden, s.hidden}, -1.0f);
      add(p + m + ".bias", Shape{s.hidden}, -1.0f);
    }
    add(p + "intermediate.dense.weight", Shape{s.inner, s.hidden}, -1.0f);
    add(p + "intermediate.dense.bias", Shape{s.inner}, -1.0f);
    add(p + "output.dense.weight", Shape{s.hidden, s.inner}, -1.0f);
    add(p + "output.dense.bias", Shape{s.hidden}, -1.0f);
    for (const char* ln : {"attention.output.LayerNorm", "output.LayerNorm"}) {
      add(p + ln + ".weight", Shape{s.hidden}, 1.0f);
      add(p + ln + ".bias", Shape{s.hidden}, 0.0f);
    }
  }
  add("classifier.weight", Shape{s.labels, s.hidden}, -1.0f);
  add("classifier.bias", Shape{s.labels}, -1.0f);
}
