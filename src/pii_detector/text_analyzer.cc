#include "tesk_privacy/pii_detector/text_analyzer.h"

#include <algorithm>
#include <functional>
#include <iterator>
#include <utility>

#include "core/ordered_executor.h"
#include "pii_detector/custom_lemma_context_aware_enhancer.h"
#include "pii_detector/formats/address_recognizer.h"
#include "pii_detector/formats/amount_recognizer.h"
#include "pii_detector/formats/findings_resolver.h"
#include "pii_detector/formats/identifier_recognizer.h"
#include "pii_detector/formats/indonesian_date_recognizer.h"
#include "pii_detector/formats/vehicle_plate_recognizer.h"
#include "pii_detector/formats/written_out_email_recognizer.h"
#include "pii_detector/models/spacy_model_loader.h"
#include "pii_detector/recognizer/bank_account_number_recognizer.h"
#include "pii_detector/recognizer/bpjs_number_recognizer.h"
#include "pii_detector/recognizer/credit_card_recognizer.h"
#include "pii_detector/recognizer/facebook_account_recognizer.h"
#include "pii_detector/recognizer/family_card_number_recognizer.h"
#include "pii_detector/recognizer/halvern_employee_id_recognizer.h"
#include "pii_detector/recognizer/indonesian_phone_number_recognizer.h"
#include "pii_detector/recognizer/ktp_recognizer.h"
#include "pii_detector/recognizer/linkedin_account_recognizer.h"
#include "pii_detector/recognizer/money_recognizer.h"
#include "pii_detector/recognizer/npwp_recognizer.h"
#include "pii_detector/recognizer/organization_name_recognizer.h"
#include "pii_detector/recognizer/project_name_recognizer.h"
#include "recognition/nlp_engine_provider.h"
#include "recognition/predefined/email_recognizer.h"
#include "recognition/predefined/phone_recognizer.h"
#include "text/python_chars.h"

namespace tesk_privacy::pii_detector {

const recognition::NlpConfiguration& DEFAULT_NLP_CONFIGURATION() {
  static const recognition::NlpConfiguration configuration;
  return configuration;
}

namespace {

using Recognizer = std::shared_ptr<recognition::EntityRecognizer>;

template <typename R>
void add_for(recognition::RecognizerRegistry& registry, std::initializer_list<const char*> languages) {
  for (const char* language : languages) registry.add_recognizer(std::make_shared<R>(language));
}

}  // namespace

TextAnalyzer::TextAnalyzer(std::vector<Recognizer> additional_recognizers,
                           std::optional<recognition::NlpConfiguration> nlp_configuration,
                           const ModelPlatform& platform, TextAnalyzerOptions options)
    : options_(options) {
  const recognition::NlpConfiguration& configuration =
      nlp_configuration ? *nlp_configuration : DEFAULT_NLP_CONFIGURATION();
  for (const auto& model : configuration.models) {
    ensure_spacy_model(model.model_name.empty() ? DEFAULT_SPACY_MODEL : model.model_name,
                       DEFAULT_SPACY_MODEL_VERSION, platform);
  }
  recognition::NlpEngineProvider provider(configuration);
  registry_ = _initialize_registry();

  recognition::RecognizerRegistry& r = *registry_;
  add_for<BankAccountNumberRecognizer>(r, {"en", "id"});
  add_for<BPJSNumberRecognizer>(r, {"en", "id"});
  add_for<IndonesianPhoneNumberRecognizer>(r, {"en", "id"});
  add_for<HalvernEmployeeIdRecognizer>(r, {"en", "id"});
  add_for<FacebookAccountRecognizer>(r, {"en", "id"});
  add_for<FamilyCardNumberRecognizer>(r, {"en", "id"});
  add_for<KTPRecognizer>(r, {"en", "id"});
  add_for<LinkedinAccountRecognizer>(r, {"en", "id"});
  add_for<MoneyRecognizer>(r, {"en", "id"});
  add_for<NPWPRecognizer>(r, {"en", "id"});
  add_for<OrganizationNameRecognizer>(r, {"en", "id"});
  add_for<ProjectNameRecognizer>(r, {"en", "id"});
  add_for<CreditCardRecognizer>(r, {"en", "id"});
  add_for<recognition::EmailRecognizer>(r, {"id"});
  add_for<recognition::PhoneRecognizer>(r, {"id"});
  if (options_.indonesian_formats) {
    add_for<formats::IdentifierRecognizer>(r, {"en", "id"});
    add_for<formats::WrittenOutEmailRecognizer>(r, {"en", "id"});
    add_for<formats::VehiclePlateRecognizer>(r, {"en", "id"});
    add_for<formats::IndonesianDateRecognizer>(r, {"id"});
    add_for<formats::AddressRecognizer>(r, {"en", "id"});
    add_for<formats::AmountRecognizer>(r, {"en", "id"});
  }
  for (auto& recognizer : additional_recognizers) r.add_recognizer(std::move(recognizer));

  auto enhancer = std::make_shared<CustomLemmaContextAwareEnhancer>(0.45, 0.46);
  analyzer_ = std::make_shared<recognition::AnalyzerEngine>(registry_, provider.create_engine(),
                                                            std::vector<std::string>{"en", "id"}, enhancer);
  post_processing_fn_ = {&TextAnalyzer::_filter_entities_based_on_the_text_length};
}

std::shared_ptr<recognition::RecognizerRegistry> TextAnalyzer::_initialize_registry() {
  auto registry = std::make_shared<recognition::RecognizerRegistry>();
  registry->load_predefined_recognizers();
  registry->supported_languages = {"en", "id"};
  return registry;
}

std::vector<recognition::RecognizerResult> TextAnalyzer::_filter_entities_based_on_the_text_length(
    std::vector<recognition::RecognizerResult> results) {
  std::erase_if(results, [](const recognition::RecognizerResult& r) {
    const int64_t length = r.end - r.start;
    return !(1 < length && length < MAX_PII_TEXT_LENGTH);
  });
  return results;
}

std::vector<recognition::RecognizerResult> TextAnalyzer::analyze(const Utf8Text& text, const std::string& language,
                                                                 const AnalyzeOptions& options) const {
  if (options_.window_chars > 0 && text.length() > options_.window_chars && options.nlp_artifacts == nullptr) {
    std::vector<recognition::RecognizerResult> out;
    analyze_each_window(text, language, options, [&](std::vector<recognition::RecognizerResult>& found) {
      out.insert(out.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
    });
    return out;
  }
  return analyze_whole(text, language, options);
}

void TextAnalyzer::analyze_each_window(
    const Utf8Text& text, const std::string& language, const AnalyzeOptions& options,
    const std::function<void(std::vector<recognition::RecognizerResult>&)>& each) const {
  if (options_.window_chars == 0 || text.length() <= options_.window_chars || options.nlp_artifacts != nullptr) {
    std::vector<recognition::RecognizerResult> found = analyze_whole(text, language, options);
    each(found);
    return;
  }
  constexpr size_t kOverlap = ANALYSIS_WINDOW_OVERLAP;
  const size_t n = text.length();
  const size_t width = std::max(options_.window_chars, 4 * kOverlap);
  auto space_before = [&](size_t cp) {
    const std::string_view c = text.slice(cp - 1, cp);
    size_t pos = 0;
    return is_py_space(decode_utf8(c, pos));
  };
  // Moves a window edge by at most a quarter of the overlap (back for an
  // end, forward for a start) to just after white space, so that no window
  // starts or ends inside a word when it can help it.
  auto snap = [&](size_t cp, bool back) {
    for (size_t step = 0; step < kOverlap / 4; ++step) {
      const size_t at = back ? cp - step : cp + step;
      if (at == 0 || at >= n) break;
      if (space_before(at)) return at;
    }
    return cp;
  };
  std::vector<recognition::RecognizerResult> owned, dropped;
  size_t start = 0, own_start = 0;
  for (;;) {
    size_t end = std::min(n, start + width);
    if (end < n) end = snap(end, /*back=*/true);
    const size_t own_end = end == n ? n : end - kOverlap / 2;
    AnalyzeOptions window_options = options;
    if (options.dropped_by_length != nullptr) {
      dropped.clear();
      window_options.dropped_by_length = &dropped;
    }
    auto shift_owned = [&](std::vector<recognition::RecognizerResult>& found,
                           std::vector<recognition::RecognizerResult>& into) {
      for (recognition::RecognizerResult& r : found) {
        r.start += static_cast<int64_t>(start);
        r.end += static_cast<int64_t>(start);
        if (static_cast<size_t>(r.start) >= own_start && static_cast<size_t>(r.start) < own_end) {
          into.push_back(std::move(r));
        }
      }
    };
    std::vector<recognition::RecognizerResult> found =
        analyze_whole(Utf8Text(std::string(text.slice(start, end))), language, window_options);
    owned.clear();
    shift_owned(found, owned);
    if (options.dropped_by_length != nullptr) shift_owned(dropped, *options.dropped_by_length);
    each(owned);
    if (options.on_progress) options.on_progress(own_end, n);
    if (end == n) return;
    own_start = own_end;
    start = snap(end - kOverlap, /*back=*/false);
  }
}

std::vector<recognition::RecognizerResult> TextAnalyzer::analyze_whole(const Utf8Text& text,
                                                                       const std::string& language,
                                                                       const AnalyzeOptions& options) const {
  AnalyzeOptions with_defaults = options;
  if (!with_defaults.score_threshold) with_defaults.score_threshold = 0.46;
  std::vector<recognition::RecognizerResult> results = analyzer_->analyze(text, language, with_defaults);
  if (!options_.indonesian_formats) {
    for (const PostProcessingFn& step : post_processing_fn_) results = step(std::move(results));
    return results;
  }
  results = formats::resolve_findings(text, std::move(results));
  // A span too long for the length filter is still PII that was found: the
  // anonymizer keeps it so that nothing found stays in clear, and analyze
  // reports what the filter removed when asked.
  if (options.keep_long_spans) {
    std::erase_if(results, [](const recognition::RecognizerResult& r) { return r.end - r.start <= 1; });
    return results;
  }
  if (options.dropped_by_length != nullptr) {
    for (const auto& r : results) {
      if (r.end - r.start >= MAX_PII_TEXT_LENGTH) options.dropped_by_length->push_back(r);
    }
  }
  for (const PostProcessingFn& step : post_processing_fn_) results = step(std::move(results));
  return results;
}

std::vector<std::vector<recognition::RecognizerResult>> TextAnalyzer::analyze_batch(
    const std::vector<std::string>& texts, const std::string& language, const AnalyzeOptions& options,
    size_t threads) const {
  using Results = std::vector<recognition::RecognizerResult>;
  std::vector<Results> out;
  out.reserve(texts.size());
  core::OrderedExecutor<size_t, Results> run(
      threads, [&](size_t& k) { return analyze(Utf8Text(texts[k]), language, options); },
      [&](size_t&, Results& found) { out.push_back(std::move(found)); });
  for (size_t k = 0; k < texts.size(); ++k) run.submit(k);
  run.finish();
  return out;
}

}  // namespace tesk_privacy::pii_detector
