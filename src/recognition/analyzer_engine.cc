#include "tesk_privacy/recognition/analyzer_engine.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <limits>
#include <stdexcept>

#include "recognition/simple_nlp_engine.h"
#include "tesk_privacy/core/logger.h"

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

// Entity types name placeholders ("<PERSON_1>"): a type that could form or
// break one (brackets, blanks, a trailing "_<number>" as in "PERSON_1") would
// let two originals share a placeholder or write markup into the text, so
// it is refused when a recognizer reports it.
void check_entity_type(const std::string& type, const EntityRecognizer& recognizer) {
  bool ok = !type.empty() && type.size() <= 64 && std::isalpha(static_cast<unsigned char>(type[0]));
  for (char c : type) ok = ok && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
  size_t digits = 0;
  while (ok && digits < type.size() && std::isdigit(static_cast<unsigned char>(type[type.size() - 1 - digits]))) {
    ++digits;
  }
  if (ok && digits > 0 && digits < type.size() && type[type.size() - 1 - digits] == '_') ok = false;
  if (!ok) {
    std::string shown;
    for (char c : type.substr(0, 64)) shown += std::isprint(static_cast<unsigned char>(c)) ? c : '?';
    throw std::invalid_argument("recognizer " + recognizer.name() + " reported the entity type '" + shown +
                                "': entity types are letters, digits and underscores, start with a letter and do "
                                "not end in an underscore and a number, so that no placeholder can be mistaken "
                                "for another");
  }
}

}  // namespace

std::vector<RecognizerResult> remove_duplicates(std::vector<RecognizerResult> results) {
  // A result goes when another of its type has an equal span and a higher
  // score (or the same score, earlier in the list), or strictly contains it
  // with a score at least as high. Texts with tens of thousands of results of
  // one type are common (a log full of numbers), so instead of comparing all
  // pairs, results sorted by (start, end descending) are swept while a
  // Fenwick tree over end positions holds the best score of every span seen
  // so far that ends at or after a position: at each span, those are exactly
  // its strict containers.
  const size_t n = results.size();
  std::vector<size_t> order(n);
  for (size_t i = 0; i < n; ++i) order[i] = i;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const RecognizerResult& x = results[a];
    const RecognizerResult& y = results[b];
    if (x.entity_type != y.entity_type) return x.entity_type < y.entity_type;
    if (x.start != y.start) return x.start < y.start;
    if (x.end != y.end) return x.end > y.end;
    return a < b;
  });
  std::vector<char> dropped(n, 0);
  std::vector<int64_t> ends;
  std::vector<double> best;  // Fenwick tree of maxima over ends, largest end first
  for (size_t type_begin = 0; type_begin < n;) {
    size_t type_end = type_begin;
    while (type_end < n && results[order[type_end]].entity_type == results[order[type_begin]].entity_type) ++type_end;
    ends.clear();
    for (size_t k = type_begin; k < type_end; ++k) ends.push_back(results[order[k]].end);
    std::sort(ends.begin(), ends.end(), std::greater<>());
    ends.erase(std::unique(ends.begin(), ends.end()), ends.end());
    best.assign(ends.size() + 1, -std::numeric_limits<double>::infinity());
    auto slot = [&](int64_t end) {  // 1-based; ends at or after `end` occupy slots 1..slot(end)
      return static_cast<size_t>(std::lower_bound(ends.begin(), ends.end(), end, std::greater<>()) - ends.begin()) + 1;
    };
    for (size_t group = type_begin; group < type_end;) {
      const RecognizerResult& first = results[order[group]];
      size_t group_end = group;
      while (group_end < type_end && results[order[group_end]].equal_indices(first)) ++group_end;
      double container = -std::numeric_limits<double>::infinity();
      for (size_t i = slot(first.end); i > 0; i -= i & (~i + 1)) container = std::max(container, best[i]);
      // Equal spans: only the first of the highest score can stay.
      size_t keeper = group;
      for (size_t k = group + 1; k < group_end; ++k) {
        if (results[order[k]].score > results[order[keeper]].score) keeper = k;
      }
      double group_best = -std::numeric_limits<double>::infinity();
      for (size_t k = group; k < group_end; ++k) {
        const double score = results[order[k]].score;
        dropped[order[k]] = k != keeper || container >= score;
        group_best = std::max(group_best, score);
      }
      for (size_t i = slot(first.end); i <= ends.size(); i += i & (~i + 1)) best[i] = std::max(best[i], group_best);
      group = group_end;
    }
    type_begin = type_end;
  }
  std::vector<RecognizerResult> kept;
  kept.reserve(n);
  for (size_t i = 0; i < n; ++i) {
    if (!dropped[i]) kept.push_back(std::move(results[i]));
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
  // The registry's own list serves when nothing is filtered or added; a
  // copy per call would cost two atomic operations per recognizer, on
  // counts every thread analyzing with this engine shares.
  std::vector<std::shared_ptr<EntityRecognizer>> selected;
  const bool filtered = !entities.empty() || !options.ad_hoc_recognizers.empty();
  if (filtered) {
    selected = registry_->get_recognizers(language, entities);
    for (const auto& r : options.ad_hoc_recognizers) {
      if (!r || r->supported_language() != language) continue;
      if (entities.empty() || std::any_of(entities.begin(), entities.end(),
                                          [&](const std::string& e) { return r->supports_entity(e); })) {
        selected.push_back(r);
      }
    }
  }
  const auto& recognizers = filtered ? selected : registry_->recognizers_for(language);
  std::optional<NlpArtifacts> own_artifacts;
  if (!options.nlp_artifacts) own_artifacts = nlp_engine_->process_text(text, language);
  const NlpArtifacts& artifacts = options.nlp_artifacts ? *options.nlp_artifacts : *own_artifacts;

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
      check_entity_type(r.entity_type, *recognizer);
      name_producer(r, *recognizer);
      results.push_back(std::move(r));
    }
  }
  if (enhancer_) {
    results = enhancer_->enhance_using_context(text, std::move(results), artifacts, recognizers, options.context);
  }
  const double threshold = options.score_threshold.value_or(default_score_threshold_);
  std::erase_if(results, [&](const RecognizerResult& r) { return r.score < threshold; });
  if (options.allow_list) {
    results = drop_allowed(text, std::move(results), *options.allow_list, options.allow_list_match,
                           options.regex_flags);
  }
  return remove_duplicates(std::move(results));
}

}  // namespace tesk_privacy::recognition
