#include "tesk_privacy/pii_detector/recognizer/transformers_recognizer.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <stdexcept>
#include <tuple>

#include "inference/unicode_support.h"
#include "text/python_chars.h"
#include "tesk_privacy/core/logger.h"
#include "tesk_privacy/inference/model_resolver.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::pii_detector {
namespace {

const core::Logger& logger() {
  static const core::Logger& log =
      core::LoggerManager().get_logger("tesk_privacy.pii_detector.recognizer.transformers_recognizer");
  return log;
}

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
// number, exact ties to even (as printf rounds).
double round2(double x) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", x);
  return std::strtod(buf, nullptr);
}

// Python's repr of a float: the shortest text that reads back the same.
std::string float_repr(double x) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, x);
  std::string s(buf, end);
  if (s.find_first_of(".ena") == std::string::npos) s += ".0";
  return s;
}

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

PredictionEntity from_pipeline(const inference::EntityPrediction& p) {
  return {p.label(), p.word, static_cast<int64_t>(p.start), static_cast<int64_t>(p.end), p.score};
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

// --- analysis ---------------------------------------------------------------

std::vector<recognition::RecognizerResult> TransformersRecognizer::analyze(const Utf8Text& text,
                                                                           const std::vector<std::string>& entities,
                                                                           const recognition::NlpArtifacts*,
                                                                           std::optional<int>) const {
  if (!is_loaded_ || !text_chunker_) {
    throw std::logic_error("TransformersRecognizer: call load_transformer() before analyze()");
  }
  const std::vector<std::string>& wanted = entities.empty() ? supported_entities() : entities;
  std::vector<recognition::RecognizerResult> results;
  for (PredictionEntity prediction : _get_ner_results_for_text(inference::to_u32(text.view()))) {
    const auto group = check_label_transformer(prediction.entity_group, prediction.word);
    if (!group || group->empty() || std::find(wanted.begin(), wanted.end(), *group) == wanted.end()) continue;
    prediction.entity_group = *group;
    if (prediction.entity_group == id_entity_name_) {
      // Logged rather than printed: the caller's standard output is its own.
      logger().info("ID entity found, multiplying score by " + float_repr(*id_score_reduction_));
      prediction.score *= *id_score_reduction_;
    }
    if (!default_explanation_) {
      throw std::logic_error("TransformersRecognizer: no DEFAULT_EXPLANATION configured to explain a " +
                             prediction.entity_group + " result");
    }
    std::string textual = *default_explanation_;
    if (auto slot = textual.find("{}"); slot != std::string::npos) textual.replace(slot, 2, prediction.entity_group);
    auto explanation = build_transformers_explanation(round2(prediction.score), textual, prediction.word);
    auto result = _convert_to_recognizer_result(prediction, explanation);
    result.recognition_metadata = recognizer_metadata();
    results.push_back(std::move(result));
  }
  return results;
}

std::optional<std::string> TransformersRecognizer::check_label_transformer(const std::string& label,
                                                                           const std::string& word) const {
  std::optional<std::string> entity;
  if (model_to_presidio_mapping_) {
    if (const std::string* mapped = model_to_presidio_mapping_->find(label)) entity = *mapped;
  }
  if (entity && ignore_labels_ &&
      std::find(ignore_labels_->begin(), ignore_labels_->end(), *entity) != ignore_labels_->end()) {
    return std::nullopt;
  }
  if (!entity) {
    logger().info("Found unrecognized label " + label + " for " + word + ", returning entity as is");
    return label;
  }
  if (!supports_entity(*entity)) logger().info("Found entity " + *entity + " which is not supported by Presidio");
  return entity;
}

recognition::AnalysisExplanation TransformersRecognizer::build_transformers_explanation(
    double original_score, const std::string& explanation, const std::string& pattern) const {
  return recognition::AnalysisExplanation("TransformersRecognizer", original_score, explanation, pattern);
}

recognition::RecognizerResult TransformersRecognizer::_convert_to_recognizer_result(
    const PredictionEntity& prediction, const recognition::AnalysisExplanation& explanation) {
  return recognition::RecognizerResult(prediction.entity_group, prediction.start, prediction.end,
                                       round2(prediction.score), explanation);
}

std::vector<PredictionEntity> TransformersRecognizer::_get_ner_results_for_text(std::u32string_view text) const {
  const std::string whole = inference::to_utf8(text);
  if (!text_chunker_->should_chunk(whole)) return _predicts_with_pipeline(text);
  logger().debug("Text requires chunking based on token count");
  std::vector<PredictionEntity> out;
  std::set<std::tuple<std::string, std::string, int64_t, int64_t, double>> seen;
  for (const auto& [start, end] : text_chunker_->split_text(whole)) {
    for (PredictionEntity p : _predicts_with_pipeline(text.substr(start, end - start))) {
      p.start += static_cast<int64_t>(start);
      p.end += static_cast<int64_t>(start);
      if (seen.emplace(p.entity_group, p.word, p.start, p.end, p.score).second) out.push_back(std::move(p));
    }
  }
  return out;
}

std::vector<PredictionEntity> TransformersRecognizer::_predicts_with_pipeline(std::u32string_view text) const {
  return tokenization_level_ == TokenizationLevel::WORD ? _word_level_pipeline(text) : _subword_level_pipeline(text);
}

std::vector<PredictionEntity> TransformersRecognizer::_subword_level_pipeline(std::u32string_view text) const {
  std::vector<PredictionEntity> predictions;
  for (const auto& p : _call_pipeline(inference::to_utf8(text))) predictions.push_back(from_pipeline(p));
  std::vector<PredictionEntity> kept;
  for (PredictionEntity& p : _merge_adjacent_entities(predictions)) {
    const auto [a, b] = _get_actual_boundaries_without_spaces(text, p.start, p.end);
    if (!a || !b) continue;
    if (_is_a_complete_word(text, *a, *b)) {
      p.start = *a;
      p.end = *b;
      kept.push_back(std::move(p));
    }
  }
  return kept;
}

std::vector<PredictionEntity> TransformersRecognizer::_merge_adjacent_entities(
    const std::vector<PredictionEntity>& predictions) {
  if (predictions.empty()) return {};
  std::vector<PredictionEntity> out;
  PredictionEntity current = predictions.front();
  for (size_t i = 1; i < predictions.size(); ++i) {
    const PredictionEntity& next = predictions[i];
    if (current.end == next.start && current.entity_group == next.entity_group) {
      current = {current.entity_group, current.word + next.word, current.start, next.end,
                 std::max(current.score, next.score)};
    } else {
      out.push_back(std::move(current));
      current = next;
    }
  }
  out.push_back(std::move(current));
  return out;
}

std::pair<std::optional<int64_t>, std::optional<int64_t>> TransformersRecognizer::_get_actual_boundaries_without_spaces(
    std::u32string_view text, int64_t raw_start, int64_t raw_end) {
  if (raw_start < 0 || raw_end > static_cast<int64_t>(text.size()) || raw_start >= raw_end) return {};
  int64_t a = raw_start, b = raw_end;
  while (a < b && is_py_space(text[a])) ++a;
  while (b > a && is_py_space(text[b - 1])) --b;
  if (a == b) return {};
  return {a, b};
}

bool TransformersRecognizer::_is_a_complete_word(std::u32string_view text, int64_t start, int64_t end) {
  if (start < 0 || end > static_cast<int64_t>(text.size()) || start >= end) {
    throw std::invalid_argument("Invalid start or end indices");
  }
  const bool before = start > 0 && is_py_word_char(text[start - 1]);
  const bool after = end < static_cast<int64_t>(text.size()) && is_py_word_char(text[end]);
  return !before && !after;
}

// --- word level -------------------------------------------------------------

std::vector<PredictionEntity> TransformersRecognizer::_word_level_pipeline(std::u32string_view text) const {
  if (!text_chunker_->should_chunk(inference::to_utf8(text))) return _process_word_level_chunk(text);
  std::vector<PredictionEntity> out;
  for (const auto& [start, end] : text_chunker_->split_text(inference::to_utf8(text))) {
    for (PredictionEntity p : _process_word_level_chunk(text.substr(start, end - start))) {
      p.start += static_cast<int64_t>(start);
      p.end += static_cast<int64_t>(start);
      out.push_back(std::move(p));
    }
  }
  return out;
}

std::pair<std::vector<std::string>, std::vector<TextSpan>> TransformersRecognizer::_extract_words_and_spans(
    std::u32string_view text) const {
  std::vector<TextSpan> raw;
  const auto pre = tokenizer_ ? tokenizer_->pre_tokenize(inference::to_utf8(text)) : std::nullopt;
  if (pre) {
    for (const auto& token : *pre) raw.emplace_back(token.offsets.start, token.offsets.end);
  } else {
    // No pre-tokenizer: the runs of word characters (\b\w+\b).
    for (size_t i = 0; i < text.size();) {
      if (!is_py_word_char(text[i])) {
        ++i;
        continue;
      }
      size_t j = i;
      while (j < text.size() && is_py_word_char(text[j])) ++j;
      raw.emplace_back(i, j);
      i = j;
    }
  }
  std::vector<std::string> words;
  std::vector<TextSpan> spans;
  for (const TextSpan& span : raw) {
    // The word as it stands in the text (the pre-tokenizer's own spelling
    // may carry markers or byte symbols), without "▁" and outer blanks.
    std::u32string clean;
    for (char32_t c : text.substr(span.first, span.second - span.first)) {
      if (c != U'\u2581') clean.push_back(c);
    }
    size_t a = 0, b = clean.size();
    while (a < b && is_py_space(clean[a])) ++a;
    while (b > a && is_py_space(clean[b - 1])) --b;
    if (a == b) continue;
    words.push_back(inference::to_utf8(std::u32string_view(clean).substr(a, b - a)));
    spans.push_back(span);
  }
  return {std::move(words), std::move(spans)};
}

std::vector<PredictionEntity> TransformersRecognizer::_process_word_level_chunk(std::u32string_view text) const {
  const auto [words, spans] = _extract_words_and_spans(text);
  if (words.empty()) return {};
  // The model reads the words joined by single blanks; its offsets refer to
  // that string, so each word's position there decides which word a
  // prediction belongs to.
  std::string joined;
  std::vector<TextSpan> joined_spans;
  size_t pos = 0;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i) {
      joined += ' ';
      ++pos;
    }
    const size_t length = utf8_length(words[i]);
    joined += words[i];
    joined_spans.emplace_back(pos, pos + length);
    pos += length;
  }
  const auto by_word = _map_pipeline_results_to_words(_call_pipeline(joined), joined_spans);
  const auto entities = _convert_word_predictions_to_entities(by_word, words, spans, text);
  return _refine_boundaries(text, _merge_adjacent_word_entities(text, entities));
}

std::map<size_t, WordPrediction> TransformersRecognizer::_map_pipeline_results_to_words(
    const std::vector<inference::EntityPrediction>& pipeline_results, const std::vector<TextSpan>& word_spans) {
  std::map<size_t, WordPrediction> by_word;
  for (const auto& p : pipeline_results) {
    const auto index = _find_word_for_prediction(p, word_spans);
    if (!index) continue;
    auto it = by_word.find(*index);
    if (it == by_word.end() || p.score > it->second.score) by_word[*index] = {p.label(), p.score};
  }
  return by_word;
}

std::optional<size_t> TransformersRecognizer::_find_word_for_prediction(const inference::EntityPrediction& prediction,
                                                                        const std::vector<TextSpan>& word_spans) {
  std::optional<size_t> best;
  size_t max_overlap = 0;
  for (size_t i = 0; i < word_spans.size(); ++i) {
    const auto [s, e] = word_spans[i];
    if (prediction.start < e && prediction.end > s) {
      const size_t overlap = std::min(prediction.end, e) - std::max(prediction.start, s);
      if (overlap > max_overlap) {
        max_overlap = overlap;
        best = i;
      }
    }
  }
  return best;
}

std::vector<PredictionEntity> TransformersRecognizer::_convert_word_predictions_to_entities(
    const std::map<size_t, WordPrediction>& predictions_by_word, const std::vector<std::string>& words,
    const std::vector<TextSpan>& word_spans, std::u32string_view text) {
  std::vector<PredictionEntity> out;
  for (size_t i = 0; i < words.size() && i < word_spans.size(); ++i) {
    auto it = predictions_by_word.find(i);
    if (it == predictions_by_word.end() || it->second.entity == "O") continue;
    const auto [a, b] = _get_actual_boundaries_without_spaces(text, static_cast<int64_t>(word_spans[i].first),
                                                              static_cast<int64_t>(word_spans[i].second));
    if (!a || !b) continue;
    std::string label = it->second.entity;
    for (const char* prefix : {"B-", "I-"}) {
      for (size_t p = label.find(prefix); p != std::string::npos; p = label.find(prefix, p)) label.erase(p, 2);
    }
    out.push_back({label, inference::to_utf8(text.substr(*a, *b - *a)), *a, *b, it->second.score});
  }
  return out;
}

std::vector<PredictionEntity> TransformersRecognizer::_merge_adjacent_word_entities(
    std::u32string_view text, const std::vector<PredictionEntity>& predictions) {
  if (predictions.size() <= 1) return predictions;
  std::vector<PredictionEntity> sorted = predictions;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const PredictionEntity& a, const PredictionEntity& b) { return a.start < b.start; });
  std::vector<PredictionEntity> out;
  PredictionEntity current = sorted.front();
  for (size_t i = 1; i < sorted.size(); ++i) {
    const PredictionEntity& next = sorted[i];
    bool blank_gap = current.entity_group == next.entity_group && current.end < next.start &&
                     next.start <= static_cast<int64_t>(text.size());
    for (int64_t k = current.end; blank_gap && k < next.start; ++k) blank_gap = is_py_space(text[k]);
    if (blank_gap) {
      current.end = next.end;
      current.word = inference::to_utf8(text.substr(current.start, current.end - current.start));
      current.score = std::max(current.score, next.score);
    } else {
      out.push_back(std::move(current));
      current = next;
    }
  }
  out.push_back(std::move(current));
  return out;
}

std::vector<PredictionEntity> TransformersRecognizer::_refine_boundaries(
    std::u32string_view text, const std::vector<PredictionEntity>& predictions) {
  std::vector<PredictionEntity> kept;
  for (const PredictionEntity& p : predictions) {
    const auto [a, b] = _get_actual_boundaries_without_spaces(text, p.start, p.end);
    if (!a || !b) continue;
    const auto [c, d] = _strip_trailing_punctuation(text, *a, *b);
    if (!c || !d) continue;
    if (_is_a_complete_word(text, *c, *d)) {
      PredictionEntity copy = p;
      copy.start = *c;
      copy.end = *d;
      copy.word = inference::to_utf8(text.substr(*c, *d - *c));
      kept.push_back(std::move(copy));
    }
  }
  return kept;
}

std::pair<std::optional<int64_t>, std::optional<int64_t>> TransformersRecognizer::_strip_trailing_punctuation(
    std::u32string_view text, int64_t start, int64_t end) {
  if (start < 0 || end > static_cast<int64_t>(text.size()) || start >= end) return {};
  int64_t e = end;
  while (e > start && PUNCTUATION_CHARS.find(text[e - 1]) != std::u32string_view::npos) --e;
  if (e == start) return {};
  return {start, e};
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
