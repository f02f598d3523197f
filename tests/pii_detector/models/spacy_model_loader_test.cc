#include "pii_detector/models/spacy_model_loader.h"

#include <gtest/gtest.h>

#include <functional>

#include "log_capture.h"
#include "recognition/nlp_engine_provider.h"
#include "tesk_privacy/core/errors.h"

namespace tesk_privacy::pii_detector {
namespace {

// A scripted platform that records what the loader asks of it.
class FakePlatform : public ModelPlatform {
 public:
  std::string which(const std::string& name) const override {
    log.push_back("which " + name);
    return uv_on_path && name == "uv" ? "/usr/bin/uv" : "";
  }
  std::optional<std::string> getenv(const std::string& name) const override {
    return name == "UV_VIRTUAL_ENV" ? uv_virtual_env : std::nullopt;
  }
  std::string interpreter_executable() const override { return "/env/bin/python"; }
  std::string interpreter_prefix() const override { return prefix; }
  core::ProcessResult run(const std::vector<std::string>& argv, double timeout) const override {
    std::string line = "run";
    for (const auto& a : argv) line += " " + a;
    log.push_back(line + " (" + std::to_string(static_cast<int>(timeout)) + "s)");
    if (argv[1] == "pip" && argv[2] == "list") {
      if (probe_times_out) throw TimeoutExpired("uv pip list");
      return {probe_status, "", ""};
    }
    if (install_times_out) throw TimeoutExpired("install");
    if (install_status == 0) installed = true;
    return {install_status, "", "network unreachable"};
  }
  void sleep(double seconds) const override { log.push_back("sleep " + std::to_string(seconds).substr(0, 3)); }
  SpacyPipeline load(const std::string& name) const override {
    log.push_back("load " + name);
    if (installed || loads_first_time) return pipeline();
    throw OSError("[E050] Can't find model '" + name + "'");
  }
  void invalidate_caches() const override { log.push_back("invalidate"); }
  SpacyPipeline import_and_load(const std::string& name) const override {
    log.push_back("import " + name);
    if (imports) return pipeline();
    throw ImportError("No module named '" + name + "'");
  }
  static SpacyPipeline pipeline() { return recognition::NlpEngineProvider().create_engine(); }

  bool uv_on_path = false, loads_first_time = false, imports = false, probe_times_out = false;
  bool install_times_out = false;
  int probe_status = 0, install_status = 0;
  std::optional<std::string> uv_virtual_env;
  std::string prefix = "/usr";
  mutable bool installed = false;
  mutable std::vector<std::string> log;
};

std::string message_of(const std::function<void()>& call) {
  try {
    call();
  } catch (const std::exception& e) {
    return e.what();
  }
  return "";
}

TEST(SpacyModelLoader, LoadsAtOnceWithoutPauseOrProcess) {
  FakePlatform p;
  p.loads_first_time = true;
  testing::LogCapture logs;
  EXPECT_NE(load_spacy_model("en_core_web_sm", "3.8.0", true, p), nullptr);
  EXPECT_EQ(p.log, std::vector<std::string>{"load en_core_web_sm"});
  EXPECT_TRUE(logs.lines().empty());
}

TEST(SpacyModelLoader, DirectImportFallbackWithinTheSameAttempt) {
  FakePlatform p;
  p.imports = true;
  EXPECT_NE(_load_model_with_fallback("m", p), nullptr);
  EXPECT_EQ(p.log, (std::vector<std::string>{"load m", "invalidate", "import m"}));
}

TEST(SpacyModelLoader, ThreeAttemptsTwoPausesThenOSError) {
  FakePlatform p;
  EXPECT_EQ(message_of([&] { _load_model_with_fallback("m", p); }),
            "Could not load spaCy model 'm': No module named 'm'");
  EXPECT_EQ(std::count(p.log.begin(), p.log.end(), "load m"), 3);
  EXPECT_EQ(std::count(p.log.begin(), p.log.end(), "sleep 0.5"), 2);
  EXPECT_THROW(load_spacy_model("m", "1.0", false, p), OSError);
}

TEST(SpacyModelLoader, ChoosesTheInstaller) {
  struct Case {
    std::string name;
    bool uv_on_path;
    std::optional<std::string> uv_env;
    std::string prefix;
    int probe_status;
    bool probe_times_out;
    bool expect_uv;
    bool expect_probe;
  };
  const Case cases[] = {
      {"no uv on the path, even with UV_VIRTUAL_ENV", false, "/env", "/x/.venv", 0, false, false, false},
      {"uv and UV_VIRTUAL_ENV: no probe", true, "/env", "/usr", 0, false, true, false},
      {"empty UV_VIRTUAL_ENV, .venv prefix, probe ok", true, "", "/work/.venv", 0, false, true, true},
      {"uv in the prefix, probe fails", true, std::nullopt, "/opt/UV/env", 1, false, false, true},
      {"probe times out", true, std::nullopt, "/a/.venv", 0, true, false, true},
      {".VENV in capitals is not a uv prefix", true, std::nullopt, "/a/.VENV", 0, false, false, false},
  };
  for (const Case& c : cases) {
    FakePlatform p;
    p.uv_on_path = c.uv_on_path;
    p.uv_virtual_env = c.uv_env;
    p.prefix = c.prefix;
    p.probe_status = c.probe_status;
    p.probe_times_out = c.probe_times_out;
    testing::LogCapture logs;
    _install_spacy_model("en_core_web_sm", "3.8.0", p);
    const std::string url =
        "https://github.com/explosion/spacy-models/releases/download/en_core_web_sm-3.8.0/en_core_web_sm-3.8.0-py3-none-any.whl";
    const std::string expected_run = c.expect_uv ? "run uv pip install --python /env/bin/python " + url + " (300s)"
                                                 : "run /env/bin/python -m pip install " + url + " (300s)";
    EXPECT_EQ(p.log.back(), expected_run) << c.name;
    EXPECT_EQ(std::count(p.log.begin(), p.log.end(), "run uv pip list (10s)"), c.expect_probe ? 1 : 0) << c.name;
    auto infos = logs.at("INFO");
    ASSERT_EQ(infos.size(), 2u) << c.name;
    EXPECT_EQ(infos[0], std::string("Installing spaCy model using ") + (c.expect_uv ? "uv" : "pip") +
                            ": en_core_web_sm-3.8.0");
    EXPECT_EQ(infos[1], "Successfully installed spaCy model: en_core_web_sm-3.8.0");
  }
}

TEST(SpacyModelLoader, FailureTable) {
  const std::string url =
      "https://github.com/explosion/spacy-models/releases/download/m-1.0/m-1.0-py3-none-any.whl";
  {
    FakePlatform p;  // missing, installed, then loads
    testing::LogCapture logs;
    EXPECT_NO_THROW(ensure_spacy_model("m", "1.0", p));
    EXPECT_EQ(logs.at("WARNING"), std::vector<std::string>{"spaCy model 'm' not found. Installing..."});
    EXPECT_EQ(logs.at("INFO").size(), 2u);
  }
  {
    FakePlatform p;
    p.install_status = 1;
    EXPECT_EQ(message_of([&] { ensure_spacy_model("m", "1.0", p); }),
              "Failed to install spaCy model m. Error: network unreachable\nPlease install manually:\n  pip install " +
                  url + "\n  or: uv pip install " + url);
  }
  {
    FakePlatform p;
    p.install_times_out = true;
    try {
      ensure_spacy_model("m", "1.0", p);
      FAIL();
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), "Timeout while installing spaCy model m. Please install manually:\n  pip install " +
                                           url + "\n  or: uv pip install " + url);
      EXPECT_THROW(std::rethrow_if_nested(e), TimeoutExpired);
    }
  }
  {
    // Installed, yet still not loadable.
    struct NeverLoads : FakePlatform {
      SpacyPipeline load(const std::string& name) const override {
        log.push_back("load " + name);
        throw OSError("[E050] Can't find model '" + name + "'");
      }
    } p;
    EXPECT_EQ(message_of([&] { ensure_spacy_model("m", "1.0", p); }),
              "spaCy model 'm' could not be loaded after installation.");
    testing::LogCapture logs;
    EXPECT_THROW(load_spacy_model("m", "1.0", true, p), OSError);
    EXPECT_EQ(logs.at("WARNING"), std::vector<std::string>{"spaCy model 'm' not found. Attempting to install..."});
  }
}

TEST(SpacyModelLoader, BuiltInPipelinesNeedNoInstallation) {
  EXPECT_NO_THROW(ensure_spacy_model());
  EXPECT_NE(load_spacy_model("en_core_web_sm", "3.8.0", false), nullptr);
  EXPECT_THROW(load_spacy_model("xx_no_such_model", "1.0", false), OSError);
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
