#include "pii_detector/models/transformers_recognizer.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <stdexcept>
#include <tuple>

#include "inference/unicode_support.h"
#include "tesk_privacy/core/logger.h"
#include "tesk_privacy/text/utf8_text.h"
#include "text/python_chars.h"

// The per-text work of TransformersRecognizer: chunking, the subword and
// word-level inference paths, and the clean-up of entity boundaries.

namespace tesk_privacy::pii_detector {
namespace {

const core::Logger& logger() { return internal::transformers_logger(); }

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

PredictionEntity from_pipeline(const inference::EntityPrediction& p) {
  return {p.label(), p.word, static_cast<int64_t>(p.start), static_cast<int64_t>(p.end), p.score};
}

}  // namespace

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
  std::optional<recognition::RecognizerResult::Metadata> metadata;  // made with the first result
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
    if (!metadata) metadata = recognizer_metadata();
    result.recognition_metadata = metadata;
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
}  // namespace tesk_privacy::pii_detector
