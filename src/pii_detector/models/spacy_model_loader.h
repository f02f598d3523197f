// Provisioning of the NLP pipelines ("spaCy models") an analyzer is
// configured with: load a pipeline by name, and when that fails install the
// model package with the environment's package manager (uv when the
// environment is uv-managed, pip otherwise) and load it again, retrying a
// few times.
//
// Everything the loader does to the outside world goes through a
// ModelPlatform: the executable search path, the environment, the host
// interpreter, child processes, sleeping and loading by name. The default
// platform does these for real; the pipelines this library ships
// (including "en_core_web_sm") always load, so nothing is installed for
// them. Tests hand in a platform of their own.
//
//   ensure_spacy_model();                         // "en_core_web_sm" 3.8.0
//   SpacyPipeline p = load_spacy_model("en_core_web_sm");
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/subprocess.h"
#include "tesk_privacy/recognition/nlp_engine.h"

namespace tesk_privacy::pii_detector {

inline constexpr const char* DEFAULT_SPACY_MODEL = "en_core_web_sm";
inline constexpr const char* DEFAULT_SPACY_MODEL_VERSION = "3.8.0";
inline constexpr const char* SPACY_MODEL_URL_TEMPLATE =
    "https://github.com/explosion/spacy-models/releases/download/{model}-{version}/{model}-{version}-py3-none-any.whl";
inline constexpr int MAX_LOAD_ATTEMPTS = 3;
inline constexpr double RETRY_DELAY_SECONDS = 0.5;

using SpacyPipeline = std::shared_ptr<recognition::NlpEngine>;

class ModelPlatform {
 public:
  virtual ~ModelPlatform() = default;
  // Full path of an executable on the search path, or "".
  virtual std::string which(const std::string& name) const = 0;
  virtual std::optional<std::string> getenv(const std::string& name) const = 0;
  virtual std::string interpreter_executable() const = 0;
  virtual std::string interpreter_prefix() const = 0;
  // Throws TimeoutExpired or FileNotFoundError; a non-zero exit is returned.
  virtual core::ProcessResult run(const std::vector<std::string>& argv, double timeout_seconds) const = 0;
  virtual void sleep(double seconds) const = 0;
  // Loads a pipeline by package name; throws OSError (or ImportError,
  // AttributeError) when it cannot.
  virtual SpacyPipeline load(const std::string& model_name) const = 0;
  virtual void invalidate_caches() const = 0;
  // Imports the model package as a module and calls its load(); throws
  // ImportError or AttributeError when it cannot.
  virtual SpacyPipeline import_and_load(const std::string& module_name) const = 0;
};

// The real platform. The host interpreter is $TESK_PYTHON when set, else
// "python3" on the search path; its prefix is the folder above its bin/.
// Pipelines load from this library's built-in NLP engine.
class SystemModelPlatform : public ModelPlatform {
 public:
  std::string which(const std::string& name) const override;
  std::optional<std::string> getenv(const std::string& name) const override;
  std::string interpreter_executable() const override;
  std::string interpreter_prefix() const override;
  core::ProcessResult run(const std::vector<std::string>& argv, double timeout_seconds) const override;
  void sleep(double seconds) const override;
  SpacyPipeline load(const std::string& model_name) const override;
  void invalidate_caches() const override {}
  SpacyPipeline import_and_load(const std::string& module_name) const override;
};

const ModelPlatform& default_model_platform();

SpacyPipeline load_spacy_model(const std::string& model_name = DEFAULT_SPACY_MODEL,
                               const std::string& model_version = DEFAULT_SPACY_MODEL_VERSION,
                               bool auto_install = true, const ModelPlatform& platform = default_model_platform());

void ensure_spacy_model(const std::string& model_name = DEFAULT_SPACY_MODEL,
                        const std::string& model_version = DEFAULT_SPACY_MODEL_VERSION,
                        const ModelPlatform& platform = default_model_platform());

bool _is_uv_environment(const ModelPlatform& platform = default_model_platform());
void _install_spacy_model(const std::string& model_name, const std::string& model_version,
                          const ModelPlatform& platform = default_model_platform());
SpacyPipeline _load_model_with_fallback(const std::string& model_name,
                                        const ModelPlatform& platform = default_model_platform());

}  // namespace tesk_privacy::pii_detector
