#include "tesk_privacy/recognition/results_json.h"

#include <nlohmann/json.hpp>

#include <stdexcept>
#include <string>

#include "tesk_privacy/recognition/analysis_explanation.h"

namespace tesk_privacy::recognition {
namespace {

nlohmann::json result_object(const RecognizerResult& r, const Utf8Text& text, const ResultsJsonOptions& options) {
  nlohmann::json item = {{"entity_type", r.entity_type}, {"start", r.start}, {"end", r.end}, {"score", r.score}};
  if (options.with_text && r.start >= 0 && r.end >= r.start && r.end <= static_cast<int64_t>(text.length())) {
    item["text"] = std::string(text.slice(r.start, r.end));
  }
  if (options.explain && r.analysis_explanation) {
    const AnalysisExplanation& ex = *r.analysis_explanation;
    item["recognizer"] = ex.recognizer;
    item["explanation"] = {{"original_score", ex.original_score},
                           {"textual_explanation", ex.textual_explanation},
                           {"pattern_name", ex.pattern_name},
                           {"supportive_context_word", ex.supportive_context_word},
                           {"score_context_improvement", ex.score_context_improvement}};
  }
  return item;
}

template <typename T>
T field(const nlohmann::json& item, const char* name, size_t index) {
  auto it = item.find(name);
  if (it == item.end()) {
    throw std::invalid_argument("result " + std::to_string(index) + " has no \"" + name + "\"");
  }
  try {
    return it->get<T>();
  } catch (const nlohmann::json::exception&) {
    throw std::invalid_argument("result " + std::to_string(index) + ": \"" + name + "\" has the wrong type");
  }
}

}  // namespace

void append_result_json(std::string& out, const RecognizerResult& result, const Utf8Text& text,
                        const ResultsJsonOptions& options) {
  out += result_object(result, text, options).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

void append_removed_json(std::string& out, const std::vector<RecognizerResult>& removed, const Utf8Text& text,
                         const ResultsJsonOptions& options) {
  if (!removed.empty()) {
    out += ",\"removed\":[";
    ResultsJsonOptions bare = options;
    bare.explain = false;
    bare.with_text = false;
    for (size_t i = 0; i < removed.size(); ++i) {
      nlohmann::json item = result_object(removed[i], text, bare);
      item["reason"] = options.removed_reason;
      if (i > 0) out += ',';
      out += item.dump();
    }
    out += ']';
  }
}

std::string results_to_json(const Utf8Text& text, const std::vector<RecognizerResult>& results,
                            const ResultsJsonOptions& options, const std::vector<RecognizerResult>& removed) {
  // Each result is serialized on its own: a large document has millions.
  std::string out = "{\"results\":[";
  for (size_t i = 0; i < results.size(); ++i) {
    if (i > 0) out += ',';
    append_result_json(out, results[i], text, options);
  }
  out += ']';
  append_removed_json(out, removed, text, options);
  out += '}';
  return out;
}

std::vector<RecognizerResult> results_from_json(std::string_view json) {
  nlohmann::json doc = nlohmann::json::parse(json, nullptr, false);
  if (doc.is_discarded()) throw std::invalid_argument("results: not valid JSON");
  const nlohmann::json* list = &doc;
  if (doc.is_object()) {
    auto it = doc.find("results");
    if (it == doc.end()) throw std::invalid_argument("results: the object has no \"results\"");
    list = &*it;
  }
  if (!list->is_array()) throw std::invalid_argument("results: \"results\" is not an array");
  std::vector<RecognizerResult> out;
  out.reserve(list->size());
  for (size_t i = 0; i < list->size(); ++i) {
    const nlohmann::json& item = (*list)[i];
    if (!item.is_object()) throw std::invalid_argument("result " + std::to_string(i) + " is not an object");
    RecognizerResult r(field<std::string>(item, "entity_type", i), field<int64_t>(item, "start", i),
                       field<int64_t>(item, "end", i), field<double>(item, "score", i));
    if (auto ex = item.find("explanation"); ex != item.end() && ex->is_object()) {
      AnalysisExplanation explanation(item.value("recognizer", std::string()), ex->value("original_score", r.score),
                                      ex->value("textual_explanation", std::string()), std::string(),
                                      ex->value("pattern_name", std::string()));
      explanation.supportive_context_word = ex->value("supportive_context_word", std::string());
      explanation.score = r.score;
      explanation.score_context_improvement = ex->value("score_context_improvement", 0.0);
      r.analysis_explanation = std::move(explanation);
    }
    out.push_back(std::move(r));
  }
  return out;
}

}  // namespace tesk_privacy::recognition
