// Encoder throughput: tokens per second of a BERT-base-sized encoder (random
// weights; 12 layers, hidden size 768, 12 heads, intermediate size 3072) on
// sequences of 128 and 512 tokens, beside the single-precision matrix-product
// rate OpenBLAS reaches on the same machine in the same run.
//
// Run on one core: OPENBLAS_NUM_THREADS=1 ./encoder_bench
// The "GFLOP/s" counter of the encoder runs counts the arithmetic of the
// forward pass (matrix products and attention), so it compares directly with
// the sgemm rows.
#include <benchmark/benchmark.h>
#include <cblas.h>

#include <memory>
#include <random>

#include "bert_tensors.h"
#include "inference/encoder.h"

namespace {

using tesk_privacy::inference::Encoder;
using tesk_privacy::inference::ModelConfig;
using tesk_privacy::inference::Tensor;
using tesk_privacy::inference::TensorMap;

constexpr size_t kHidden = 768, kLayers = 12, kHeads = 12, kInner = 3072, kVocab = 30522, kLabels = 9;

ModelConfig base_config() {
  ModelConfig c = ModelConfig::from_json(R"({"model_type": "bert", "vocab_size": 30522, "hidden_size": 768,
      "num_hidden_layers": 12, "num_attention_heads": 12, "intermediate_size": 3072, "hidden_act": "gelu",
      "max_position_embeddings": 512, "type_vocab_size": 2, "layer_norm_eps": 1e-12,
      "id2label": {"0": "O", "1": "B-PER", "2": "I-PER", "3": "B-LOC", "4": "I-LOC", "5": "B-ORG",
                   "6": "I-ORG", "7": "B-MISC", "8": "I-MISC"}})");
  return c;
}

const Encoder& base_encoder() {
  static const std::unique_ptr<Encoder> encoder = [] {
    std::mt19937 rng(7);
    std::normal_distribution<float> normal(0.0f, 0.02f);
    TensorMap weights;
    auto add = [&](const std::string& name, std::vector<size_t> shape, float fill = -1) {
      size_t n = 1;
      for (size_t d : shape) n *= d;
      Tensor t{shape, std::vector<float>(n)};
      for (float& v : t.data) v = fill >= 0 ? fill : normal(rng);
      weights.add(name, std::move(t));
    };
    for_each_bert_tensor({kVocab, 512, kHidden, kInner, kLayers, kLabels}, add);
    return std::make_unique<Encoder>(base_config(), weights);
  }();
  return *encoder;
}

// Arithmetic of one forward pass over n tokens.
double forward_flops(double n) {
  const double h = kHidden, f = kInner;
  const double per_layer = 2 * n * (4 * h * h + 2 * h * f) + 4 * n * n * h;
  return kLayers * per_layer + 2 * n * h * kLabels;
}

void BM_EncoderForward(benchmark::State& state) {
  const Encoder& encoder = base_encoder();
  const size_t n = static_cast<size_t>(state.range(0));
  std::mt19937 rng(11);
  std::uniform_int_distribution<int32_t> id(1000, static_cast<int32_t>(kVocab) - 1);
  std::vector<int32_t> ids(n);
  for (auto& v : ids) v = id(rng);
  ids.front() = 101;
  ids.back() = 102;
  for (auto _ : state) {
    auto logits = encoder.forward(ids);
    benchmark::DoNotOptimize(logits.values.data());
  }
  state.counters["tokens/s"] = benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["GFLOP/s"] = benchmark::Counter(forward_flops(static_cast<double>(n)) / 1e9,
                                                 benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_EncoderForward)->Arg(128)->Arg(512)->Unit(benchmark::kMillisecond)->UseRealTime();

// C[m, n] = A[m, k] · B[n, k]ᵀ, the product shape of the encoder's layers.
void BM_Sgemm(benchmark::State& state) {
  const int m = static_cast<int>(state.range(0)), n = static_cast<int>(state.range(1)),
            k = static_cast<int>(state.range(2));
  std::vector<float> a(static_cast<size_t>(m) * k, 0.5f), b(static_cast<size_t>(n) * k, 0.25f),
      c(static_cast<size_t>(m) * n);
  for (auto _ : state) {
    cblas_sgemm(CblasRowMajor, CblasNoTrans, CblasTrans, m, n, k, 1.0f, a.data(), k, b.data(), k, 0.0f, c.data(), n);
    benchmark::DoNotOptimize(c.data());
  }
  state.counters["GFLOP/s"] = benchmark::Counter(2.0 * m * n * k / 1e9, benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_Sgemm)
    ->Args({128, 3072, 768})
    ->Args({512, 3072, 768})
    ->Args({512, 768, 768})
    ->Args({2048, 2048, 2048})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
