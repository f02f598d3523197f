// NerPipeline: a token-classification pipeline as the transformer
// recognizer runs it — a callable from a text to labelled spans — together
// with where it runs (backend and device). NativeNerPipeline is the one
// this library builds itself: the inference layer's
// TokenClassificationPipeline on the CPU.
//
//   auto ner = NativeNerPipeline::load("models/ner", tokenizer, "simple", {{"O"}});
//   for (const auto& p : (*ner)("Budi tinggal di Jakarta")) p.entity_group;  // "PER"
//
// Pipelines are immutable; calls may run on several threads at once.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "inference/token_classification_pipeline.h"
#include "pii_detector/models/locked_tokenizer.h"

namespace tesk_privacy::pii_detector {

class NerPipeline {
 public:
  virtual ~NerPipeline() = default;
  // Predictions in text order, offsets in code points of `text`.
  virtual std::vector<inference::EntityPrediction> operator()(std::string_view text) const = 0;
  // The backend that runs the model: "transformers", "onnx", "cuda", "openvino" or "mps".
  virtual std::string backend() const = 0;
  // "cpu", "cuda:0", "mps", ...
  virtual std::string device() const = 0;
  // The model behind the pipeline, when it is one of this library's encoders.
  virtual std::shared_ptr<const inference::Encoder> model() const { return nullptr; }
  // Whether the model computes in 16-bit floating point.
  virtual bool is_fp16() const { return false; }
};

class NativeNerPipeline : public NerPipeline {
 public:
  // `model` is the encoder `pipeline` runs.
  NativeNerPipeline(inference::TokenClassificationPipeline pipeline, std::shared_ptr<const inference::Encoder> model,
                    std::string backend = "transformers", std::string device = "cpu")
      : pipeline_(std::move(pipeline)),
        model_(std::move(model)),
        backend_(std::move(backend)),
        device_(std::move(device)) {}

  // Loads the encoder of `model_path` (a folder or a cached hub model) and
  // pairs it with `tokenizer`. An absent or empty `ignore_labels` means
  // {"O"}. Throws inference::ModelNotFoundError for a missing model and
  // std::invalid_argument for an unknown aggregation strategy.
  static std::shared_ptr<const NativeNerPipeline> load(const std::string& model_path, const LockedTokenizer& tokenizer,
                                                       const std::string& aggregation_strategy,
                                                       const std::optional<std::vector<std::string>>& ignore_labels,
                                                       std::string backend = "transformers",
                                                       std::string device = "cpu");

  std::vector<inference::EntityPrediction> operator()(std::string_view text) const override { return pipeline_(text); }
  std::string backend() const override { return backend_; }
  std::string device() const override { return device_; }
  std::shared_ptr<const inference::Encoder> model() const override { return model_; }
  const inference::TokenClassificationPipeline& pipeline() const { return pipeline_; }

 private:
  inference::TokenClassificationPipeline pipeline_;
  std::shared_ptr<const inference::Encoder> model_;
  std::string backend_;
  std::string device_;
};

}  // namespace tesk_privacy::pii_detector
