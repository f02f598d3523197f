#include "format_recognizer.h"

#include <algorithm>
#include <map>

namespace tesk_privacy::pii_detector::formats {

FormatRecognizer::FormatRecognizer(std::vector<std::string> supported_entities, std::string name,
                                   std::string supported_language, std::vector<std::string> context,
                                   bool judges_context)
    : EntityRecognizer(std::move(supported_entities), std::move(name), std::move(supported_language), "0.0.1",
                       std::move(context)),
      judges_context_(judges_context) {}

bool FormatRecognizer::wants(const std::vector<std::string>& entities, const char* type) const {
  return entities.empty() || std::find(entities.begin(), entities.end(), type) != entities.end();
}

std::string_view match_window(std::string_view text, size_t start, size_t length) {
  size_t end = std::min(text.size(), start + length);
  while (end < text.size() && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) ++end;
  return text.substr(start, end - start);
}

std::unique_ptr<const regex::Regex> FormatRecognizer::compile(std::string_view pattern, int flags) {
  return std::make_unique<const regex::Regex>(pattern, flags);
}

std::vector<recognition::RecognizerResult> FormatRecognizer::analyze(const Utf8Text& text,
                                                                     const std::vector<std::string>& entities,
                                                                     const recognition::NlpArtifacts*,
                                                                     std::optional<int>) const {
  std::vector<Finding> findings;
  find(text, entities, findings);
  std::vector<recognition::RecognizerResult> results;
  if (findings.empty()) return results;
  recognition::RecognizerResult::Metadata metadata = recognizer_metadata();
  if (judges_context_) metadata.emplace(recognition::RecognizerResult::IS_SCORE_ENHANCED_BY_CONTEXT_KEY, true);
  // One explanation per (pattern, score), shared by the results that have it.
  std::map<std::pair<const char*, double>, recognition::SharedExplanation> explanations;
  results.reserve(findings.size());
  for (const Finding& f : findings) {
    if (f.byte_end <= f.byte_start || !wants(entities, f.entity_type)) continue;
    auto& explanation = explanations[{f.pattern_name, f.score}];
    if (!explanation) {
      explanation = recognition::AnalysisExplanation(
          name(), f.score, "Detected by `" + name() + "` using pattern `" + f.pattern_name + "`", {},
          f.pattern_name);
    }
    results.emplace_back(f.entity_type, static_cast<int64_t>(text.byte_to_cp(f.byte_start)),
                         static_cast<int64_t>(text.byte_to_cp(f.byte_end)), f.score, explanation, metadata);
  }
  return results;
}

}  // namespace tesk_privacy::pii_detector::formats
