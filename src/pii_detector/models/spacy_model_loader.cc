#include "pii_detector/models/spacy_model_loader.h"

#include <chrono>
#include <cstdlib>
#include <thread>

#include "recognition/nlp_engine_provider.h"
#include "tesk_privacy/core/errors.h"
#include "tesk_privacy/core/logger.h"
#include "text/case_mapping.h"

namespace tesk_privacy::pii_detector {
namespace {

const core::Logger& logger() {
  static const core::Logger& log =
      core::LoggerManager().get_logger("tesk_privacy.pii_detector.utils.spacy_model_loader");
  return log;
}

std::string replace_all(std::string s, const std::string& from, const std::string& to) {
  for (size_t pos = s.find(from); pos != std::string::npos; pos = s.find(from, pos + to.size())) {
    s.replace(pos, from.size(), to);
  }
  return s;
}

std::string model_url(const std::string& model_name, const std::string& model_version) {
  return replace_all(replace_all(SPACY_MODEL_URL_TEMPLATE, "{model}", model_name), "{version}", model_version);
}

}  // namespace

std::string SystemModelPlatform::which(const std::string& name) const { return core::find_executable(name); }

std::optional<std::string> SystemModelPlatform::getenv(const std::string& name) const {
  const char* v = std::getenv(name.c_str());
  return v ? std::optional<std::string>(v) : std::nullopt;
}

std::string SystemModelPlatform::interpreter_executable() const {
  if (auto configured = getenv("TESK_PYTHON"); configured && !configured->empty()) return *configured;
  std::string found = core::find_executable("python3");
  return found.empty() ? "python3" : found;
}

std::string SystemModelPlatform::interpreter_prefix() const {
  std::string exe = interpreter_executable();
  size_t bin = exe.rfind('/');
  if (bin == std::string::npos) return "";
  size_t parent = exe.rfind('/', bin == 0 ? 0 : bin - 1);
  return parent == std::string::npos || parent == 0 ? "/" : exe.substr(0, parent);
}

core::ProcessResult SystemModelPlatform::run(const std::vector<std::string>& argv, double timeout_seconds) const {
  return core::run_process(argv, timeout_seconds);
}

void SystemModelPlatform::sleep(double seconds) const {
  std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

SpacyPipeline SystemModelPlatform::load(const std::string& model_name) const {
  recognition::NlpConfiguration config;
  config.models = {{"en", model_name}, {"id", model_name}};
  try {
    return recognition::NlpEngineProvider(config).create_engine();
  } catch (const std::invalid_argument& e) {
    throw OSError("Can't find model '" + model_name + "': it is not one of the built-in pipelines (" + e.what() + ")");
  }
}

SpacyPipeline SystemModelPlatform::import_and_load(const std::string& module_name) const {
  throw ImportError("No module named '" + module_name + "'");
}

const ModelPlatform& default_model_platform() {
  static const SystemModelPlatform platform;
  return platform;
}

bool _is_uv_environment(const ModelPlatform& platform) {
  if (platform.which("uv").empty()) return false;
  if (auto uv_env = platform.getenv("UV_VIRTUAL_ENV"); uv_env && !uv_env->empty()) return true;
  const std::string venv_path = platform.interpreter_prefix();
  if (venv_path.find(".venv") != std::string::npos || to_lower(venv_path).find("uv") != std::string::npos) {
    try {
      return platform.run({"uv", "pip", "list"}, 10).exit_status == 0;
    } catch (const TimeoutExpired&) {
      return false;
    } catch (const FileNotFoundError&) {
      return false;
    }
  }
  return false;
}

void _install_spacy_model(const std::string& model_name, const std::string& model_version,
                          const ModelPlatform& platform) {
  const std::string url = model_url(model_name, model_version);
  std::vector<std::string> command;
  if (_is_uv_environment(platform)) {
    logger().info("Installing spaCy model using uv: " + model_name + "-" + model_version);
    command = {"uv", "pip", "install", "--python", platform.interpreter_executable(), url};
  } else {
    logger().info("Installing spaCy model using pip: " + model_name + "-" + model_version);
    command = {platform.interpreter_executable(), "-m", "pip", "install", url};
  }
  core::ProcessResult result;
  try {
    result = platform.run(command, 300);
  } catch (const TimeoutExpired&) {
    std::throw_with_nested(std::runtime_error("Timeout while installing spaCy model " + model_name +
                                              ". Please install manually:\n  pip install " + url +
                                              "\n  or: uv pip install " + url));
  }
  if (result.exit_status != 0) {
    throw std::runtime_error("Failed to install spaCy model " + model_name + ". Error: " + result.stderr_text +
                             "\nPlease install manually:\n  pip install " + url + "\n  or: uv pip install " + url);
  }
  logger().info("Successfully installed spaCy model: " + model_name + "-" + model_version);
}

SpacyPipeline _load_model_with_fallback(const std::string& model_name, const ModelPlatform& platform) {
  std::string last_err;
  for (int attempt = 0; attempt < MAX_LOAD_ATTEMPTS; ++attempt) {
    try {
      return platform.load(model_name);
    } catch (const OSError& e) {
      last_err = e.what();
    } catch (const ImportError& e) {
      last_err = e.what();
    } catch (const AttributeError& e) {
      last_err = e.what();
    }
    platform.invalidate_caches();
    try {
      return platform.import_and_load(model_name);
    } catch (const ImportError& e) {
      last_err = e.what();
    } catch (const AttributeError& e) {
      last_err = e.what();
    }
    if (attempt < MAX_LOAD_ATTEMPTS - 1) platform.sleep(RETRY_DELAY_SECONDS);
  }
  throw OSError("Could not load spaCy model '" + model_name + "': " + last_err);
}

SpacyPipeline load_spacy_model(const std::string& model_name, const std::string& model_version, bool auto_install,
                               const ModelPlatform& platform) {
  try {
    return _load_model_with_fallback(model_name, platform);
  } catch (const OSError&) {
    if (!auto_install) throw;
  }
  logger().warning("spaCy model '" + model_name + "' not found. Attempting to install...");
  _install_spacy_model(model_name, model_version, platform);
  return _load_model_with_fallback(model_name, platform);
}

void ensure_spacy_model(const std::string& model_name, const std::string& model_version,
                        const ModelPlatform& platform) {
  try {
    _load_model_with_fallback(model_name, platform);
    return;
  } catch (const OSError&) {
  }
  logger().warning("spaCy model '" + model_name + "' not found. Installing...");
  _install_spacy_model(model_name, model_version, platform);
  try {
    _load_model_with_fallback(model_name, platform);
  } catch (const OSError&) {
    std::throw_with_nested(std::runtime_error("spaCy model '" + model_name + "' could not be loaded after installation."));
  }
}

}  // namespace tesk_privacy::pii_detector
