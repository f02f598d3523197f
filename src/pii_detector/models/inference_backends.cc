#include "pii_detector/models/inference_backends.h"

#include <stdexcept>

#include "tesk_privacy/core/logger.h"

namespace tesk_privacy::pii_detector {
namespace {

class NativeBackends : public InferenceBackends {
 public:
  bool onnx_available() const override { return false; }
  bool onnx_cuda_available() const override { return false; }
  bool openvino_available() const override { return false; }
  bool cuda_available() const override { return false; }
  bool mps_available() const override { return false; }

  std::shared_ptr<const NerPipeline> load_onnx(const PipelineRequest&, const std::string&,
                                               const std::optional<SessionOptions>&) const override {
    throw std::runtime_error("ONNX Runtime is not part of this build");
  }
  std::shared_ptr<const NerPipeline> load_openvino(
      const PipelineRequest&, const std::vector<std::pair<std::string, std::string>>&) const override {
    throw std::runtime_error("OpenVINO is not part of this build");
  }
  std::shared_ptr<const NerPipeline> load_mps(const PipelineRequest&) const override {
    throw std::runtime_error("the MPS device is not available on this machine");
  }
  std::shared_ptr<const NerPipeline> load_standard(const PipelineRequest& request,
                                                   const Device& device) const override {
    // The encoder runs on the CPU only; a GPU index or device name other
    // than the CPU's cannot be honoured.
    const bool cpu = std::holds_alternative<int64_t>(device) ? std::get<int64_t>(device) == -1
                                                              : std::get<std::string>(device) == "cpu";
    if (!cpu) {
      throw std::runtime_error("device " + device_to_string(device) +
                               " is not available: the native encoder runs on the CPU only");
    }
    if (!request.tokenizer) throw std::invalid_argument("load_standard: no tokenizer");
    return NativeNerPipeline::load(request.model_path, *request.tokenizer, request.aggregation_strategy,
                                   request.ignore_labels, "transformers", "cpu");
  }
};

}  // namespace

std::string device_to_string(const Device& device) {
  if (const auto* i = std::get_if<int64_t>(&device)) return std::to_string(*i);
  return std::get<std::string>(device);
}

const std::shared_ptr<const InferenceBackends>& native_inference_backends() {
  static const std::shared_ptr<const InferenceBackends> backends = [] {
    auto& log = core::LoggerManager().get_logger("tesk_privacy.pii_detector.recognizer.transformers_recognizer");
    log.info("optimum-onnxruntime not available");
    log.info("optimum-intel[openvino] not available");
    return std::make_shared<const NativeBackends>();
  }();
  return backends;
}

}  // namespace tesk_privacy::pii_detector
