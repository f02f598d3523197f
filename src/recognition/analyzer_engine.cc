#include "tesk_privacy/recognition/analyzer_engine.h"

#include <algorithm>
#include <stdexcept>

#include "tesk_privacy/core/logger.h"
#include "tesk_privacy/recognition/simple_nlp_engine.h"

namespace tesk_privacy::recognition {
namespace {

const core::Logger& logger() {
  static const core::Logger& log = core::LoggerManager().get_logger("tesk_privacy.recognition.analyzer_engine");
  return log;
}

void name_producer(RecognizerResult& r, const EntityRecognizer& recognizer) {
  if (!r.recognition_metadata) r.recognition_metadata.emplace();
  auto& md = *r.recognition_metadata;
  md.try_emplace(RecognizerResult::RECOGNIZER_IDENTIFIER_KEY, recognizer.id());
  md.try_emplace(RecognizerResult::RECOGNIZER_NAME_KEY, recognizer.name());
}

std::vector<RecognizerResult> drop_allowed(const Utf8Text& text, std::vector<RecognizerResult> results,
                                           const std::vector<std::string>& allow_list,
                                           const std::string& match, int flags) {
  if (allow_list.empty()) return results;
  if (match == "exact") {
    std::erase_if(results, [&](const RecognizerResult& r) {
      std::string_view span = text.slice(r.start, r.end);
      return std::find(allow_list.begin(), allow_list.end(), span) != allow_list.end();
    });
  } else {
    std::string joined;
    for (const auto& entry : allow_list) joined += (joined.empty() ? "(?:" : "|(?:") + entry + ")";
    regex::Regex allowed(joined, flags);
    std::erase_if(results, [&](const RecognizerResult& r) {
      return allowed.full_match(text.slice(r.start, r.end));
    });
  }
  return results;
}

}  // namespace

std::vector<RecognizerResult> remove_duplicates(const std::vector<RecognizerResult>& results) {
  std::vector<RecognizerResult> kept;
  kept.reserve(results.size());
  for (size_t i = 0; i < results.size(); ++i) {
    const RecognizerResult& r = results[i];
    bool dominated = false;
    for (size_t j = 0; j < results.size() && !dominated; ++j) {
      if (i == j) continue;
      const RecognizerResult& o = results[j];
      if (o.entity_type != r.entity_type || !r.contained_in(o)) continue;
      if (r.equal_indices(o)) {
        // Equal spans: the higher score stays; on a tie, the first one.
        dominated = o.score > r.score || (o.score == r.score && j < i);
      } else {
        dominated = o.score >= r.score;
      }
    }
    if (!dominated) kept.push_back(r);
  }
  return kept;
}

AnalyzerEngine::AnalyzerEngine(std::shared_ptr<RecognizerRegistry> registry,
                               std::shared_ptr<NlpEngine> nlp_engine,
                               std::vector<std::string> supported_languages,
                               std::shared_ptr<ContextAwareEnhancer> context_aware_enhancer,
                               double default_score_threshold)
    : registry_(std::move(registry)),
      nlp_engine_(std::move(nlp_engine)),
      supported_languages_(std::move(supported_languages)),
      enhancer_(std::move(context_aware_enhancer)),
      default_score_threshold_(default_score_threshold) {
  if (!registry_) {
    registry_ = std::make_shared<RecognizerRegistry>(std::vector<std::shared_ptr<EntityRecognizer>>{},
                                                     supported_languages_);
  }
  if (!nlp_engine_) nlp_engine_ = std::make_shared<SimpleNlpEngine>();
}

std::vector<RecognizerResult> AnalyzerEngine::analyze(const Utf8Text& text, const std::string& language,
                                                      const AnalyzeOptions& options) const {
  if (std::find(supported_languages_.begin(), supported_languages_.end(), language) ==
      supported_languages_.end()) {
    throw std::invalid_argument("language '" + language + "' is not supported by this analyzer engine");
  }
  if (options.allow_list_match != "exact" && options.allow_list_match != "regex") {
    throw std::invalid_argument("allow_list_match must be 'exact' or 'regex', not '" +
                                options.allow_list_match + "'");
  }
  const std::vector<std::string> entities = options.entities.value_or(std::vector<std::string>{});
  auto recognizers = registry_->get_recognizers(language, entities);
  NlpArtifacts artifacts = nlp_engine_->process_text(text, language);

  std::vector<RecognizerResult> results;
  for (const auto& recognizer : recognizers) {
    std::vector<RecognizerResult> found;
    if (options.on_recognizer_error) {
      try {
        found = recognizer->analyze(text, entities, &artifacts, options.regex_flags);
      } catch (const std::exception& e) {
        options.on_recognizer_error(*recognizer, e);
        continue;
      }
    } else {
      found = recognizer->analyze(text, entities, &artifacts, options.regex_flags);
    }
    for (RecognizerResult& r : found) {
      if (r.start < 0 || r.end <= r.start || r.end > static_cast<int64_t>(text.length())) {
        // Spans from outside sources (services, models, caller code) are not
        // trusted: one that does not lie inside the text is dropped here so
        // nothing downstream slices past the text.
        logger().warning("dropped a result of " + recognizer->name() + " outside the text: " + to_string(r));
        continue;
      }
      if (!entities.empty() && std::find(entities.begin(), entities.end(), r.entity_type) == entities.end()) {
        continue;
      }
      name_producer(r, *recognizer);
      results.push_back(std::move(r));
    }
  }
  if (enhancer_) {
    results = enhancer_->enhance_using_context(text, results, artifacts, recognizers, options.context);
  }
  const double threshold = options.score_threshold.value_or(default_score_threshold_);
  std::erase_if(results, [&](const RecognizerResult& r) { return r.score < threshold; });
  if (options.allow_list) {
    results = drop_allowed(text, std::move(results), *options.allow_list, options.allow_list_match,
                           options.regex_flags);
  }
  return remove_duplicates(results);
}

}  // namespace tesk_privacy::recognition
