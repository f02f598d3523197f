// TransformersRecognizer: named-entity recognition with a token-
// classification transformer model (BERT, RoBERTa, XLM-RoBERTa, DistilBERT
// families) as a recognizer of the analyzer. Model labels are mapped to the
// library's entity names, spans are cleaned to whole words, and long texts
// are analysed in chunks that fit the token budget.
//
//   auto ner = std::make_shared<TransformersRecognizer>("models/ner-id");
//   ner->load_transformer(MERROW_BERT_CONFIGURATION);
//   TextAnalyzer analyzer({ner});
//
// The model is a folder or a model-hub identifier found in the local hub
// cache. Loaded components (tokenizer, model, pipeline, backend manager,
// locks) are shared process-wide by (model path, tokenization level,
// optimum flag), so a second recognizer of the same model loads nothing;
// cached entries live as long as the process.
//
// Lifecycle: construct, then load_transformer() once; after that analyze()
// may run on several threads at once. load_transformer() and
// switch_backend() change the recognizer and must not overlap its analyses
// (nor, for switch_backend, those of recognizers sharing its components).
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pii_detector/models/inference_backends.h"
#include "pii_detector/models/ner_pipeline.h"
#include "pii_detector/models/optimum_pipeline_manager.h"
#include "pii_detector/models/paragraph_splitter.h"
#include "pii_detector/models/text_chunker.h"
#include "pii_detector/recognizer/config.h"
#include "tesk_privacy/core/logger.h"
#include "tesk_privacy/recognition/entity_recognizer.h"

namespace tesk_privacy::pii_detector {

// This build has the transformer recognizer.
inline constexpr bool TRANSFORMERS_AVAILABLE = true;

// Characters removed from the end of a word-level entity span.
inline constexpr std::u32string_view PUNCTUATION_CHARS = U".,;:!?";

enum class TokenizationLevel { SUBWORD, WORD };
// "subword" or "word".
std::string to_string(TokenizationLevel level);
// Throws std::invalid_argument for anything but "subword" and "word".
TokenizationLevel parse_tokenization_level(std::string_view value);

// One predicted span: its label, covered text, code-point span and score.
struct PredictionEntity {
  std::string entity_group;
  std::string word;
  int64_t start = 0;
  int64_t end = 0;
  double score = 0.0;
  bool operator==(const PredictionEntity&) const = default;
};

// A word's best label on the word-level path.
struct WordPrediction {
  std::string entity;
  double score = 0.0;
  bool operator==(const WordPrediction&) const = default;
};

// What one load produces and the process-wide cache shares.
struct ModelComponents {
  std::shared_ptr<const LockedTokenizer> tokenizer;
  std::shared_ptr<const inference::Encoder> model;  // absent when a backend manager built the pipeline
  std::shared_ptr<const NerPipeline> pipeline;
  std::shared_ptr<OptimumPipelineManager> optimum_manager;
  std::shared_ptr<std::recursive_mutex> tokenizer_lock;
  std::shared_ptr<std::recursive_mutex> pipeline_lock;  // OpenVINO only
};

// Backend, device and optimizations of the loaded pipeline.
using PipelineInfo = BackendInfo;

class TransformersRecognizer : public recognition::EntityRecognizer {
 public:
  // An absent or empty `supported_entities` means the table's
  // PRESIDIO_SUPPORTED_ENTITIES.
  explicit TransformersRecognizer(std::optional<std::string> model_path = std::nullopt,
                                  std::shared_ptr<const NerPipeline> pipeline = nullptr,
                                  std::optional<std::vector<std::string>> supported_entities = std::nullopt,
                                  TokenizationLevel tokenization_level = TokenizationLevel::SUBWORD,
                                  std::optional<bool> use_optimum = std::nullopt,
                                  std::string supported_language = "id",
                                  std::shared_ptr<const InferenceBackends> backends = native_inference_backends());

  // Loading is load_transformer's work.
  void load() override {}
  // Reads the configuration (MERROW_BERT_CONFIGURATION's keys and
  // TOKENIZATION_LEVEL, ID_SCORE_REDUCTION, DATASET_TO_PRESIDIO_MAPPING) and
  // loads the model, or takes it from the cache. Throws
  // inference::ModelNotFoundError for a model that is neither a folder nor
  // cached, std::invalid_argument for a bad configuration value; the
  // recognizer then stays as it was.
  void load_transformer(const Configuration& configuration);
  // The same with the tokenization level given typed; it wins over a
  // TOKENIZATION_LEVEL in `configuration`.
  void load_transformer(const Configuration& configuration, TokenizationLevel tokenization_level);

  // Spans of the requested `entities` (empty: all supported ones). Throws
  // std::logic_error before load_transformer, or when a result must be
  // explained and no DEFAULT_EXPLANATION was configured.
  std::vector<recognition::RecognizerResult> analyze(const Utf8Text& text, const std::vector<std::string>& entities,
                                                     const recognition::NlpArtifacts* nlp_artifacts = nullptr,
                                                     std::optional<int> regex_flags = std::nullopt) const override;

  // Backend, device and optimizations of the pipeline.
  PipelineInfo get_pipeline_info() const;
  // Rebuilds the pipeline on `backend` and returns true when the new
  // pipeline really runs there; otherwise logs why, keeps the pipeline it
  // had and returns false. Never throws.
  bool switch_backend(const std::string& backend);

  // --- character-budget splitting (see paragraph_splitter.h) ---
  static std::vector<TextSpan> split_long_text(std::string_view text, size_t start_pos, size_t max_length) {
    return pii_detector::split_long_text(text, start_pos, max_length);
  }
  static std::vector<Paragraph> _get_paragraphs(std::string_view text) { return get_paragraphs(text); }
  static std::pair<std::string, size_t> _find_combinable_paragraphs(const std::vector<Paragraph>& paragraphs,
                                                                    size_t start_idx, size_t max_length) {
    return find_combinable_paragraphs(paragraphs, start_idx, max_length);
  }
  static std::vector<TextSpan> _split_text_by_paragraph(std::string_view text, size_t max_length = 512) {
    return split_text_by_paragraph(text, max_length);
  }

  // --- steps of the analysis, offsets in code points of `text` ---
  std::vector<PredictionEntity> _get_ner_results_for_text(std::u32string_view text) const;
  std::vector<PredictionEntity> _predicts_with_pipeline(std::u32string_view text) const;
  std::vector<PredictionEntity> _subword_level_pipeline(std::u32string_view text) const;
  std::vector<PredictionEntity> _word_level_pipeline(std::u32string_view text) const;
  std::vector<PredictionEntity> _process_word_level_chunk(std::u32string_view text) const;
  std::pair<std::vector<std::string>, std::vector<TextSpan>> _extract_words_and_spans(
      std::u32string_view text) const;
  std::vector<inference::EntityPrediction> _call_pipeline(std::string_view text) const;
  recognition::AnalysisExplanation build_transformers_explanation(double original_score,
                                                                   const std::string& explanation,
                                                                   const std::string& pattern) const;
  // The entity name for a model label: mapped, passed through, or absent
  // when the mapped name is an ignored label.
  std::optional<std::string> check_label_transformer(const std::string& label, const std::string& word) const;

  static std::vector<PredictionEntity> _merge_adjacent_entities(const std::vector<PredictionEntity>& predictions);
  static recognition::RecognizerResult _convert_to_recognizer_result(const PredictionEntity& prediction,
                                                                     const recognition::AnalysisExplanation& explanation);
  // The span without its leading and trailing white space; absent for an
  // invalid or blank span.
  static std::pair<std::optional<int64_t>, std::optional<int64_t>> _get_actual_boundaries_without_spaces(
      std::u32string_view text, int64_t raw_start, int64_t raw_end);
  // No letter, digit or "_" right before or after the span. Throws
  // std::invalid_argument "Invalid start or end indices".
  static bool _is_a_complete_word(std::u32string_view text, int64_t start, int64_t end);
  // `word_spans` are the positions the pipeline's offsets refer to.
  static std::map<size_t, WordPrediction> _map_pipeline_results_to_words(
      const std::vector<inference::EntityPrediction>& pipeline_results, const std::vector<TextSpan>& word_spans);
  static std::optional<size_t> _find_word_for_prediction(const inference::EntityPrediction& prediction,
                                                         const std::vector<TextSpan>& word_spans);
  static std::vector<PredictionEntity> _convert_word_predictions_to_entities(
      const std::map<size_t, WordPrediction>& predictions_by_word, const std::vector<std::string>& words,
      const std::vector<TextSpan>& word_spans, std::u32string_view text);
  static std::vector<PredictionEntity> _merge_adjacent_word_entities(std::u32string_view text,
                                                                     const std::vector<PredictionEntity>& predictions);
  static std::vector<PredictionEntity> _refine_boundaries(std::u32string_view text,
                                                          const std::vector<PredictionEntity>& predictions);
  static std::pair<std::optional<int64_t>, std::optional<int64_t>> _strip_trailing_punctuation(
      std::u32string_view text, int64_t start, int64_t end);
  static std::string _generate_cache_key(const std::optional<std::string>& model_path,
                                         const std::string& tokenization_level, std::optional<bool> use_optimum);

  // --- state ---
  const std::optional<std::string>& model_path() const { return model_path_; }
  TokenizationLevel tokenization_level() const { return tokenization_level_; }
  bool is_loaded() const { return is_loaded_; }
  std::optional<bool> use_optimum() const { return use_optimum_; }
  const std::optional<std::string>& aggregation_mechanism() const { return aggregation_mechanism_; }
  const std::optional<std::vector<std::string>>& ignore_labels() const { return ignore_labels_; }
  const std::optional<OrderedMap<std::string>>& model_to_presidio_mapping() const {
    return model_to_presidio_mapping_;
  }
  const std::optional<OrderedMap<std::string>>& entity_mapping() const { return entity_mapping_; }
  const std::optional<std::string>& default_explanation() const { return default_explanation_; }
  std::optional<int64_t> chunk_length() const { return chunk_length_; }
  const std::optional<std::string>& id_entity_name() const { return id_entity_name_; }
  std::optional<double> id_score_reduction() const { return id_score_reduction_; }
  const std::shared_ptr<const inference::Encoder>& model() const { return model_; }
  const std::shared_ptr<const LockedTokenizer>& tokenizer() const { return tokenizer_; }
  const std::shared_ptr<const NerPipeline>& pipeline() const { return pipeline_; }
  const std::shared_ptr<const TokenAwareTextChunker>& text_chunker() const { return text_chunker_; }
  const std::shared_ptr<OptimumPipelineManager>& optimum_manager() const { return optimum_manager_; }
  const std::shared_ptr<std::recursive_mutex>& tokenizer_lock() const { return tokenizer_lock_; }
  const std::shared_ptr<std::recursive_mutex>& pipeline_lock() const { return pipeline_lock_; }

 private:
  void _load_pipeline();
  void _ensure_tokenizer_thread_safe();
  bool _is_openvino_backend() const;
  std::string cache_key() const;

  std::optional<std::string> model_path_;
  std::shared_ptr<const NerPipeline> pipeline_;
  TokenizationLevel tokenization_level_;
  bool is_loaded_ = false;
  std::optional<bool> use_optimum_;
  std::optional<std::string> aggregation_mechanism_;
  std::optional<std::vector<std::string>> ignore_labels_;
  std::optional<OrderedMap<std::string>> model_to_presidio_mapping_;
  std::optional<OrderedMap<std::string>> entity_mapping_;
  std::optional<std::string> default_explanation_;
  std::optional<int64_t> chunk_length_;
  std::optional<std::string> id_entity_name_;
  std::optional<double> id_score_reduction_;
  std::shared_ptr<const inference::Encoder> model_;
  std::shared_ptr<const LockedTokenizer> tokenizer_;
  std::shared_ptr<const TokenAwareTextChunker> text_chunker_;
  std::shared_ptr<OptimumPipelineManager> optimum_manager_;
  std::shared_ptr<std::recursive_mutex> tokenizer_lock_ = std::make_shared<std::recursive_mutex>();
  std::shared_ptr<std::recursive_mutex> pipeline_lock_;
  std::shared_ptr<const InferenceBackends> backends_;
  Configuration backend_config_;
};

namespace internal {
// The logger both halves of TransformersRecognizer write to.
const core::Logger& transformers_logger();
}  // namespace internal

}  // namespace tesk_privacy::pii_detector
