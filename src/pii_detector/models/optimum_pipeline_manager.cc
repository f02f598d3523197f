#include "pii_detector/models/optimum_pipeline_manager.h"

#include <stdexcept>

#include "tesk_privacy/core/logger.h"

namespace tesk_privacy::pii_detector {
namespace {

const core::Logger& logger() {
  static const core::Logger& log =
      core::LoggerManager().get_logger("tesk_privacy.pii_detector.recognizer.transformers_recognizer");
  return log;
}

std::string config_text(const Configuration& config, const char* key, const char* fallback) {
  const ConfigValue* v = find_config(config, key);
  return v ? config_value_to_string(*v) : fallback;
}

// Missing or false-like values count as 0.
int64_t config_int(const Configuration& config, const char* key) {
  const ConfigValue* v = find_config(config, key);
  if (v == nullptr || config_value_is_false(*v)) return 0;
  return config_value_to_int(*v);
}

std::vector<std::string> labels_or_o(const std::optional<std::vector<std::string>>& labels) {
  return labels && !labels->empty() ? *labels : std::vector<std::string>{"O"};
}

}  // namespace

std::string optimizations_to_string(const Optimizations& optimizations) {
  std::string out = "{";
  for (size_t i = 0; i < optimizations.size(); ++i) {
    out += (i ? ", '" : "'") + optimizations[i].first + "': " + (optimizations[i].second ? "True" : "False");
  }
  return out + "}";
}

OptimumPipelineManager::OptimumPipelineManager(Configuration config, std::shared_ptr<const InferenceBackends> backends)
    : config_(std::move(config)), backends_(std::move(backends)) {
  if (!backends_) throw std::invalid_argument("OptimumPipelineManager: no inference backends");
  _detect_optimal_backend();
}

void OptimumPipelineManager::_detect_optimal_backend() {
  const std::string preference = config_text(config_, "OPTIMUM_BACKEND", "auto");
  const auto& b = *backends_;
  if (preference == "auto") {
    if (b.onnx_cuda_available() && b.cuda_available()) {
      backend_ = BACKEND_CUDA;
      logger().info("Using ONNX Runtime backend with CUDA provider");
    } else if (b.onnx_available()) {
      backend_ = BACKEND_ONNX;
      logger().info("Using ONNX Runtime backend with CPU provider for optimal NER performance");
    } else if (b.mps_available()) {
      backend_ = BACKEND_MPS;
      logger().info("Using Apple Silicon MPS backend for GPU acceleration");
    } else {
      backend_ = BACKEND_TRANSFORMERS;
      logger().info("Using standard transformers backend");
    }
  } else if ((preference == BACKEND_ONNX || preference == BACKEND_CUDA) && !b.onnx_available()) {
    logger().warning("ONNX backend requested but optimum-onnxruntime not available, falling back to transformers");
    backend_ = BACKEND_TRANSFORMERS;
  } else if (preference == BACKEND_CUDA && !b.cuda_available()) {
    logger().warning("CUDA backend requested but CUDA not available, falling back to ONNX CPU");
    backend_ = BACKEND_ONNX;
  } else if (preference == BACKEND_OPENVINO && !b.openvino_available()) {
    logger().warning(
        "OpenVINO backend requested but optimum-intel[openvino] not available, falling back to ONNX");
    backend_ = b.onnx_available() ? BACKEND_ONNX : BACKEND_TRANSFORMERS;
  } else {
    backend_ = preference;
  }
  logger().info("Backend preference = " + preference + ", used backend = " + backend_);
}

void OptimumPipelineManager::create_pipeline(const std::string& model_path,
                                             std::shared_ptr<const LockedTokenizer> tokenizer,
                                             const std::string& aggregation_strategy,
                                             std::optional<std::vector<std::string>> ignore_labels) {
  const Device device = _get_device();
  const PipelineRequest request{model_path, std::move(tokenizer), aggregation_strategy, std::move(ignore_labels)};
  const auto& b = *backends_;
  if (backend_ == BACKEND_CUDA && b.onnx_cuda_available()) {
    _create_cuda_pipeline(request);
  } else if (backend_ == BACKEND_ONNX && b.onnx_available()) {
    _create_onnx_pipeline(request);
  } else if (backend_ == BACKEND_OPENVINO && b.openvino_available()) {
    _create_openvino_pipeline(request);
  } else if (backend_ == BACKEND_MPS) {
    _create_mps_pipeline(request);
  } else {
    _create_standard_pipeline(request, device);
  }
}

Device OptimumPipelineManager::_get_device() const {
  const ConfigValue* v = find_config(config_, "OPTIMUM_DEVICE");
  if (v != nullptr) {
    if (const auto* i = std::get_if<int64_t>(v)) return *i;
    if (const auto* s = std::get_if<std::string>(v); s == nullptr || *s != "auto") return config_value_to_string(*v);
  }
  const auto& b = *backends_;
  if (backend_ == BACKEND_CUDA && b.cuda_available()) return std::string(DEVICE_CUDA);
  if (backend_ == BACKEND_ONNX) return std::string(DEVICE_CPU);
  if (b.mps_available()) return std::string(DEVICE_MPS);
  if (b.cuda_available()) return int64_t{0};
  return int64_t{-1};
}

std::optional<SessionOptions> OptimumPipelineManager::_create_session_options() const {
  if (!backends_->onnx_available()) {
    logger().warning("onnxruntime not available; skipping SessionOptions configuration.");
    return std::nullopt;
  }
  SessionOptions options;
  const int64_t intra = config_int(config_, "ONNX_INTRA_OP_THREADS");
  const int64_t inter = config_int(config_, "ONNX_INTER_OP_THREADS");
  if (intra > 0) {
    options.intra_op_num_threads = intra;
    logger().info("ONNX intra_op_num_threads set to " + std::to_string(intra));
  }
  if (inter > 0) {
    options.inter_op_num_threads = inter;
    logger().info("ONNX inter_op_num_threads set to " + std::to_string(inter));
  }
  return options;
}

void OptimumPipelineManager::finish(std::shared_ptr<const NerPipeline> pipeline) {
  if (!pipeline) throw std::runtime_error("the pipeline loader returned no pipeline");
  pipeline_ = std::move(pipeline);
}

void OptimumPipelineManager::_create_cuda_pipeline(const PipelineRequest& request) {
  try {
    logger().info("Creating ONNX Runtime pipeline with CUDA provider");
    PipelineRequest r = request;
    r.ignore_labels = labels_or_o(request.ignore_labels);
    finish(backends_->load_onnx(r, "CUDAExecutionProvider", _create_session_options()));
    logger().info("Successfully created ONNX pipeline with CUDA provider");
  } catch (const std::exception& e) {
    try {
      logger().info(std::string("ONNX CUDA pipeline creation failed: ") + e.what() + ", trying CPU provider");
      backend_ = BACKEND_ONNX;
      _create_onnx_pipeline(request);
    } catch (const std::exception& e2) {
      logger().warning(std::string("Failed to create ONNX CUDA pipeline: ") + e2.what() + ", falling back to standard");
      backend_ = BACKEND_TRANSFORMERS;
      _create_standard_pipeline(request, int64_t{-1});
    }
  }
}

void OptimumPipelineManager::_create_onnx_pipeline(const PipelineRequest& request) {
  try {
    logger().info("Creating ONNX Runtime pipeline with CPU provider");
    PipelineRequest r = request;
    r.ignore_labels = labels_or_o(request.ignore_labels);
    finish(backends_->load_onnx(r, "CPUExecutionProvider", _create_session_options()));
    logger().info("Successfully created ONNX pipeline with CPU provider");
  } catch (const std::exception& e) {
    logger().info(std::string("ONNX CPU pipeline creation failed: ") + e.what());
    logger().warning(std::string("Failed to create ONNX pipeline: ") + e.what() + ", falling back to standard");
    backend_ = BACKEND_TRANSFORMERS;
    _create_standard_pipeline(request, int64_t{-1});
  }
}

void OptimumPipelineManager::_create_openvino_pipeline(const PipelineRequest& request) {
  try {
    logger().info("Creating OpenVINO pipeline");
    const std::string hint = config_text(config_, "OPENVINO_PERFORMANCE_HINT", "THROUGHPUT");
    const std::string streams = config_text(config_, "OPENVINO_NUM_STREAMS", "AUTO");
    const ConfigValue* t = find_config(config_, "OPENVINO_INFERENCE_NUM_THREADS");
    const int64_t threads = t ? config_value_to_int(*t) : 0;
    std::vector<std::pair<std::string, std::string>> ov_config = {{"PERFORMANCE_HINT", hint},
                                                                  {"NUM_STREAMS", streams}};
    if (threads > 0) {
      ov_config.emplace_back("INFERENCE_NUM_THREADS", std::to_string(threads));
      logger().info("OpenVINO INFERENCE_NUM_THREADS set to " + std::to_string(threads));
    }
    PipelineRequest r = request;
    r.ignore_labels = labels_or_o(request.ignore_labels);
    auto pipeline = backends_->load_openvino(r, ov_config);
    std::string written = "{";
    for (size_t i = 0; i < ov_config.size(); ++i) {
      written += (i ? ", '" : "'") + ov_config[i].first + "': '" + ov_config[i].second + "'";
    }
    logger().info("OpenVINO model compiled with config: " + written + "}");
    finish(std::move(pipeline));
    logger().info("Successfully created OpenVINO pipeline");
  } catch (const std::exception& e) {
    logger().warning(std::string("Failed to create OpenVINO pipeline: ") + e.what() + ", falling back to ONNX");
    backend_ = BACKEND_ONNX;
    _create_onnx_pipeline(request);
  }
}

void OptimumPipelineManager::_create_mps_pipeline(const PipelineRequest& request) {
  try {
    logger().info("Creating Apple Silicon MPS pipeline");
    finish(backends_->load_mps(request));
    logger().info("Successfully created MPS pipeline for Apple Silicon");
  } catch (const std::exception& e) {
    logger().warning(std::string("Failed to create MPS pipeline: ") + e.what() + ", falling back to standard");
    backend_ = BACKEND_TRANSFORMERS;
    _create_standard_pipeline(request, int64_t{-1});
  }
}

void OptimumPipelineManager::_create_standard_pipeline(const PipelineRequest& request, const Device& device) {
  logger().info("Creating standard transformers pipeline");
  PipelineRequest r = request;
  r.ignore_labels = labels_or_o(request.ignore_labels);
  finish(backends_->load_standard(r, device));
}

BackendInfo OptimumPipelineManager::get_backend_info() const {
  return {backend_, _get_device(), _get_optimization_info()};
}

Optimizations OptimumPipelineManager::_get_optimization_info() const {
  Optimizations info = {{OPTIMIZATION_FP16, false}, {"quantization", false}, {OPTIMIZATION_ONNX_OPTIMIZATION, false}};
  if (backend_ == BACKEND_CUDA && pipeline_) info[0].second = pipeline_->is_fp16();
  if (backend_ == BACKEND_ONNX) info[2].second = true;
  return info;
}

void OptimumPipelineManager::set_backend(const std::string& backend) {
  set_config(config_, "OPTIMUM_BACKEND", backend);
  backend_ = backend;
}

}  // namespace tesk_privacy::pii_detector
