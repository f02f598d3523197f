#include "pii_detector/models/transformers_recognizer.h"

#include <map>
#include <mutex>
#include <stdexcept>

#include "inference/model_resolver.h"
#include "tesk_privacy/core/logger.h"

namespace tesk_privacy::pii_detector {

const core::Logger& internal::transformers_logger() {
  static const core::Logger& log =
      core::LoggerManager().get_logger("tesk_privacy.pii_detector.recognizer.transformers_recognizer");
  return log;
}

namespace {

const core::Logger& logger() { return internal::transformers_logger(); }

// The process-wide component cache: entries are added or replaced, never removed.
struct ComponentCache {
  std::mutex mutex;
  std::map<std::string, std::shared_ptr<ModelComponents>> entries;
};

ComponentCache& model_cache() {
  static ComponentCache cache;
  return cache;
}

std::shared_ptr<ModelComponents> cache_lookup(const std::string& key) {
  auto& cache = model_cache();
  std::lock_guard<std::mutex> hold(cache.mutex);
  auto it = cache.entries.find(key);
  return it == cache.entries.end() ? nullptr : it->second;
}

void cache_store(const std::string& key, std::shared_ptr<ModelComponents> record) {
  auto& cache = model_cache();
  std::lock_guard<std::mutex> hold(cache.mutex);
  cache.entries[key] = std::move(record);
}

// Python's round(x, 2): the nearest two-decimal value of the exact binary

template <class T>
const T* config_get(const Configuration& config, const char* key, const char* kind) {
  const ConfigValue* v = find_config(config, key);
  if (v == nullptr) return nullptr;
  if (const T* t = std::get_if<T>(v)) return t;
  throw std::invalid_argument(std::string("configuration key ") + key + " must be " + kind + ", not " +
                              config_value_to_string(*v));
}

std::optional<double> config_number(const Configuration& config, const char* key) {
  const ConfigValue* v = find_config(config, key);
  if (v == nullptr) return std::nullopt;
  if (const auto* d = std::get_if<double>(v)) return *d;
  if (const auto* i = std::get_if<int64_t>(v)) return static_cast<double>(*i);
  throw std::invalid_argument(std::string("configuration key ") + key + " must be a number, not " +
                              config_value_to_string(*v));
}


}  // namespace

std::string to_string(TokenizationLevel level) { return level == TokenizationLevel::WORD ? "word" : "subword"; }

TokenizationLevel parse_tokenization_level(std::string_view value) {
  if (value == "subword") return TokenizationLevel::SUBWORD;
  if (value == "word") return TokenizationLevel::WORD;
  throw std::invalid_argument("'" + std::string(value) + "' is not a valid TokenizationLevel");
}

namespace {

std::vector<std::string> default_entities(const std::optional<std::vector<std::string>>& given) {
  if (given && !given->empty()) return *given;
  return std::get<std::vector<std::string>>(*find_config(MERROW_BERT_CONFIGURATION, "PRESIDIO_SUPPORTED_ENTITIES"));
}

}  // namespace

TransformersRecognizer::TransformersRecognizer(std::optional<std::string> model_path,
                                               std::shared_ptr<const NerPipeline> pipeline,
                                               std::optional<std::vector<std::string>> supported_entities,
                                               TokenizationLevel tokenization_level, std::optional<bool> use_optimum,
                                               std::string supported_language,
                                               std::shared_ptr<const InferenceBackends> backends)
    : EntityRecognizer(default_entities(supported_entities), "Transformers model " + model_path.value_or("None"),
                       std::move(supported_language)),
      model_path_(std::move(model_path)),
      pipeline_(std::move(pipeline)),
      tokenization_level_(tokenization_level),
      use_optimum_(use_optimum),
      backends_(std::move(backends)) {
  if (!backends_) throw std::invalid_argument("TransformersRecognizer: no inference backends");
}

void TransformersRecognizer::load_transformer(const Configuration& configuration) {
  const auto& table = MERROW_BERT_CONFIGURATION;
  using StringMap = OrderedMap<std::string>;
  using StringList = std::vector<std::string>;
  // Everything is read and checked before anything changes.
  const StringMap* dataset_mapping = config_get<StringMap>(configuration, "DATASET_TO_PRESIDIO_MAPPING", "a map");
  const StringMap* model_mapping = config_get<StringMap>(configuration, "MODEL_TO_PRESIDIO_MAPPING", "a map");
  const StringList* ignore = config_get<StringList>(configuration, "LABELS_TO_IGNORE", "a list");
  const std::string* aggregation = config_get<std::string>(configuration, "SUB_WORD_AGGREGATION", "a string");
  const std::string* explanation = config_get<std::string>(configuration, "DEFAULT_EXPLANATION", "a string");
  const int64_t* chunk = config_get<int64_t>(configuration, "CHUNK_SIZE", "an integer");
  const std::string* id_name = config_get<std::string>(configuration, "ID_ENTITY_NAME", "a string");
  const std::optional<double> id_reduction = config_number(configuration, "ID_SCORE_REDUCTION");
  const std::string* level = config_get<std::string>(configuration, "TOKENIZATION_LEVEL", "a string");
  const TokenizationLevel new_level = parse_tokenization_level(level ? *level : "subword");
  const int64_t chunk_length = chunk ? *chunk : std::get<int64_t>(*find_config(table, "CHUNK_SIZE"));
  if (chunk_length <= 0) {
    throw std::invalid_argument("configuration key CHUNK_SIZE must be a positive number of tokens, not " +
                                std::to_string(chunk_length));
  }
  inference::parse_aggregation_strategy(aggregation ? *aggregation : "simple");

  entity_mapping_ = dataset_mapping ? *dataset_mapping : StringMap{};
  model_to_presidio_mapping_ = model_mapping ? *model_mapping : StringMap{};
  ignore_labels_ = ignore ? *ignore : StringList{"O"};
  aggregation_mechanism_ = aggregation ? *aggregation : "simple";
  default_explanation_ = explanation ? std::optional<std::string>(*explanation) : std::nullopt;
  chunk_length_ = chunk_length;
  id_entity_name_ = id_name ? *id_name : "ID";
  id_score_reduction_ = id_reduction.value_or(0.5);
  tokenization_level_ = new_level;
  logger().info("Tokenization level: " + to_string(tokenization_level_));

  if (!use_optimum_) {
    const ConfigValue* v = find_config(configuration, "USE_OPTIMUM");
    if (v == nullptr) v = find_config(table, "USE_OPTIMUM");
    use_optimum_ = v == nullptr ? true : !config_value_is_false(*v);
  }

  static constexpr const char* kBackendKeys[] = {
      "OPTIMUM_BACKEND",       "OPTIMUM_DEVICE",       "ONNX_INTRA_OP_THREADS",          "ONNX_INTER_OP_THREADS",
      "OPENVINO_PERFORMANCE_HINT", "OPENVINO_NUM_STREAMS", "OPENVINO_INFERENCE_NUM_THREADS",
  };
  backend_config_.clear();
  for (const char* key : kBackendKeys) {
    const ConfigValue* v = find_config(configuration, key);
    backend_config_.emplace_back(key, v ? *v : *find_config(table, key));  // the defaults hold every key
  }

  if (!pipeline_ && (!model_path_ || model_path_->empty())) {
    model_path_ = std::get<std::string>(*find_config(table, "DEFAULT_MODEL_PATH"));
    logger().warning("Both 'model' and 'model_path' arguments are None. Using default model_path=" + *model_path_);
  }

  if (*use_optimum_ && (backends_->onnx_available() || backends_->mps_available())) {
    optimum_manager_ = std::make_shared<OptimumPipelineManager>(backend_config_, backends_);
    logger().info("Initialized Optimum pipeline manager with backend: " + optimum_manager_->backend());
  } else {
    logger().info("Using standard transformers pipeline (Optimum not available or disabled)");
  }
  _load_pipeline();
}

void TransformersRecognizer::load_transformer(const Configuration& configuration, TokenizationLevel tokenization_level) {
  Configuration with_level = configuration;
  set_config(with_level, "TOKENIZATION_LEVEL", to_string(tokenization_level));
  load_transformer(with_level);
}

std::string TransformersRecognizer::_generate_cache_key(const std::optional<std::string>& model_path,
                                                        const std::string& tokenization_level,
                                                        std::optional<bool> use_optimum) {
  const std::string flag = use_optimum ? (*use_optimum ? "True" : "False") : "None";
  return "transformers_" + model_path.value_or("None") + "_" + tokenization_level + "_" + flag;
}

std::string TransformersRecognizer::cache_key() const {
  return _generate_cache_key(model_path_, to_string(tokenization_level_), use_optimum_);
}

void TransformersRecognizer::_load_pipeline() {
  core::LoggerManager().get_logger("root").debug("Initializing NER pipeline using " + model_path_.value_or("None") +
                                                 " path");
  const std::string key = cache_key();
  const std::string path = model_path_.value_or("None");
  if (auto record = cache_lookup(key)) {
    logger().info("Loading cached model components for " + path);
    tokenizer_ = record->tokenizer;
    model_ = record->model;
    pipeline_ = record->pipeline;
    optimum_manager_ = record->optimum_manager;
    {
      std::lock_guard<std::mutex> hold(model_cache().mutex);
      if (!record->tokenizer_lock) record->tokenizer_lock = std::make_shared<std::recursive_mutex>();
      tokenizer_lock_ = record->tokenizer_lock;
      pipeline_lock_ = record->pipeline_lock;
    }
    _ensure_tokenizer_thread_safe();
    text_chunker_ = std::make_shared<const TokenAwareTextChunker>(tokenizer_, chunk_length_);
    is_loaded_ = true;
    logger().info("Successfully loaded cached model components for " + path);
    return;
  }

  logger().info("Loading model components for the first time: " + path);
  if (!model_path_) {
    throw std::invalid_argument("TransformersRecognizer: a pipeline without a model path cannot be loaded");
  }
  // Built aside and committed at the end, so a failed load leaves the
  // recognizer as it was.
  const auto folder = inference::resolve_model(*model_path_);
  auto tokenizer = inference::Tokenizer::from_folder(folder)
                       .with_model_max_length(static_cast<size_t>(*chunk_length_))
                       .with_truncation_side(inference::TruncationSide::kRight);
  auto tokenizer_lock = std::make_shared<std::recursive_mutex>();
  auto shared_tokenizer = std::make_shared<const LockedTokenizer>(std::move(tokenizer), tokenizer_lock);

  std::shared_ptr<const NerPipeline> pipeline;
  std::shared_ptr<const inference::Encoder> model;
  if (optimum_manager_ && use_optimum_.value_or(false)) {
    logger().info("Using Optimum pipeline manager for optimized inference");
    optimum_manager_->create_pipeline(*model_path_, shared_tokenizer, *aggregation_mechanism_, ignore_labels_);
    pipeline = optimum_manager_->get_pipeline();
    const BackendInfo info = optimum_manager_->get_backend_info();
    logger().info("Pipeline created with backend: " + info.backend);
    logger().info("Device: " + device_to_string(info.device));
    logger().info("Optimizations: " + optimizations_to_string(info.optimizations));
  } else {
    logger().info("Using standard transformers pipeline");
    const Device device = backends_->cuda_available() ? Device{int64_t{0}} : Device{int64_t{-1}};
    pipeline = backends_->load_standard({*model_path_, shared_tokenizer, *aggregation_mechanism_, ignore_labels_},
                                        device);
    if (!pipeline) throw std::runtime_error("the pipeline loader returned no pipeline");
    model = pipeline->model();
  }

  tokenizer_ = std::move(shared_tokenizer);
  tokenizer_lock_ = std::move(tokenizer_lock);
  pipeline_ = std::move(pipeline);
  model_ = std::move(model);
  text_chunker_ = std::make_shared<const TokenAwareTextChunker>(tokenizer_, chunk_length_);
  pipeline_lock_ = nullptr;
  if (_is_openvino_backend()) {
    pipeline_lock_ = std::make_shared<std::recursive_mutex>();
    logger().info("OpenVINO backend detected, pipeline lock enabled for thread-safe inference");
  }
  cache_store(key, std::make_shared<ModelComponents>(
                       ModelComponents{tokenizer_, model_, pipeline_, optimum_manager_, tokenizer_lock_, pipeline_lock_}));
  logger().info("Cached model components for " + path);
  is_loaded_ = true;
}

void TransformersRecognizer::_ensure_tokenizer_thread_safe() {
  if (!tokenizer_) return;
  if (!tokenizer_lock_) tokenizer_lock_ = std::make_shared<std::recursive_mutex>();
  // A tokenizer that already has a lock keeps it: it is never guarded twice.
  if (!tokenizer_->is_guarded()) {
    tokenizer_ = std::make_shared<const LockedTokenizer>(tokenizer_->unguarded(), tokenizer_lock_);
  }
}

bool TransformersRecognizer::_is_openvino_backend() const {
  return optimum_manager_ && optimum_manager_->backend() == BACKEND_OPENVINO;
}

std::vector<inference::EntityPrediction> TransformersRecognizer::_call_pipeline(std::string_view text) const {
  if (!pipeline_) throw std::logic_error("TransformersRecognizer: no pipeline is loaded");
  if (_is_openvino_backend() && pipeline_lock_) {
    std::lock_guard<std::recursive_mutex> hold(*pipeline_lock_);
    return (*pipeline_)(text);
  }
  return (*pipeline_)(text);
}


// --- introspection and backend switching -------------------------------------

PipelineInfo TransformersRecognizer::get_pipeline_info() const {
  if (optimum_manager_) return optimum_manager_->get_backend_info();
  const std::string device_type = backends_->cuda_available() ? DEVICE_CUDA : DEVICE_CPU;
  const PipelineInfo standard{BACKEND_TRANSFORMERS, device_type,
                              {{OPTIMIZATION_FP16, false}, {OPTIMIZATION_ONNX_OPTIMIZATION, false}}};
  if (!pipeline_) return standard;
  if (pipeline_->device() == DEVICE_MPS) {
    return {BACKEND_MPS, std::string(DEVICE_MPS),
            {{OPTIMIZATION_FP16, pipeline_->is_fp16()}, {OPTIMIZATION_MPS_ACCELERATION, true}}};
  }
  return standard;
}

bool TransformersRecognizer::switch_backend(const std::string& backend) {
  if (!optimum_manager_ || !use_optimum_.value_or(false)) {
    logger().warning("Optimum not available, cannot switch backends");
    return false;
  }
  if (backend == optimum_manager_->backend()) {
    logger().info("Already using " + backend + " backend");
    return true;
  }
  try {
    // The new pipeline is built on a copy of the manager; recognizers that
    // share the old components keep a manager that describes their pipeline.
    auto manager = std::make_shared<OptimumPipelineManager>(*optimum_manager_);
    manager->set_backend(backend);
    manager->create_pipeline(model_path_.value_or(""), tokenizer_, aggregation_mechanism_.value_or("simple"),
                             ignore_labels_);
    const auto& pipeline = manager->get_pipeline();
    if (manager->backend() != backend || pipeline->backend() != backend) {
      throw std::runtime_error("no pipeline could be built on it (the build ended on the " + pipeline->backend() +
                               " backend)");
    }
    optimum_manager_ = std::move(manager);
    pipeline_ = pipeline;
    model_ = nullptr;
    pipeline_lock_ = _is_openvino_backend() ? std::make_shared<std::recursive_mutex>() : nullptr;
    cache_store(cache_key(), std::make_shared<ModelComponents>(ModelComponents{
                                 tokenizer_, model_, pipeline_, optimum_manager_, tokenizer_lock_, pipeline_lock_}));
    logger().info("Successfully switched to " + backend + " backend");
    return true;
  } catch (const std::exception& e) {
    logger().error("Failed to switch to " + backend + " backend: " + e.what());
    return false;
  }
}

}  // namespace tesk_privacy::pii_detector
