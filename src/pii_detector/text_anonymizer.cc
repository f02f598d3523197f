#include "tesk_privacy/pii_detector/text_anonymizer.h"

#include <algorithm>
#include <stdexcept>
#include <unordered_map>

#include "pii_detector/utils/whole_word_replacer.h"
#include "tesk_privacy/pii_detector/utils/pseudo_anonymizer_mapping.h"

namespace tesk_privacy::pii_detector {

TextAnonymizer::TextAnonymizer(std::shared_ptr<const BaseTextAnalyzer> text_analyzer, TextAnonymizerOptions options)
    : anonymizer_(options.anonymizer_engine ? std::move(options.anonymizer_engine)
                                            : std::make_shared<anonymization::AnonymizerEngine>()),
      skip_format_duplicates_(options.skip_format_duplicates.value_or(options.operators.has_value())),
      deanonymizer_mapping_(options.deanonymizer_mapping
                                ? std::move(*options.deanonymizer_mapping)
                                : DeanonymizerMapping(MappingDataType{}, skip_format_duplicates_)),
      analyzer_(std::move(text_analyzer)) {
  if (!analyzer_) throw std::invalid_argument("TextAnonymizer needs a text analyzer");
  if (options.add_default_faker_operators) {
    operators_.emplace();
    for (auto& [entity, generator] : get_pseudoanonymizer_mapping(options.faker_seed, options.faker_locale)) {
      operators_->insert_or_assign(entity, anonymization::OperatorConfig("custom", {{"lambda", generator}}));
    }
  } else {
    operators_ = std::move(options.operators);
  }
}

std::string TextAnonymizer::anonymize(const std::string& text, const std::optional<std::vector<std::string>>& entities,
                                      const std::string& language,
                                      std::optional<anonymization::ConflictResolutionStrategy> conflict_resolution,
                                      double analyzer_score_threshold) {
  AnonymizeOptions options;
  options.entities = entities;
  options.language = language;
  options.conflict_resolution = conflict_resolution;
  options.analyzer_score_threshold = analyzer_score_threshold;
  return anonymize(text, options);
}

std::string TextAnonymizer::anonymize(const std::string& input, const AnonymizeOptions& options) {
  const Utf8Text text(input);
  AnalyzeOptions analyze_options;
  analyze_options.entities = options.entities;
  analyze_options.score_threshold = options.analyzer_score_threshold;
  analyze_options.allow_list = options.allow_list;
  analyze_options.allow_list_match = options.allow_list_match;
  analyze_options.regex_flags = options.regex_flags;
  analyze_options.context = options.context;
  std::vector<recognition::RecognizerResult> detections = analyzer_->analyze(text, options.language, analyze_options);

  auto filtered = anonymizer_->_remove_conflicts_and_get_text_manipulation_data(detections, options.conflict_resolution);
  auto merged = anonymizer_->_merge_entities_with_whitespace_between(text, filtered);
  anonymization::EngineResult engine_result = anonymizer_->anonymize(text, merged, operators_);
  MappingDataType text_mapping =
      create_anonymizer_mapping(text, merged, engine_result, /*is_reversed=*/true, skip_format_duplicates_);
  deanonymizer_mapping_.update(text_mapping);

  // Every original the store knows, longest first; equal lengths keep store order.
  // An original recorded under two placeholders of one type takes the later
  // placeholder, in the place of the first.
  std::vector<std::pair<std::string_view, std::string_view>> pairs;
  std::unordered_map<std::string_view, size_t> seen;
  for (const auto& [type, inner] : deanonymizer_mapping_.mapping) {
    seen.clear();
    for (const auto& [anonymized, original] : inner) {
      auto [it, inserted] = seen.try_emplace(original, pairs.size());
      if (inserted) {
        pairs.emplace_back(original, anonymized);
      } else {
        pairs[it->second].second = anonymized;
      }
    }
  }
  if (!anonymize_replacer_) anonymize_replacer_ = std::make_unique<StoreReplacer>();
  return anonymize_replacer_->replace(text, pairs);
}

std::string TextAnonymizer::deanonymize(const std::string& input) {
  const Utf8Text text(input);
  // A fake value may contain a shorter one ("Andi" in "Andi Saputra"); the
  // longer is restored first so the shorter cannot break it apart.
  std::vector<std::pair<std::string_view, std::string_view>> pairs;
  for (const auto& [type, inner] : deanonymizer_mapping_.mapping) {
    for (const auto& [anonymized, original] : inner) pairs.emplace_back(anonymized, original);
  }
  if (pairs.empty()) return text.str();
  if (!deanonymize_replacer_) deanonymize_replacer_ = std::make_unique<StoreReplacer>();
  return deanonymize_replacer_->replace(text, pairs);
}

TextAnonymizer::~TextAnonymizer() = default;
TextAnonymizer::TextAnonymizer(TextAnonymizer&&) noexcept = default;

void TextAnonymizer::reset_deanonymizer_mapping() { deanonymizer_mapping_ = DeanonymizerMapping(); }

void TextAnonymizer::add_operators(const anonymization::OperatorMap& operators) {
  if (!operators_ || operators_->empty()) {
    operators_ = operators;
    return;
  }
  for (const auto& [type, config] : operators) operators_->insert_or_assign(type, config);
}

void TextAnonymizer::remove_all_operators() {
  if (operators_ && !operators_->empty()) operators_->clear();
}

MappingDataType TextAnonymizer::anonymizer_mapping() const {
  MappingDataType swapped;
  for (const auto& [type, inner] : deanonymizer_mapping_.mapping) {
    EntityMapping& out = swapped[type];
    for (const auto& [anonymized, original] : inner) out[original] = anonymized;
  }
  return swapped;
}

}  // namespace tesk_privacy::pii_detector
