// OptimumPipelineManager: picks the inference backend of the transformer
// recognizer's NER pipeline from a preference, the installed runtimes and
// the hardware, builds the pipeline on it, and falls back step by step when
// building fails: CUDA → ONNX on the CPU → standard on the CPU, OpenVINO →
// ONNX on the CPU → standard, MPS → standard. Only the standard builder's
// errors reach the caller.
//
//   OptimumPipelineManager manager(backend_config);   // OPTIMUM_BACKEND "auto", ...
//   manager.create_pipeline(model_path, tokenizer, "simple", {{"O"}});
//   manager.get_pipeline();        // what to run
//   manager.get_backend_info();    // {"transformers", -1, {fp16: false, ...}}
//
// The machine is asked through an InferenceBackends (native by default).
// A manager is filled by create_pipeline and only read afterwards; it has
// no lock, so a thread that changes it must not overlap its readers.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "pii_detector/models/inference_backends.h"
#include "pii_detector/models/ner_pipeline.h"
#include "pii_detector/recognizer/config.h"

namespace tesk_privacy::pii_detector {

inline constexpr const char* BACKEND_TRANSFORMERS = "transformers";
inline constexpr const char* BACKEND_ONNX = "onnx";
inline constexpr const char* BACKEND_CUDA = "cuda";
inline constexpr const char* BACKEND_OPENVINO = "openvino";
inline constexpr const char* BACKEND_MPS = "mps";
inline constexpr const char* DEVICE_CUDA = "cuda";
inline constexpr const char* DEVICE_CPU = "cpu";
inline constexpr const char* DEVICE_MPS = "mps";
inline constexpr const char* OPTIMIZATION_FP16 = "fp16";
inline constexpr const char* OPTIMIZATION_ONNX_OPTIMIZATION = "onnx_optimization";
inline constexpr const char* OPTIMIZATION_MPS_ACCELERATION = "mps_acceleration";

// Named flags in order, e.g. {{"fp16", false}, {"quantization", false}, ...}.
using Optimizations = std::vector<std::pair<std::string, bool>>;
// "{'fp16': False, 'quantization': False}".
std::string optimizations_to_string(const Optimizations& optimizations);

struct BackendInfo {
  std::string backend;
  Device device;
  Optimizations optimizations;
  bool operator==(const BackendInfo&) const = default;
};

class OptimumPipelineManager {
 public:
  // `config` holds OPTIMUM_BACKEND, OPTIMUM_DEVICE, ONNX_INTRA_OP_THREADS,
  // ONNX_INTER_OP_THREADS, OPENVINO_PERFORMANCE_HINT, OPENVINO_NUM_STREAMS
  // and OPENVINO_INFERENCE_NUM_THREADS; missing keys take their defaults.
  explicit OptimumPipelineManager(Configuration config,
                                  std::shared_ptr<const InferenceBackends> backends = native_inference_backends());

  // Chooses `backend` from the OPTIMUM_BACKEND preference and logs the choice.
  void _detect_optimal_backend();
  void create_pipeline(const std::string& model_path, std::shared_ptr<const LockedTokenizer> tokenizer,
                       const std::string& aggregation_strategy = "simple",
                       std::optional<std::vector<std::string>> ignore_labels = std::nullopt);
  // OPTIMUM_DEVICE unless "auto"; else from the backend and the hardware.
  Device _get_device() const;
  // Absent when ONNX Runtime is not installed. Throws std::invalid_argument
  // for a thread count that is not an integer.
  std::optional<SessionOptions> _create_session_options() const;

  void _create_cuda_pipeline(const PipelineRequest& request);
  void _create_onnx_pipeline(const PipelineRequest& request);
  void _create_openvino_pipeline(const PipelineRequest& request);
  void _create_mps_pipeline(const PipelineRequest& request);
  void _create_standard_pipeline(const PipelineRequest& request, const Device& device);

  const std::shared_ptr<const NerPipeline>& get_pipeline() const { return pipeline_; }
  BackendInfo get_backend_info() const;
  Optimizations _get_optimization_info() const;

  const Configuration& config() const { return config_; }
  const std::string& backend() const { return backend_; }
  const std::shared_ptr<const InferenceBackends>& backends() const { return backends_; }
  // Records `backend` as preference and as the backend in use, without
  // detection; the next create_pipeline builds on it.
  void set_backend(const std::string& backend);

 private:
  // The pipeline factory's last step, shared by every builder.
  void finish(std::shared_ptr<const NerPipeline> pipeline);

  Configuration config_;
  std::shared_ptr<const InferenceBackends> backends_;
  std::string backend_ = BACKEND_TRANSFORMERS;
  std::shared_ptr<const NerPipeline> pipeline_;
};

}  // namespace tesk_privacy::pii_detector
