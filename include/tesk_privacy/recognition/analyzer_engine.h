// AnalyzerEngine: runs the recognizers of one language over a text and
// returns the scored detections.
//
//   auto registry = std::make_shared<RecognizerRegistry>();
//   registry->add_recognizer(std::make_shared<KTPRecognizer>("en"));
//   AnalyzerEngine engine(registry);
//   auto results = engine.analyze("KTP 3171011205900001", "en");
//
// One analysis, in order:
//  1. The text is checked (valid UTF-8) and handed to the NLP engine.
//  2. Every recognizer of the language that supports a requested entity runs;
//     only results of requested entities are kept. A recognizer's error ends
//     the analysis unless `on_recognizer_error` is set. Results without metadata
//     get the producing recognizer's name and id. A result that does not lie
//     inside the text is dropped with a warning (recognizers that relay a
//     service or a model report offsets nobody checked).
//  3. The context enhancer, when there is one, may raise scores.
//  4. Results scored under `score_threshold` are dropped.
//  5. Results whose text is on the allow list are dropped: "exact" compares
//     the span's text with each entry as is; "regex" drops a span whose whole
//     text matches one of the entries (compiled with the analysis flags).
//  6. Duplicates are removed: among results of one entity type, a result
//     whose span equals or lies inside another's and whose score is not
//     higher is dropped (for equal spans and scores the first one stays).
// Results keep the order in which recognizers reported them.
//
// The engine is immutable after construction; analyze may run on several
// threads at once.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tesk_privacy/recognition/context_aware_enhancer.h"
#include "tesk_privacy/recognition/nlp_engine.h"
#include "tesk_privacy/recognition/recognizer_registry.h"
#include "tesk_privacy/regex/regex.h"

namespace tesk_privacy::recognition {

struct AnalyzeOptions {
  // Entity types to report; absent or empty means all.
  std::optional<std::vector<std::string>> entities;
  // Absent means the engine's default_score_threshold.
  std::optional<double> score_threshold;
  std::optional<std::vector<std::string>> allow_list;
  std::string allow_list_match = "exact";  // or "regex"
  int regex_flags = regex::kDefaultFlags;
  // Caller's context words for the enhancer.
  std::optional<std::vector<std::string>> context;
  // Recognizers for this call only, run after the registry's; like those,
  // only the ones for the language and the wanted entities run.
  std::vector<std::shared_ptr<EntityRecognizer>> ad_hoc_recognizers;
  // The NLP engine's output for this text, computed before (by the caller,
  // for several analyses of one text); null: the engine's NLP runs.
  const NlpArtifacts* nlp_artifacts = nullptr;
  // A recognizer that throws (a pattern over its backtracking bound, a model
  // error) ends the analysis with its error, so an unfinished scan is never
  // taken for a clean text. When this is set, it is called instead and the
  // analysis goes on without that recognizer's results.
  std::function<void(const EntityRecognizer& recognizer, const std::exception& error)> on_recognizer_error;
  // For analyzers that filter spans by length afterwards (TextAnalyzer with
  // its Indonesian formats): keep the spans the filter would drop, as the
  // anonymizer asks, so that nothing found stays in clear ...
  bool keep_long_spans = false;
  // ... or, when not null, append the spans it drops here.
  std::vector<RecognizerResult>* dropped_by_length = nullptr;
  // For analyzers that work through a long text in windows (TextAnalyzer
  // with window_chars): called after each window with the characters done
  // and the text's length, so a caller can report progress within one text.
  std::function<void(size_t done, size_t total)> on_progress;
};

class AnalyzerEngine {
 public:
  // A null registry becomes an empty one for `supported_languages`; a null
  // NLP engine becomes a SimpleNlpEngine; a null enhancer disables context
  // enhancement.
  explicit AnalyzerEngine(std::shared_ptr<RecognizerRegistry> registry = nullptr,
                          std::shared_ptr<NlpEngine> nlp_engine = nullptr,
                          std::vector<std::string> supported_languages = {"en"},
                          std::shared_ptr<ContextAwareEnhancer> context_aware_enhancer = nullptr,
                          double default_score_threshold = 0.0);

  std::vector<RecognizerResult> analyze(const Utf8Text& text, const std::string& language,
                                        const AnalyzeOptions& options = {}) const;

  const RecognizerRegistry& registry() const { return *registry_; }
  const NlpEngine& nlp_engine() const { return *nlp_engine_; }
  const std::vector<std::string>& supported_languages() const { return supported_languages_; }
  const ContextAwareEnhancer* context_aware_enhancer() const { return enhancer_.get(); }

 private:
  std::shared_ptr<RecognizerRegistry> registry_;
  std::shared_ptr<NlpEngine> nlp_engine_;
  std::vector<std::string> supported_languages_;
  std::shared_ptr<ContextAwareEnhancer> enhancer_;
  double default_score_threshold_;
};

// The duplicate-removal rule of step 6, on its own.
std::vector<RecognizerResult> remove_duplicates(std::vector<RecognizerResult> results);

}  // namespace tesk_privacy::recognition
