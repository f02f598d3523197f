// OptimumPipelineManager: backend choice for every preference and machine,
// the builder each backend gets, and every fallback chain, with a machine
// that pretends runtimes and devices exist or fail.
#include "pii_detector/models/optimum_pipeline_manager.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "log_capture.h"

namespace tesk_privacy::pii_detector {
namespace {

class StubPipeline : public NerPipeline {
 public:
  StubPipeline(std::string backend, std::string device) : backend_(std::move(backend)), device_(std::move(device)) {}
  std::vector<inference::EntityPrediction> operator()(std::string_view) const override { return {}; }
  std::string backend() const override { return backend_; }
  std::string device() const override { return device_; }
  bool is_fp16() const override { return true; }

 private:
  std::string backend_, device_;
};

// A machine with the given runtimes and devices; loaders named in `failing`
// ("onnx-cuda", "onnx-cpu", "openvino", "mps", "standard") throw "boom".
struct FakeMachine : InferenceBackends {
  bool onnx = false, onnx_cuda = false, openvino = false, cuda = false, mps = false;
  std::set<std::string> failing;
  mutable std::vector<std::string> calls;  // loader and what it was given
  mutable std::optional<SessionOptions> last_session;
  mutable std::vector<std::pair<std::string, std::string>> last_ov_config;
  mutable std::optional<std::vector<std::string>> last_ignore_labels;

  bool onnx_available() const override { return onnx; }
  bool onnx_cuda_available() const override { return onnx_cuda; }
  bool openvino_available() const override { return openvino; }
  bool cuda_available() const override { return cuda; }
  bool mps_available() const override { return mps; }

  std::shared_ptr<const NerPipeline> build(const std::string& name, const std::string& backend,
                                           const std::string& device, const PipelineRequest& r,
                                           const std::string& suffix = "") const {
    calls.push_back(name + suffix);
    last_ignore_labels = r.ignore_labels;
    if (failing.count(name)) throw std::runtime_error("boom");
    return std::make_shared<StubPipeline>(backend, device);
  }
  std::shared_ptr<const NerPipeline> load_onnx(const PipelineRequest& r, const std::string& provider,
                                               const std::optional<SessionOptions>& options) const override {
    last_session = options;
    const bool gpu = provider == "CUDAExecutionProvider";
    return build(gpu ? "onnx-cuda" : "onnx-cpu", gpu ? "cuda" : "onnx", gpu ? "cuda:0" : "cpu", r);
  }
  std::shared_ptr<const NerPipeline> load_openvino(
      const PipelineRequest& r, const std::vector<std::pair<std::string, std::string>>& ov) const override {
    last_ov_config = ov;
    return build("openvino", "openvino", "cpu", r);
  }
  std::shared_ptr<const NerPipeline> load_mps(const PipelineRequest& r) const override {
    return build("mps", "mps", "mps", r);
  }
  std::shared_ptr<const NerPipeline> load_standard(const PipelineRequest& r, const Device& device) const override {
    return build("standard", "transformers", device_to_string(device), r, "@" + device_to_string(device));
  }
};

using tesk_privacy::testing::LogCapture;

bool has(const tesk_privacy::testing::LogCapture& log, const std::string& line) {
  const auto l = log.lines();
  return std::find(l.begin(), l.end(), line) != l.end();
}

Configuration backend_config(const std::string& backend, ConfigValue device = std::string("auto")) {
  return {{"OPTIMUM_BACKEND", backend}, {"OPTIMUM_DEVICE", std::move(device)}};
}

TEST(OptimumPipelineManager, ChoosesTheBackend) {
  struct Case {
    std::string preference;
    bool onnx, onnx_cuda, openvino, cuda, mps;
    std::string expected, line;
  };
  const std::vector<Case> cases = {
      {"auto", true, true, false, true, false, "cuda", "INFO:Using ONNX Runtime backend with CUDA provider"},
      {"auto", true, true, false, false, false, "onnx",
       "INFO:Using ONNX Runtime backend with CPU provider for optimal NER performance"},
      {"auto", false, false, false, false, true, "mps", "INFO:Using Apple Silicon MPS backend for GPU acceleration"},
      {"auto", false, false, true, false, false, "transformers", "INFO:Using standard transformers backend"},
      {"onnx", false, false, false, true, false, "transformers",
       "WARNING:ONNX backend requested but optimum-onnxruntime not available, falling back to transformers"},
      {"cuda", false, false, false, true, false, "transformers",
       "WARNING:ONNX backend requested but optimum-onnxruntime not available, falling back to transformers"},
      {"cuda", true, true, false, false, false, "onnx",
       "WARNING:CUDA backend requested but CUDA not available, falling back to ONNX CPU"},
      {"cuda", true, false, false, true, false, "cuda", "INFO:Backend preference = cuda, used backend = cuda"},
      {"openvino", true, false, false, false, false, "onnx",
       "WARNING:OpenVINO backend requested but optimum-intel[openvino] not available, falling back to ONNX"},
      {"openvino", false, false, false, false, false, "transformers",
       "INFO:Backend preference = openvino, used backend = transformers"},
      {"openvino", false, false, true, false, false, "openvino",
       "INFO:Backend preference = openvino, used backend = openvino"},
      {"mps", false, false, false, false, false, "mps", "INFO:Backend preference = mps, used backend = mps"},
      {"tpu", false, false, false, false, false, "tpu", "INFO:Backend preference = tpu, used backend = tpu"},
  };
  for (const Case& c : cases) {
    auto machine = std::make_shared<FakeMachine>();
    machine->onnx = c.onnx;
    machine->onnx_cuda = c.onnx_cuda;
    machine->openvino = c.openvino;
    machine->cuda = c.cuda;
    machine->mps = c.mps;
    LogCapture log;
    OptimumPipelineManager manager(backend_config(c.preference), machine);
    EXPECT_EQ(manager.backend(), c.expected) << c.preference;
    EXPECT_TRUE(has(log, c.line)) << c.preference << " -> " << c.line;
    EXPECT_TRUE(has(log, "INFO:Backend preference = " + c.preference + ", used backend = " + c.expected));
  }
  // No preference at all counts as "auto".
  OptimumPipelineManager manager(Configuration{}, std::make_shared<FakeMachine>());
  EXPECT_EQ(manager.backend(), "transformers");
}

TEST(OptimumPipelineManager, BuildsAndFallsBack) {
  struct Case {
    std::string name;
    std::string preference;
    bool onnx, onnx_cuda, openvino, cuda, mps;
    std::set<std::string> failing;
    std::vector<std::string> calls;
    std::string final_backend;
    std::vector<std::string> lines;
  };
  const std::vector<Case> cases = {
      {"cuda builds", "cuda", true, true, false, true, false, {}, {"onnx-cuda"}, "cuda",
       {"INFO:Creating ONNX Runtime pipeline with CUDA provider",
        "INFO:Successfully created ONNX pipeline with CUDA provider"}},
      {"cuda falls back to the CPU provider", "cuda", true, true, false, true, false, {"onnx-cuda"},
       {"onnx-cuda", "onnx-cpu"}, "onnx",
       {"INFO:ONNX CUDA pipeline creation failed: boom, trying CPU provider",
        "INFO:Creating ONNX Runtime pipeline with CPU provider",
        "INFO:Successfully created ONNX pipeline with CPU provider"}},
      {"cuda falls back to standard on the CPU", "cuda", true, true, false, true, false, {"onnx-cuda", "onnx-cpu"},
       {"onnx-cuda", "onnx-cpu", "standard@-1"}, "transformers",
       {"INFO:ONNX CPU pipeline creation failed: boom",
        "WARNING:Failed to create ONNX pipeline: boom, falling back to standard",
        "INFO:Creating standard transformers pipeline"}},
      {"openvino falls back to ONNX", "openvino", true, false, true, false, false, {"openvino"},
       {"openvino", "onnx-cpu"}, "onnx",
       {"WARNING:Failed to create OpenVINO pipeline: boom, falling back to ONNX"}},
      {"openvino falls back to standard even without ONNX Runtime", "openvino", false, false, true, false, false,
       {"openvino", "onnx-cpu"}, {"openvino", "onnx-cpu", "standard@-1"}, "transformers", {}},
      {"mps falls back to standard", "mps", false, false, false, false, true, {"mps"}, {"mps", "standard@-1"},
       "transformers", {"WARNING:Failed to create MPS pipeline: boom, falling back to standard"}},
      {"mps builds", "auto", false, false, false, false, true, {}, {"mps"}, "mps",
       {"INFO:Successfully created MPS pipeline for Apple Silicon"}},
      {"cuda without the CUDA provider takes the standard row", "cuda", true, false, false, true, false, {},
       {"standard@cuda"}, "cuda", {}},
      {"unknown backend: standard on the MPS device", "tpu", false, false, false, true, true, {}, {"standard@mps"},
       "tpu", {}},
      {"unknown backend: standard on GPU 0", "tpu", false, false, false, true, false, {}, {"standard@0"}, "tpu", {}},
      {"unknown backend: standard on the CPU", "tpu", false, false, false, false, false, {}, {"standard@-1"}, "tpu",
       {}},
  };
  for (const Case& c : cases) {
    auto machine = std::make_shared<FakeMachine>();
    machine->onnx = c.onnx;
    machine->onnx_cuda = c.onnx_cuda;
    machine->openvino = c.openvino;
    machine->cuda = c.cuda;
    machine->mps = c.mps;
    machine->failing = c.failing;
    LogCapture log;
    OptimumPipelineManager manager(backend_config(c.preference), machine);
    manager.create_pipeline("model", nullptr, "simple", std::nullopt);
    EXPECT_EQ(machine->calls, c.calls) << c.name;
    EXPECT_EQ(manager.backend(), c.final_backend) << c.name;
    ASSERT_NE(manager.get_pipeline(), nullptr) << c.name;
    for (const auto& line : c.lines) EXPECT_TRUE(has(log, line)) << c.name << ": " << line;
  }
}

TEST(OptimumPipelineManager, StandardErrorsReachTheCaller) {
  auto machine = std::make_shared<FakeMachine>();
  machine->onnx = machine->onnx_cuda = machine->cuda = true;
  machine->failing = {"onnx-cuda", "onnx-cpu", "standard"};
  OptimumPipelineManager manager(backend_config("cuda"), machine);
  EXPECT_THROW(manager.create_pipeline("model", nullptr), std::runtime_error);
  EXPECT_EQ(machine->calls, (std::vector<std::string>{"onnx-cuda", "onnx-cpu", "standard@-1", "standard@-1"}));
}

TEST(OptimumPipelineManager, DevicesSessionOptionsAndOpenVinoConfig) {
  auto machine = std::make_shared<FakeMachine>();
  machine->onnx = true;
  {
    // An explicit device goes unchanged to the standard builder only.
    OptimumPipelineManager standard(backend_config("tpu", int64_t{1}), machine);
    standard.create_pipeline("model", nullptr);
    EXPECT_EQ(machine->calls.back(), "standard@1");
    OptimumPipelineManager onnx(backend_config("onnx", int64_t{1}), machine);
    onnx.create_pipeline("model", nullptr);
    EXPECT_EQ(machine->calls.back(), "onnx-cpu");
    EXPECT_EQ(onnx.get_backend_info().device, Device{int64_t{1}});
    OptimumPipelineManager automatic(backend_config("onnx"), machine);
    EXPECT_EQ(automatic._get_device(), Device{std::string("cpu")});
  }
  {
    LogCapture log;
    OptimumPipelineManager manager(backend_config("onnx"), machine);
    EXPECT_EQ(manager._create_session_options(), SessionOptions{});
    for (const auto& line : log.lines()) EXPECT_EQ(line.find("_op_num_threads"), std::string::npos) << line;
  }
  {
    LogCapture log;
    Configuration config = backend_config("onnx");
    config.emplace_back("ONNX_INTRA_OP_THREADS", std::string("4"));
    config.emplace_back("ONNX_INTER_OP_THREADS", int64_t{2});
    OptimumPipelineManager manager(config, machine);
    EXPECT_EQ(manager._create_session_options(), (SessionOptions{4, 2}));
    EXPECT_TRUE(has(log, "INFO:ONNX intra_op_num_threads set to 4"));
    EXPECT_TRUE(has(log, "INFO:ONNX inter_op_num_threads set to 2"));
  }
  {
    // A thread count that is not a number fails the ONNX builder, which falls back.
    Configuration config = backend_config("onnx");
    config.emplace_back("ONNX_INTRA_OP_THREADS", std::string("many"));
    OptimumPipelineManager manager(config, machine);
    machine->calls.clear();
    manager.create_pipeline("model", nullptr, "simple", std::vector<std::string>{});
    EXPECT_EQ(machine->calls, (std::vector<std::string>{"standard@-1"}));
    EXPECT_EQ(machine->last_ignore_labels, (std::vector<std::string>{"O"}));
    EXPECT_EQ(manager.backend(), "transformers");
  }
  {
    LogCapture log;
    auto ov = std::make_shared<FakeMachine>();
    ov->openvino = true;
    Configuration config = backend_config("openvino");
    config.emplace_back("OPENVINO_NUM_STREAMS", int64_t{2});
    config.emplace_back("OPENVINO_INFERENCE_NUM_THREADS", int64_t{3});
    OptimumPipelineManager manager(config, ov);
    manager.create_pipeline("model", nullptr);
    EXPECT_EQ(ov->last_ov_config, (std::vector<std::pair<std::string, std::string>>{
                                      {"PERFORMANCE_HINT", "THROUGHPUT"}, {"NUM_STREAMS", "2"},
                                      {"INFERENCE_NUM_THREADS", "3"}}));
    EXPECT_TRUE(has(log, "INFO:OpenVINO INFERENCE_NUM_THREADS set to 3"));
    EXPECT_TRUE(has(log, 
        "INFO:OpenVINO model compiled with config: {'PERFORMANCE_HINT': 'THROUGHPUT', 'NUM_STREAMS': '2', "
        "'INFERENCE_NUM_THREADS': '3'}"));
  }
  {
    LogCapture log;
    OptimumPipelineManager manager(backend_config("onnx"), std::make_shared<FakeMachine>());
    EXPECT_EQ(manager._create_session_options(), std::nullopt);
    EXPECT_TRUE(has(log, "WARNING:onnxruntime not available; skipping SessionOptions configuration."));
  }
}

TEST(OptimumPipelineManager, OptimizationInfo) {
  auto machine = std::make_shared<FakeMachine>();
  machine->onnx = machine->onnx_cuda = machine->cuda = true;
  OptimumPipelineManager cuda(backend_config("cuda"), machine);
  EXPECT_EQ(cuda._get_optimization_info(),
            (Optimizations{{"fp16", false}, {"quantization", false}, {"onnx_optimization", false}}));
  cuda.create_pipeline("model", nullptr);  // the stub computes in 16 bits
  EXPECT_EQ(cuda.get_backend_info(),
            (BackendInfo{"cuda", std::string("cuda"),
                         {{"fp16", true}, {"quantization", false}, {"onnx_optimization", false}}}));
  OptimumPipelineManager onnx(backend_config("onnx"), machine);
  EXPECT_EQ(optimizations_to_string(onnx._get_optimization_info()),
            "{'fp16': False, 'quantization': False, 'onnx_optimization': True}");
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
