// TextAnonymizer: detects PII with an analyzer, replaces it (bracketed
// placeholders by default, realistic fake values on request), remembers every
// replacement, and puts the originals back on request.
//
//   auto analyzer = std::make_shared<TextAnalyzer>();
//   TextAnonymizer anonymizer(analyzer);
//   std::string safe = anonymizer.anonymize("Budi dan Siti di Bandung");
//   // "<PERSON_1> dan <PERSON_2> di <LOCATION_1>"
//   std::string back = anonymizer.deanonymize(safe);
//
// The store of replacements accumulates across texts until
// reset_deanonymizer_mapping(): an original recorded from one text is
// replaced in every later text too, always by the same placeholder. The
// output is the input rewritten from the whole store — longest original
// first, whole words, ignoring letter case — in one pass, so a replacement
// is never itself searched again.
//
// Fail closed: when detection cannot complete — a pattern hits its
// backtracking bound, a recognizer or model fails, the text is longer than
// `max_text_length` — anonymize throws, returns no text and leaves the store
// unchanged. With `keep_going`, a failing recognizer is logged, counted
// (detection_failures()) and skipped, and the text is anonymized from the
// other recognizers' results. Remote recognizers never fail an analysis:
// they log and count failed requests themselves (RemoteRecognizer).
//
// An instance holds mutable state (the store, the operators and, with fake
// values, a random generator): calls on one instance must not overlap,
// except detect(), which may run on any number of threads at once. The
// analyzer may be shared.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "tesk_privacy/anonymization/anonymizer_engine.h"
#include "tesk_privacy/pii_detector/analyzer.h"
#include "tesk_privacy/pii_detector/anonymizer.h"
#include "tesk_privacy/pii_detector/store/deanonymizer_mapping.h"

namespace tesk_privacy::pii_detector {

class StoreRewriter;

struct AnonymizeOptions {
  std::optional<std::vector<std::string>> entities;
  std::string language = "id";
  std::optional<anonymization::ConflictResolutionStrategy> conflict_resolution;
  double analyzer_score_threshold = 0.46;
  std::optional<std::vector<std::string>> allow_list;
  std::string allow_list_match = "exact";
  int regex_flags = regex::kDefaultFlags;
  // Caller context words, handed to the analyzer.
  std::optional<std::vector<std::string>> context;
  // Handed to the analyzer engine: recognizers for this call only, and NLP
  // output computed before for this text.
  std::vector<std::shared_ptr<recognition::EntityRecognizer>> ad_hoc_recognizers;
  const recognition::NlpArtifacts* nlp_artifacts = nullptr;
  // Handed to the analyzer: progress within a long text (see AnalyzeOptions).
  std::function<void(size_t done, size_t total)> on_progress;
};

struct TextAnonymizerOptions {
  std::optional<anonymization::OperatorMap> operators;
  // Fake values for every entity type that has a fake-value generator;
  // `operators` is then ignored.
  bool add_default_faker_operators = false;
  std::optional<uint64_t> faker_seed = 42;
  // Locale of the fake values: "en_US" or "id_ID".
  std::string faker_locale = "en_US";
  // Every fake value follows faker_seed, the legal form of fake companies
  // and the fake KTP numbers too (by default those two come from the
  // process-wide random source, so runs with one seed differ).
  bool reproducible_fake_values = false;
  std::shared_ptr<anonymization::AnonymizerEngine> anonymizer_engine;
  std::optional<DeanonymizerMapping> deanonymizer_mapping;
  // Absent: true when `operators` is given, false otherwise.
  std::optional<bool> skip_format_duplicates = false;
  // Go on without a recognizer that fails instead of failing the call.
  bool keep_going = false;
  // Longest text anonymize accepts, in code points; absent: no limit.
  std::optional<size_t> max_text_length;
};

// A text longer than the anonymizer's `max_text_length`.
class InputTooLargeError : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
};

class TextAnonymizer : public BaseTextAnonymizer {
 public:
  explicit TextAnonymizer(std::shared_ptr<const BaseTextAnalyzer> text_analyzer,
                          TextAnonymizerOptions options = {});
  ~TextAnonymizer() override;
  TextAnonymizer(TextAnonymizer&&) noexcept;

  std::string anonymize(const std::string& text, const std::optional<std::vector<std::string>>& entities = std::nullopt,
                        const std::string& language = "id",
                        std::optional<anonymization::ConflictResolutionStrategy> conflict_resolution = std::nullopt,
                        double analyzer_score_threshold = 0.46) override;
  std::string anonymize(const std::string& text, const AnonymizeOptions& options);

  // anonymize() in two halves, for callers that detect on several threads
  // and replace in order on one (anonymize_batch, the command line).
  struct Detection {
    std::vector<recognition::RecognizerResult> results;
    // Recognizer failures skipped under `keep_going`.
    uint64_t skipped_failures = 0;
  };
  // Detection only; it reads nothing but the analyzer and the options, so
  // any number of threads may call it at once, also while another thread
  // runs the second half. The results carry no explanations (replacing
  // needs none). Throws as anonymize() does when detection fails.
  Detection detect(const std::string& text, const AnonymizeOptions& options = {}) const;
  // Replaces and records what detect() found in the same text.
  std::string anonymize(const std::string& text, Detection detection, const AnonymizeOptions& options = {});

  // The texts anonymized in order, as successive anonymize() calls would:
  // the same placeholders and fake values whatever `threads`. Detection runs
  // on `threads` threads (started for this call when more than one). The
  // first text that fails throws, after the texts before it were recorded.
  std::vector<std::string> anonymize_batch(const std::vector<std::string>& texts, const AnonymizeOptions& options = {},
                                           size_t threads = 1);
  std::string deanonymize(const std::string& text) override;
  // With `tolerant`, also placeholders as language models rewrite them
  // ("<person_1>", "[PERSON_1]", "PERSON_1", "< PERSON_1 >"), when the
  // placeholder is in the store (see StreamingDeanonymizer).
  std::string deanonymize(const std::string& text, bool tolerant);

  void reset_deanonymizer_mapping();
  // Replaces the store with `mapping`, for instance a shared store's newer
  // state, or the state before a call whose entries a shared store refused.
  void set_deanonymizer_mapping(MappingDataType mapping);
  // Adds entries recorded elsewhere (another process sharing the mapping),
  // their placeholders as they are, without rebuilding what is derived from
  // the store: a call costs time for the entries, not for the store.
  void append_entries(const MappingDataType& entries);
  // New placeholders of `type` take numbers from `first` on (or above the
  // highest in use, when that is higher): a range of numbers a shared store
  // reserved for this writer.
  void reserve_placeholder_numbers(const std::string& type, long long first);
  // The value the store gives `original` (exact spelling) under `type`, or
  // null; a lookup, not a scan.
  const std::string* anonymized_value(std::string_view type, std::string_view original);
  // The store itself, read without a copy.
  const DeanonymizerMapping& store() const { return deanonymizer_mapping_; }
  // Frees the rewriting tables derived from the store (about 4 KB per
  // stored value); the next call rebuilds them, in time that grows with the
  // store. For holders of many small anonymizers between uses, such as a
  // service's sessions. Results are unchanged.
  void release_caches();
  // Adds (or replaces, per entity type) operators.
  void add_operators(const anonymization::OperatorMap& operators);
  // Leaves the operators present but empty, so every type gets "<TYPE>".
  void remove_all_operators();

  // anonymized -> original, a fresh copy.
  MappingDataType deanonymizer_mapping() const { return deanonymizer_mapping_.data(); }
  // original -> anonymized, a fresh copy.
  MappingDataType anonymizer_mapping() const;

  const std::optional<anonymization::OperatorMap>& operators() const { return operators_; }
  bool skip_format_duplicates() const { return skip_format_duplicates_; }
  const anonymization::AnonymizerEngine& anonymizer() const { return *anonymizer_; }
  // Recognizer failures skipped under `keep_going` since construction.
  uint64_t detection_failures() const { return detection_failures_; }

 private:
  std::shared_ptr<anonymization::AnonymizerEngine> anonymizer_;
  bool skip_format_duplicates_;
  DeanonymizerMapping deanonymizer_mapping_;
  std::shared_ptr<const BaseTextAnalyzer> analyzer_;
  std::optional<anonymization::OperatorMap> operators_;
  // Derived from the store and kept in step with it between calls.
  std::unique_ptr<StoreRewriter> rewriter_;
  // With the default fake-value operators: what a new fake value must not be
  // (see FakeValueGuard in text_anonymizer.cc); shared with those operators.
  std::shared_ptr<struct FakeValueGuard> fake_guard_;
  bool keep_going_;
  std::optional<size_t> max_text_length_;
  uint64_t detection_failures_ = 0;
};

}  // namespace tesk_privacy::pii_detector
