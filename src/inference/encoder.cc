#include "inference/encoder.h"

#include <cblas.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <stdexcept>
#include <string>

#include "inference/safetensors_reader.h"

namespace tesk_privacy::inference {
namespace {

// Reads tensors under one name prefix and checks their shapes.
class WeightReader {
 public:
  WeightReader(const TensorSource& source, std::string prefix)
      : source_(source), prefix_(std::move(prefix)) {}

  std::vector<float> take(const std::string& name, const std::vector<size_t>& shape,
                          bool prefixed = true) const {
    std::string full = (prefixed ? prefix_ : "") + name;
    if (!source_.contains(full)) {
      // Checkpoints converted from TensorFlow name layer-norm parameters gamma and beta.
      std::string alt = full;
      if (ends_with(alt, "LayerNorm.weight")) alt.replace(alt.size() - 6, 6, "gamma");
      else if (ends_with(alt, "LayerNorm.bias")) alt.replace(alt.size() - 4, 4, "beta");
      if (alt == full || !source_.contains(alt)) {
        throw std::runtime_error(source_.origin() + ": missing tensor '" + full + "'");
      }
      full = alt;
    }
    Tensor t = source_.load(full);
    if (t.shape != shape) {
      throw std::runtime_error(source_.origin() + ": tensor '" + full + "' has shape " +
                               shape_string(t.shape) + ", but config.json implies " +
                               shape_string(shape));
    }
    return std::move(t.data);
  }

 private:
  static bool ends_with(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
  }

  const TensorSource& source_;
  std::string prefix_;
};

// C[m, n] = alpha · A[m, k] · B[n, k]ᵀ + beta · C, all row-major.
void matmul_bt(const float* a, size_t lda, const float* b, size_t ldb, float* c, size_t ldc,
               size_t m, size_t n, size_t k, float alpha = 1.0f, float beta = 0.0f) {
  cblas_sgemm(CblasRowMajor, CblasNoTrans, CblasTrans, static_cast<int>(m), static_cast<int>(n),
              static_cast<int>(k), alpha, a, static_cast<int>(lda), b, static_cast<int>(ldb), beta,
              c, static_cast<int>(ldc));
}

// C[m, n] = A[m, k] · B[k, n], all row-major.
void matmul(const float* a, size_t lda, const float* b, size_t ldb, float* c, size_t ldc, size_t m,
            size_t n, size_t k) {
  cblas_sgemm(CblasRowMajor, CblasNoTrans, CblasNoTrans, static_cast<int>(m), static_cast<int>(n),
              static_cast<int>(k), 1.0f, a, static_cast<int>(lda), b, static_cast<int>(ldb), 0.0f,
              c, static_cast<int>(ldc));
}

// y = x · Wᵀ + b for the n rows of x; W is [out, in] as stored.
void linear(const float* x, size_t n, size_t in, const std::vector<float>& w,
            const std::vector<float>& b, float* y) {
  const size_t out = b.size();
  matmul_bt(x, in, w.data(), in, y, out, n, out, in);
  for (size_t r = 0; r < n; ++r) {
    float* row = y + r * out;
    for (size_t j = 0; j < out; ++j) row[j] += b[j];
  }
}

// x = LayerNorm(x + residual) over rows of width h (residual may be null).
void add_layer_norm(float* x, const float* residual, size_t n, size_t h, const std::vector<float>& g,
                    const std::vector<float>& b, float eps) {
  for (size_t r = 0; r < n; ++r) {
    float* row = x + r * h;
    if (residual != nullptr) {
      const float* res = residual + r * h;
      for (size_t j = 0; j < h; ++j) row[j] += res[j];
    }
    double mean = 0;
    for (size_t j = 0; j < h; ++j) mean += row[j];
    mean /= static_cast<double>(h);
    double var = 0;
    for (size_t j = 0; j < h; ++j) var += (row[j] - mean) * (row[j] - mean);
    var /= static_cast<double>(h);
    const float inv = static_cast<float>(1.0 / std::sqrt(var + static_cast<double>(eps)));
    const float m = static_cast<float>(mean);
    for (size_t j = 0; j < h; ++j) row[j] = (row[j] - m) * inv * g[j] + b[j];
  }
}

void activate(float* x, size_t count, Activation act) {
  switch (act) {
    case Activation::kGelu:
      for (size_t i = 0; i < count; ++i) x[i] = 0.5f * x[i] * (1.0f + std::erf(x[i] * 0.70710678118654752f));
      break;
    case Activation::kGeluTanh:
      for (size_t i = 0; i < count; ++i) {
        float v = x[i];
        x[i] = 0.5f * v * (1.0f + std::tanh(0.7978845608028654f * (v + 0.044715f * v * v * v)));
      }
      break;
    case Activation::kQuickGelu:
      for (size_t i = 0; i < count; ++i) x[i] = x[i] / (1.0f + std::exp(-1.702f * x[i]));
      break;
    case Activation::kRelu:
      for (size_t i = 0; i < count; ++i) x[i] = std::max(x[i], 0.0f);
      break;
    case Activation::kSilu:
      for (size_t i = 0; i < count; ++i) x[i] = x[i] / (1.0f + std::exp(-x[i]));
      break;
    case Activation::kTanh:
      for (size_t i = 0; i < count; ++i) x[i] = std::tanh(x[i]);
      break;
  }
}

void softmax_rows(float* x, size_t n, size_t width) {
  for (size_t r = 0; r < n; ++r) {
    float* row = x + r * width;
    float mx = *std::max_element(row, row + width);
    float sum = 0;
    for (size_t j = 0; j < width; ++j) {
      row[j] = std::exp(row[j] - mx);
      sum += row[j];
    }
    const float inv = 1.0f / sum;
    for (size_t j = 0; j < width; ++j) row[j] *= inv;
  }
}

std::string pick_prefix(const TensorSource& source, const ModelConfig& config) {
  const char* base = config.architecture == Architecture::kDistilBert ? "distilbert."
                     : config.architecture == Architecture::kRoberta  ? "roberta."
                                                                      : "bert.";
  for (std::string prefix : {std::string(base), std::string()}) {
    if (source.contains(prefix + "embeddings.word_embeddings.weight")) return prefix;
  }
  throw std::runtime_error(source.origin() + ": no tensor '" + base +
                           "embeddings.word_embeddings.weight' (nor one without the prefix); "
                           "the weights do not belong to a " + config.model_type + " model");
}

}  // namespace

Encoder::Encoder(ModelConfig config, const TensorSource& weights) : config_(std::move(config)) {
  const ModelConfig& c = config_;
  const size_t h = c.hidden_size, ff = c.intermediate_size, labels = c.id2label.size();
  const bool distil = c.architecture == Architecture::kDistilBert;
  WeightReader w(weights, pick_prefix(weights, c));

  word_emb_ = w.take("embeddings.word_embeddings.weight", {c.vocab_size, h});
  pos_emb_ = w.take("embeddings.position_embeddings.weight", {c.max_position_embeddings, h});
  if (!distil) type_emb_ = w.take("embeddings.token_type_embeddings.weight", {c.type_vocab_size, h});
  emb_ln_g_ = w.take("embeddings.LayerNorm.weight", {h});
  emb_ln_b_ = w.take("embeddings.LayerNorm.bias", {h});

  for (size_t i = 0; i < c.num_hidden_layers; ++i) {
    Layer layer;
    const std::string p = (distil ? "transformer.layer." : "encoder.layer.") + std::to_string(i) + ".";
    const std::string q = distil ? p + "attention.q_lin" : p + "attention.self.query";
    const std::string k = distil ? p + "attention.k_lin" : p + "attention.self.key";
    const std::string v = distil ? p + "attention.v_lin" : p + "attention.self.value";
    for (const std::string& name : {q, k, v}) {
      auto part = w.take(name + ".weight", {h, h});
      layer.qkv_w.insert(layer.qkv_w.end(), part.begin(), part.end());
      auto bias = w.take(name + ".bias", {h});
      layer.qkv_b.insert(layer.qkv_b.end(), bias.begin(), bias.end());
    }
    const std::string out = distil ? p + "attention.out_lin" : p + "attention.output.dense";
    layer.out_w = w.take(out + ".weight", {h, h});
    layer.out_b = w.take(out + ".bias", {h});
    const std::string ln1 = distil ? p + "sa_layer_norm" : p + "attention.output.LayerNorm";
    layer.ln1_g = w.take(ln1 + ".weight", {h});
    layer.ln1_b = w.take(ln1 + ".bias", {h});
    const std::string ff1 = distil ? p + "ffn.lin1" : p + "intermediate.dense";
    layer.ff1_w = w.take(ff1 + ".weight", {ff, h});
    layer.ff1_b = w.take(ff1 + ".bias", {ff});
    const std::string ff2 = distil ? p + "ffn.lin2" : p + "output.dense";
    layer.ff2_w = w.take(ff2 + ".weight", {h, ff});
    layer.ff2_b = w.take(ff2 + ".bias", {h});
    const std::string ln2 = distil ? p + "output_layer_norm" : p + "output.LayerNorm";
    layer.ln2_g = w.take(ln2 + ".weight", {h});
    layer.ln2_b = w.take(ln2 + ".bias", {h});
    layers_.push_back(std::move(layer));
  }

  if (!weights.contains("classifier.weight")) {
    throw std::runtime_error(weights.origin() +
                             ": no token-classification head (tensor 'classifier.weight')");
  }
  cls_w_ = w.take("classifier.weight", {labels, h}, /*prefixed=*/false);
  cls_b_ = w.take("classifier.bias", {labels}, /*prefixed=*/false);
}

Encoder Encoder::from_folder(const std::filesystem::path& folder) {
  ModelConfig config = ModelConfig::from_file(folder / "config.json");
  const auto single = folder / "model.safetensors";
  const auto index = folder / "model.safetensors.index.json";
  if (std::filesystem::exists(single)) return Encoder(std::move(config), SafetensorsFile(single));
  if (std::filesystem::exists(index)) return Encoder(std::move(config), ShardedSafetensors(index));
  std::string hint;
  if (std::filesystem::exists(folder / "pytorch_model.bin")) {
    hint = " (pytorch_model.bin is present, but only safetensors weights can be read)";
  }
  throw std::runtime_error(folder.string() + ": no model.safetensors or model.safetensors.index.json" + hint);
}

Logits Encoder::forward(std::span<const int32_t> ids, std::span<const int32_t> types) const {
  const ModelConfig& c = config_;
  const size_t n = ids.size(), h = c.hidden_size, ff = c.intermediate_size;
  const size_t heads = c.num_attention_heads, d = h / heads;
  if (n == 0) throw std::invalid_argument("forward: empty input");
  if (n > max_sequence_length()) {
    throw std::invalid_argument("forward: " + std::to_string(n) + " tokens exceed the model's " +
                                std::to_string(max_sequence_length()) + " positions");
  }
  if (!types.empty() && types.size() != n) {
    throw std::invalid_argument("forward: " + std::to_string(types.size()) +
                                " token type ids for " + std::to_string(n) + " input ids");
  }

  // Embeddings. The RoBERTa family numbers positions after the padding id
  // and gives padding tokens the padding position itself.
  std::vector<float> x(n * h);
  int64_t running = 0;
  for (size_t t = 0; t < n; ++t) {
    const int32_t id = ids[t];
    if (id < 0 || static_cast<size_t>(id) >= c.vocab_size) {
      throw std::invalid_argument("forward: token id " + std::to_string(id) + " at position " +
                                  std::to_string(t) + " is outside the vocabulary of " +
                                  std::to_string(c.vocab_size));
    }
    size_t pos = t;
    if (c.architecture == Architecture::kRoberta) {
      if (id == c.pad_token_id) {
        pos = static_cast<size_t>(c.pad_token_id);
      } else {
        pos = static_cast<size_t>(c.pad_token_id + ++running);
      }
    }
    const int32_t type = types.empty() ? 0 : types[t];
    if (type < 0 || (c.architecture == Architecture::kDistilBert ? type != 0
                                                                  : static_cast<size_t>(type) >= c.type_vocab_size)) {
      throw std::invalid_argument("forward: token type " + std::to_string(type) + " at position " +
                                  std::to_string(t) + " is outside the model's " +
                                  std::to_string(c.type_vocab_size) + " token types");
    }
    float* row = x.data() + t * h;
    const float* we = word_emb_.data() + static_cast<size_t>(id) * h;
    const float* pe = pos_emb_.data() + pos * h;
    for (size_t j = 0; j < h; ++j) row[j] = we[j] + pe[j];
    if (!type_emb_.empty()) {
      const float* te = type_emb_.data() + static_cast<size_t>(type) * h;
      for (size_t j = 0; j < h; ++j) row[j] += te[j];
    }
  }
  add_layer_norm(x.data(), nullptr, n, h, emb_ln_g_, emb_ln_b_, c.layer_norm_eps);

  std::vector<float> qkv(n * 3 * h), scores(n * n), ctx(n * h), tmp(n * h), inner(n * ff);
  const float scale = 1.0f / std::sqrt(static_cast<float>(d));
  for (const Layer& layer : layers_) {
    linear(x.data(), n, h, layer.qkv_w, layer.qkv_b, qkv.data());
    for (size_t head = 0; head < heads; ++head) {
      const float* q = qkv.data() + head * d;
      const float* k = qkv.data() + h + head * d;
      const float* v = qkv.data() + 2 * h + head * d;
      matmul_bt(q, 3 * h, k, 3 * h, scores.data(), n, n, n, d, scale);
      softmax_rows(scores.data(), n, n);
      matmul(scores.data(), n, v, 3 * h, ctx.data() + head * d, h, n, d, n);
    }
    linear(ctx.data(), n, h, layer.out_w, layer.out_b, tmp.data());
    add_layer_norm(x.data(), tmp.data(), n, h, layer.ln1_g, layer.ln1_b, c.layer_norm_eps);
    linear(x.data(), n, h, layer.ff1_w, layer.ff1_b, inner.data());
    activate(inner.data(), inner.size(), c.activation);
    linear(inner.data(), n, ff, layer.ff2_w, layer.ff2_b, tmp.data());
    add_layer_norm(x.data(), tmp.data(), n, h, layer.ln2_g, layer.ln2_b, c.layer_norm_eps);
  }

  Logits logits;
  logits.rows = n;
  logits.cols = num_labels();
  logits.values.resize(n * logits.cols);
  linear(x.data(), n, h, cls_w_, cls_b_, logits.values.data());
  return logits;
}

}  // namespace tesk_privacy::inference
