#include "tesk_privacy/recognition/pattern_recognizer.h"

#include <algorithm>
#include <stdexcept>

namespace tesk_privacy::recognition {

PatternRecognizer::PatternRecognizer(std::string supported_entity, std::vector<Pattern> patterns,
                                     std::string supported_language, std::vector<std::string> context,
                                     std::vector<std::string> deny_list, std::string name,
                                     std::string version)
    : EntityRecognizer({supported_entity}, name.empty() ? supported_entity + "Recognizer" : name,
                       std::move(supported_language), std::move(version), std::move(context)),
      patterns_(std::move(patterns)),
      deny_list_(std::move(deny_list)) {
  if (patterns_.empty() && deny_list_.empty()) {
    throw std::invalid_argument("Pattern recognizer should be initialized with patterns or with deny list");
  }
  if (!deny_list_.empty()) {
    // Longest terms first, so that a term never loses to a shorter one it begins with.
    std::vector<std::string> terms = deny_list_;
    std::stable_sort(terms.begin(), terms.end(),
                     [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
    deny_list_regex_ = "(?<!\\w)(?:";
    for (size_t i = 0; i < terms.size(); ++i) {
      deny_list_regex_ += (i ? "|" : "") + regex::escape(terms[i]);
    }
    deny_list_regex_ += ")(?!\\w)";
  }
  default_compiled_ = std::make_shared<const CompiledSet>(compile(regex::kDefaultFlags));
}

PatternRecognizer::CompiledSet PatternRecognizer::compile(int flags) const {
  CompiledSet set;
  set.reserve(patterns_.size() + 1);
  for (const Pattern& p : patterns_) set.push_back(std::make_shared<const regex::Regex>(p.regex, flags));
  if (!deny_list_regex_.empty()) {
    set.push_back(std::make_shared<const regex::Regex>(deny_list_regex_, flags));
  }
  return set;
}

const PatternRecognizer::CompiledSet& PatternRecognizer::compiled_for(int flags) const {
  if (flags == regex::kDefaultFlags) return *default_compiled_;
  std::lock_guard lock(cache_mutex_);
  auto& slot = other_compiled_[flags];
  if (!slot) slot = std::make_shared<const CompiledSet>(compile(flags));
  return *slot;
}

std::vector<RecognizerResult> PatternRecognizer::analyze(const Utf8Text& text,
                                                         const std::vector<std::string>& entities,
                                                         const NlpArtifacts* /*nlp_artifacts*/,
                                                         std::optional<int> regex_flags) const {
  std::vector<RecognizerResult> results;
  if (!entities.empty() && std::find(entities.begin(), entities.end(), supported_entity()) == entities.end()) {
    return results;
  }
  const CompiledSet& compiled = compiled_for(regex_flags.value_or(regex::kDefaultFlags));
  // All patterns' matches first, so the results are allocated once: a text
  // with tens of thousands of matches would otherwise move every result
  // each time the vector grows.
  std::vector<std::vector<regex::MatchSpan>> matches(compiled.size());
  size_t total = 0;
  for (size_t i = 0; i < compiled.size(); ++i) {
    matches[i] = compiled[i]->find_spans(text);
    total += matches[i].size();
  }
  if (total == 0) return results;
  const RecognizerResult::Metadata metadata = recognizer_metadata();
  results.reserve(total);
  for (size_t i = 0; i < compiled.size(); ++i) {
    const std::vector<regex::MatchSpan>& spans = matches[i];
    if (spans.empty()) continue;
    const bool is_deny_list = i == patterns_.size();
    const std::string pattern_name = is_deny_list ? DENY_LIST_PATTERN_NAME : patterns_[i].name;
    const std::string& pattern_text = is_deny_list ? deny_list_regex_ : patterns_[i].regex;
    const double pattern_score = is_deny_list ? DENY_LIST_SCORE : patterns_[i].score;
    // The results of this pattern share one explanation, or two when a
    // validator confirms some of them.
    const SharedExplanation unvalidated = AnalysisExplanation(
        name(), pattern_score, "Detected by `" + name() + "` using pattern `" + pattern_name + "`", pattern_text,
        pattern_name);
    SharedExplanation validated;
    for (const regex::MatchSpan& m : spans) {
      if (m.end <= m.start) continue;
      double score = pattern_score;
      std::optional<bool> valid;
      if (!is_deny_list) {
        std::string_view matched = text.view().substr(m.byte_start, m.byte_end - m.byte_start);
        valid = validate_result(matched);
        if (valid.has_value()) score = *valid ? MAX_SCORE : MIN_SCORE;
        std::optional<bool> invalid = invalidate_result(matched);
        if (invalid.value_or(false)) score = MIN_SCORE;
        if (score <= MIN_SCORE) continue;
      }
      // Only a validator's verdict moves a kept result's score off the pattern's.
      if (valid.has_value() && (!validated || validated->validation_result != valid || validated->score != score)) {
        validated = unvalidated;
        AnalysisExplanation& changed = validated.edit();
        changed.validation_result = valid;
        changed.score = score;
      }
      results.emplace_back(supported_entity(), m.start, m.end, score, valid.has_value() ? validated : unvalidated,
                           metadata);
    }
  }
  return results;
}

}  // namespace tesk_privacy::recognition
