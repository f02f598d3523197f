// InferenceBackends: what the inference backend manager may ask of the
// machine — which optional runtimes are installed (ONNX Runtime with or
// without its CUDA provider, OpenVINO), which accelerators are visible
// (CUDA, Apple MPS) — and the loaders that build a pipeline on each
// backend. A loader throws when it cannot build; the manager falls back.
//
// native_inference_backends() describes this build: no optional runtime and
// no accelerator, so only the standard loader works, running this library's
// own encoder on the CPU. Tests derive from the class to pretend backends
// exist or fail.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "pii_detector/models/locked_tokenizer.h"
#include "pii_detector/models/ner_pipeline.h"

namespace tesk_privacy::pii_detector {

// A pipeline device: a GPU index (-1 for the CPU) or a name ("cpu", "cuda", "mps").
using Device = std::variant<int64_t, std::string>;
// "-1", "0", "cpu", "mps", ...
std::string device_to_string(const Device& device);

// ONNX Runtime session settings; absent counts keep the runtime's defaults.
struct SessionOptions {
  std::optional<int64_t> intra_op_num_threads;
  std::optional<int64_t> inter_op_num_threads;
  bool operator==(const SessionOptions&) const = default;
};

// What every loader gets: the model, its tokenizer, and the pipeline options.
struct PipelineRequest {
  std::string model_path;
  std::shared_ptr<const LockedTokenizer> tokenizer;
  std::string aggregation_strategy = "simple";
  std::optional<std::vector<std::string>> ignore_labels;
};

class InferenceBackends {
 public:
  virtual ~InferenceBackends() = default;

  // ONNX Runtime and optimum's ONNX model class are installed.
  virtual bool onnx_available() const = 0;
  // ONNX Runtime lists "CUDAExecutionProvider".
  virtual bool onnx_cuda_available() const = 0;
  // optimum-intel's OpenVINO model class is installed.
  virtual bool openvino_available() const = 0;
  // A CUDA device is visible.
  virtual bool cuda_available() const = 0;
  // Apple's MPS device is visible.
  virtual bool mps_available() const = 0;

  // An ONNX Runtime model on `provider` ("CUDAExecutionProvider" or
  // "CPUExecutionProvider"), pipeline device -1.
  virtual std::shared_ptr<const NerPipeline> load_onnx(const PipelineRequest& request, const std::string& provider,
                                                       const std::optional<SessionOptions>& session_options) const = 0;
  // An OpenVINO model on its "CPU" device, compiled with `ov_config`.
  virtual std::shared_ptr<const NerPipeline> load_openvino(
      const PipelineRequest& request, const std::vector<std::pair<std::string, std::string>>& ov_config) const = 0;
  // A 16-bit model on the MPS device.
  virtual std::shared_ptr<const NerPipeline> load_mps(const PipelineRequest& request) const = 0;
  // The plain pipeline on `device`.
  virtual std::shared_ptr<const NerPipeline> load_standard(const PipelineRequest& request,
                                                           const Device& device) const = 0;
};

// This build's backends (shared, immutable). Its first use logs, on the
// transformer recognizer's logger, which optional runtimes are missing.
const std::shared_ptr<const InferenceBackends>& native_inference_backends();

}  // namespace tesk_privacy::pii_detector
