#include "tesk_privacy/pii_detector/text_anonymizer.h"

#include <algorithm>
#include <cctype>
#include <stdexcept>
#include <string_view>
#include <typeinfo>
#include <unordered_set>

#include "core/ordered_executor.h"
#include "pii_detector/store/store_rewriter.h"
#include "pii_detector/store/whole_word_replacer.h"
#include "tesk_privacy/core/logger.h"
#include "tesk_privacy/pii_detector/store/streaming_deanonymizer.h"
#include "tesk_privacy/pii_detector/store/pseudo_anonymizer_mapping.h"
#include "tesk_privacy/pii_detector/text_analyzer.h"
#include "text/case_mapping.h"
#include "text/python_chars.h"

namespace tesk_privacy::pii_detector {
namespace {

const core::Logger& logger() {
  static const core::Logger& log = core::LoggerManager().get_logger("tesk_privacy.pii_detector.text_anonymizer");
  return log;
}

// Placeholder-shaped text already in a document ("<PERSON_1>"), with its
// byte offsets. A new placeholder must not take its number, and one the
// store already holds is replaced like PII, or the round trip would turn
// that text into a name.
struct LiteralPlaceholder {
  size_t begin, end;
  std::string_view text;
};
std::vector<LiteralPlaceholder> placeholders_in(std::string_view text) {
  std::vector<LiteralPlaceholder> found;
  for (size_t open = text.find('<'); open != std::string_view::npos; open = text.find('<', open + 1)) {
    size_t i = open + 1;
    while (i < text.size() && (std::isalnum(static_cast<unsigned char>(text[i])) || text[i] == '_')) ++i;
    if (i < text.size() && text[i] == '>' && i > open + 1) found.push_back({open, i + 1, text.substr(open, i + 1 - open)});
  }
  return found;
}

}  // namespace

// A fake value stands for one original only: it is none of the store's fake
// values or originals (any type, any letter case), nor text of the document
// at hand, nor a value drawn earlier in the same call. Otherwise two
// originals would share it and the round trip would restore one for both.
struct FakeValueGuard {
  std::unordered_set<std::string> taken;  // lower-cased
  std::string document;                    // lower-cased
  bool stale = true;                       // taken must be rebuilt from the store

  void rebuild(const DeanonymizerMapping& store) {
    taken.clear();
    for (const auto& [type, inner] : store.mapping) {
      for (const auto& [key, value] : inner) {
        taken.insert(to_lower(key));
        taken.insert(to_lower(value));
      }
    }
    stale = false;
  }
  bool usable(const std::string& lowered) const {
    return !taken.count(lowered) && (lowered.size() < 3 || document.find(lowered) == std::string::npos);
  }
};

namespace {

// A generator's fake values, never one the guard holds. A generator with few
// values (the cities of a locale) runs out over a long run; past 100 taken
// draws a draw gets a number (" 2", " 3", ...) so that it is free again.
anonymization::CustomFunction unique_values(std::shared_ptr<FakeValueGuard> guard, anonymization::CustomFunction generator,
                                           std::string type) {
  return [guard = std::move(guard), generator = std::move(generator), type = std::move(type)](const std::string& original) {
    constexpr int kPlainDraws = 100;
    for (int attempt = 0; attempt < kPlainDraws + 1000; ++attempt) {
      std::string value = generator(original);
      for (int n = 2; attempt >= kPlainDraws && n < 1000 && !guard->usable(to_lower(value)); ++n) {
        if (n > 2) value.erase(value.rfind(' '));
        value.append(1, ' ').append(std::to_string(n));
      }
      std::string lowered = to_lower(value);
      if (!guard->usable(lowered)) continue;
      guard->taken.insert(std::move(lowered));
      return value;
    }
    throw std::runtime_error("no unused fake " + type + " value");
  };
}

// A replaced span that rewriting from the store will not reach: removed
// ("redact"), or touched by a word character.
struct UnreachedSpan {
  size_t start, end;
  std::string entity_type;
  bool removed;
};

// Rewriting from the store matches whole words only. A span detected here
// that a word character touches ("Rp 500.000an", "id_081234567890") would
// be recorded yet stay in the text; it must be pinned to the value the store
// gives its original (pinned_spans), and a removed span to nothing.
std::vector<UnreachedSpan> unreached_spans(const Utf8Text& text,
                                           const std::vector<anonymization::Replacement>& replacements) {
  auto word_char_at = [&](int64_t cp) {
    const std::string_view c = text.slice(static_cast<size_t>(cp), static_cast<size_t>(cp) + 1);
    size_t pos = 0;
    return is_py_word_char(decode_utf8(c, pos));
  };
  const auto length = static_cast<int64_t>(text.length());
  std::vector<UnreachedSpan> unreached;
  for (const anonymization::Replacement& r : replacements) {
    const int64_t start = r.span.start, end = r.span.end;
    const bool removed = r.text.empty();
    if (removed || (start > 0 && word_char_at(start - 1)) || (end < length && word_char_at(end))) {
      unreached.push_back({static_cast<size_t>(start), static_cast<size_t>(end), r.span.entity_type, removed});
    }
  }
  return unreached;
}

std::vector<WholeWordReplacer::Pinned> pinned_spans(const Utf8Text& text, const std::vector<UnreachedSpan>& spans,
                                                    StoreRewriter& rewriter, const DeanonymizerMapping& store) {
  std::vector<WholeWordReplacer::Pinned> pinned;
  for (const UnreachedSpan& s : spans) {
    if (s.removed) {  // nothing in the store stands for it
      pinned.push_back({s.start, s.end, std::string_view()});
      continue;
    }
    const std::string* anonymized = rewriter.placeholder(store, s.entity_type, text.slice(s.start, s.end));
    if (anonymized != nullptr) pinned.push_back({s.start, s.end, *anonymized});
  }
  return pinned;
}

}  // namespace

TextAnonymizer::TextAnonymizer(std::shared_ptr<const BaseTextAnalyzer> text_analyzer, TextAnonymizerOptions options)
    : anonymizer_(options.anonymizer_engine ? std::move(options.anonymizer_engine)
                                            : std::make_shared<anonymization::AnonymizerEngine>()),
      skip_format_duplicates_(options.skip_format_duplicates.value_or(options.operators.has_value())),
      deanonymizer_mapping_(options.deanonymizer_mapping
                                ? std::move(*options.deanonymizer_mapping)
                                : DeanonymizerMapping(MappingDataType{}, skip_format_duplicates_)),
      analyzer_(std::move(text_analyzer)),
      rewriter_(std::make_unique<StoreRewriter>()),
      keep_going_(options.keep_going),
      max_text_length_(options.max_text_length) {
  if (!analyzer_) throw std::invalid_argument("TextAnonymizer needs a text analyzer");
  if (options.add_default_faker_operators) {
    operators_.emplace();
    fake_guard_ = std::make_shared<FakeValueGuard>();
    for (auto& [entity, generator] : get_pseudoanonymizer_mapping(options.faker_seed, options.faker_locale,
                                                                         options.reproducible_fake_values)) {
      operators_->insert_or_assign(
          entity, anonymization::OperatorConfig("custom", {{"lambda", unique_values(fake_guard_, generator, entity)}}));
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
  return anonymize(input, detect(input, options), options);
}

TextAnonymizer::Detection TextAnonymizer::detect(const std::string& input, const AnonymizeOptions& options) const {
  const Utf8Text text(input);
  if (max_text_length_ && text.length() > *max_text_length_) {
    throw InputTooLargeError("text of " + std::to_string(text.length()) + " characters is longer than the limit of " +
                             std::to_string(*max_text_length_));
  }
  AnalyzeOptions analyze_options;
  analyze_options.entities = options.entities;
  analyze_options.score_threshold = options.analyzer_score_threshold;
  analyze_options.allow_list = options.allow_list;
  analyze_options.allow_list_match = options.allow_list_match;
  analyze_options.regex_flags = options.regex_flags;
  analyze_options.context = options.context;
  analyze_options.ad_hoc_recognizers = options.ad_hoc_recognizers;
  analyze_options.nlp_artifacts = options.nlp_artifacts;
  analyze_options.keep_long_spans = true;
  analyze_options.on_progress = options.on_progress;
  Detection detection;
  if (keep_going_) {
    analyze_options.on_recognizer_error = [&detection](const recognition::EntityRecognizer& recognizer,
                                                       const std::exception& error) {
      ++detection.skipped_failures;
      logger().error("recognizer " + recognizer.name() + " failed, going on without it: " + error.what());
    };
  }
  // Replacing needs the spans, not how they were found: each window's
  // explanations go as soon as it is done, so that a long text's detections
  // never hold them all. Only the library's own analyzer is read a window at
  // a time; a subclass's analyze() is called as it is.
  auto keep = [&detection](std::vector<recognition::RecognizerResult>& found) {
    for (recognition::RecognizerResult& r : found) r.analysis_explanation = std::nullopt;
    if (detection.results.empty()) {
      detection.results = std::move(found);
    } else {
      detection.results.insert(detection.results.end(), std::make_move_iterator(found.begin()),
                               std::make_move_iterator(found.end()));
    }
  };
  const BaseTextAnalyzer& engine = *analyzer_;
  if (typeid(engine) == typeid(TextAnalyzer)) {
    static_cast<const TextAnalyzer&>(*analyzer_).analyze_each_window(text, options.language, analyze_options, keep);
  } else {
    std::vector<recognition::RecognizerResult> found = analyzer_->analyze(text, options.language, analyze_options);
    keep(found);
  }
  return detection;
}

std::string TextAnonymizer::anonymize(const std::string& input, Detection detection, const AnonymizeOptions& options) {
  const Utf8Text text(input);
  if (fake_guard_) {
    if (fake_guard_->stale) fake_guard_->rebuild(deanonymizer_mapping_);
    fake_guard_->document = to_lower(input);
  }

  // Conflicts are settled once; each surviving span gets one value from its
  // operator, the text's mapping is recorded from those pairs, and the text
  // is written once, from the whole store.
  const std::vector<LiteralPlaceholder> literals = placeholders_in(input);
  for (const LiteralPlaceholder& literal : literals) {
    const size_t underscore = literal.text.rfind('_');
    if (underscore == std::string_view::npos || underscore < 2) continue;
    const std::string type(literal.text.substr(1, underscore - 1));
    const EntityMapping* inner = deanonymizer_mapping_.mapping.find(type);
    if (inner == nullptr || inner->find(std::string(literal.text)) == nullptr) continue;
    detection.results.emplace_back(type, static_cast<int64_t>(text.byte_to_cp(literal.begin)),
                                   static_cast<int64_t>(text.byte_to_cp(literal.end)), 1.0);
  }
  // Each stage's input is freed as soon as the next exists: on a long text
  // dense with PII the detections alone take several times the text.
  MappingDataType text_mapping;
  std::vector<UnreachedSpan> unreached;
  {
    // Writing the text needs the spans, not how they were found: dropping the
    // explanations first frees much of what settling would hold.
    for (recognition::RecognizerResult& r : detection.results) r.analysis_explanation = std::nullopt;
    auto settled = anonymizer_->_remove_conflicts_and_get_text_manipulation_data(std::move(detection.results),
                                                                                  options.conflict_resolution);
    settled = anonymizer_->_merge_entities_with_whitespace_between(text, std::move(settled));
    const std::vector<anonymization::Replacement> replacements =
        anonymizer_->replace_settled(text, std::move(settled), operators_);
    text_mapping = record_replacements(text, replacements, skip_format_duplicates_);
    unreached = unreached_spans(text, replacements);
  }
  std::unordered_set<std::string> in_text;
  for (const LiteralPlaceholder& literal : literals) in_text.emplace(literal.text);
  const EntryCounts before = fake_guard_ ? entry_counts(deanonymizer_mapping_.mapping) : EntryCounts{};
  rewriter_->merge(deanonymizer_mapping_, text_mapping, &in_text);
  text_mapping = MappingDataType();
  if (fake_guard_) {
    // The originals recorded now are taken too (their fake values already are).
    for (const auto& [type, inner] : entries_beyond(deanonymizer_mapping_.mapping, before)) {
      for (const auto& [key, value] : inner) fake_guard_->taken.insert(to_lower(value));
    }
  }
  detection_failures_ += detection.skipped_failures;
  return rewriter_->anonymize(text, deanonymizer_mapping_, pinned_spans(text, unreached, *rewriter_, deanonymizer_mapping_));
}

std::vector<std::string> TextAnonymizer::anonymize_batch(const std::vector<std::string>& texts,
                                                         const AnonymizeOptions& options, size_t threads) {
  std::vector<std::string> out;
  out.reserve(texts.size());
  core::OrderedExecutor<size_t, Detection> run(
      threads, [&](size_t& k) { return detect(texts[k], options); },
      [&](size_t& k, Detection& found) { out.push_back(anonymize(texts[k], std::move(found), options)); });
  for (size_t k = 0; k < texts.size(); ++k) run.submit(k);
  run.finish();
  return out;
}

std::string TextAnonymizer::deanonymize(const std::string& input) {
  // A fake value may contain a shorter one ("Andi" in "Andi Saputra"); the
  // longer is restored first so the shorter cannot break it apart.
  return rewriter_->deanonymize(Utf8Text(input), deanonymizer_mapping_);
}

std::string TextAnonymizer::deanonymize(const std::string& input, bool tolerant) {
  if (!tolerant) return deanonymize(input);
  return rewriter_->deanonymize(Utf8Text(canonical_placeholders(input, deanonymizer_mapping_)), deanonymizer_mapping_);
}

TextAnonymizer::~TextAnonymizer() = default;
TextAnonymizer::TextAnonymizer(TextAnonymizer&&) noexcept = default;

void TextAnonymizer::set_deanonymizer_mapping(MappingDataType mapping) {
  deanonymizer_mapping_ = DeanonymizerMapping(std::move(mapping), deanonymizer_mapping_.skip_format_duplicates);
  rewriter_->invalidate();
  if (fake_guard_) fake_guard_->stale = true;
}

const std::string* TextAnonymizer::anonymized_value(std::string_view type, std::string_view original) {
  return rewriter_->placeholder(deanonymizer_mapping_, type, original);
}

void TextAnonymizer::append_entries(const MappingDataType& entries) {
  rewriter_->append(deanonymizer_mapping_, entries);
  if (fake_guard_) {
    for (const auto& [type, inner] : entries) {
      for (const auto& [key, value] : inner) {
        fake_guard_->taken.insert(to_lower(key));
        fake_guard_->taken.insert(to_lower(value));
      }
    }
  }
}

void TextAnonymizer::reset_deanonymizer_mapping() {
  deanonymizer_mapping_ = DeanonymizerMapping();
  rewriter_->invalidate();
  if (fake_guard_) fake_guard_->stale = true;
}

void TextAnonymizer::reserve_placeholder_numbers(const std::string& type, long long first) {
  rewriter_->raise_numbers(type, first - 1);
}

void TextAnonymizer::release_caches() { rewriter_->release(); }

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
