// The recognition framework: patterns, recognizers (subclassable from
// Python), the registry, the NLP engine and the analyzer engine.
#include <Python.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "bindings.h"
#include "recognition/nlp_engine_provider.h"
#include "recognition/predefined/credit_card_recognizer.h"
#include "recognition/predefined/email_recognizer.h"
#include "recognition/predefined/phone_recognizer.h"
#include "tesk_privacy/recognition/analyzer_engine.h"
#include "tesk_privacy/recognition/context_aware_enhancer.h"
#include "tesk_privacy/recognition/entity_recognizer.h"
#include "tesk_privacy/recognition/nlp_artifacts.h"
#include "tesk_privacy/recognition/nlp_configuration.h"
#include "tesk_privacy/recognition/nlp_engine.h"
#include "tesk_privacy/recognition/pattern.h"
#include "tesk_privacy/recognition/pattern_recognizer.h"
#include "tesk_privacy/recognition/recognizer_registry.h"
#include "tesk_privacy/recognition/remote_recognizer.h"
#include "tesk_privacy/recognition/results_json.h"
#include "tesk_privacy/regex/regex.h"
#include "trampolines.h"

namespace tesk_privacy::python {

using recognition::AnalyzeOptions;
using recognition::AnalyzerEngine;
using recognition::ContextAwareEnhancer;
using recognition::EntityRecognizer;
using recognition::NlpArtifacts;
using recognition::NlpEngine;
using recognition::Pattern;
using recognition::PatternRecognizer;
using recognition::RecognizerRegistry;
using recognition::RecognizerResult;
using recognition::RemoteRecognizer;
using Results = std::vector<RecognizerResult>;
using Strings = std::vector<std::string>;

recognition::NlpConfiguration nlp_configuration_from_py(py::handle configuration);

namespace {

// Reaches the protected hooks of the recognizer bases, for Python callers.
struct EntityRecognizerAccess : EntityRecognizer {
  static std::vector<std::string>& context(EntityRecognizer& r) {
    return (r.*(&EntityRecognizerAccess::mutable_context))();
  }
};

struct PatternRecognizerAccess : PatternRecognizer {
  static std::optional<bool> validate(const PatternRecognizer& r, std::string_view text) {
    return (r.*(&PatternRecognizerAccess::validate_result))(text);
  }
  static std::optional<bool> invalidate(const PatternRecognizer& r, std::string_view text) {
    return (r.*(&PatternRecognizerAccess::invalidate_result))(text);
  }
};

Results analyze_with(const EntityRecognizer& self, py::handle text, const std::optional<Strings>& entities,
                     const NlpArtifacts* nlp_artifacts, std::optional<int> regex_flags) {
  Utf8Text t = to_text(text);
  Strings wanted = entities.value_or(Strings{});
  return without_gil([&] {
    AnalysisScope scope;
    return self.analyze(t, wanted, nlp_artifacts, regex_flags);
  });
}

// Reads state that Python may change (see AnalysisScope).
template <class F>
auto read_recognizers(F&& f) {
  return without_gil([&] {
    AnalysisScope scope;
    return f();
  });
}

template <class F>
void change_recognizers(F&& f) {
  without_gil([&] {
    RecognizerChange change;
    f();
  });
}

}  // namespace

recognition::NlpConfiguration nlp_configuration_from_py(py::handle configuration) {
  if (configuration.is_none()) return recognition::NlpConfiguration{};
  py::object json = py::module_::import("json").attr("dumps")(configuration);
  return recognition::NlpConfiguration::from_json(py::cast<std::string>(json));
}

void bind_recognition(py::module_& m) {
  m.attr("DOTALL_MULTILINE_IGNORECASE") = regex::kDefaultFlags;
  m.attr("RECOGNIZER_IDENTIFIER_KEY") = RecognizerResult::RECOGNIZER_IDENTIFIER_KEY;
  m.attr("RECOGNIZER_NAME_KEY") = RecognizerResult::RECOGNIZER_NAME_KEY;
  m.attr("IS_SCORE_ENHANCED_BY_CONTEXT_KEY") = RecognizerResult::IS_SCORE_ENHANCED_BY_CONTEXT_KEY;

  py::class_<Pattern>(m, "Pattern", "A named regular expression (Python `re` dialect) and the score of its matches.")
      .def(py::init<std::string, std::string, double>(), py::arg("name"), py::arg("regex"), py::arg("score"))
      .def_property(
          "name", [](const Pattern& p) { return read_recognizers([&] { return p.name; }); },
          [](Pattern& p, std::string v) { change_recognizers([&] { p.name = std::move(v); }); })
      .def_property(
          "regex", [](const Pattern& p) { return read_recognizers([&] { return p.regex; }); },
          [](Pattern& p, std::string v) { change_recognizers([&] { p.regex = std::move(v); }); })
      .def_property(
          "score", [](const Pattern& p) { return read_recognizers([&] { return p.score; }); },
          [](Pattern& p, double v) { change_recognizers([&] { p.score = v; }); },
          "The score of a match. A recognizer's patterns are its own: a new score applies to its later "
          "analyses (the regular expression stays as compiled).")
      .def("to_dict",
           [](const Pattern& original) {
             Pattern p = read_recognizers([&] { return original; });
             py::dict d;
             d["name"] = p.name;
             d["regex"] = p.regex;
             d["score"] = p.score;
             return d;
           })
      .def("__eq__", [](const Pattern& a, const Pattern& b) { return read_recognizers([&] { return a == b; }); })
      .def("__repr__", [](const Pattern& original) {
        Pattern p = read_recognizers([&] { return original; });
        return "Pattern(name=" + std::string(py::repr(py::str(p.name))) +
               ", regex=" + std::string(py::repr(py::str(p.regex))) +
               ", score=" + std::string(py::repr(py::float_(p.score))) + ")";
      });

  py::class_<NlpArtifacts>(m, "NlpArtifacts",
                           "What the NLP engine knows about one text: tokens, their start offsets (code points), "
                           "lemmas and keywords.")
      .def(py::init([](Strings tokens, std::vector<int64_t> tokens_indices, Strings lemmas, Strings keywords,
                       std::string nlp_engine_name) {
             NlpArtifacts a;
             a.tokens = std::move(tokens);
             a.tokens_indices = std::move(tokens_indices);
             a.lemmas = std::move(lemmas);
             a.keywords = std::move(keywords);
             a.nlp_engine_name = std::move(nlp_engine_name);
             return a;
           }),
           py::arg("tokens") = Strings{}, py::arg("tokens_indices") = std::vector<int64_t>{},
           py::arg("lemmas") = Strings{}, py::arg("keywords") = Strings{}, py::arg("nlp_engine_name") = "")
      .def_readwrite("tokens", &NlpArtifacts::tokens)
      .def_readwrite("tokens_indices", &NlpArtifacts::tokens_indices)
      .def_readwrite("lemmas", &NlpArtifacts::lemmas)
      .def_readwrite("keywords", &NlpArtifacts::keywords)
      .def_readwrite("nlp_engine_name", &NlpArtifacts::nlp_engine_name);

  py::class_<EntityRecognizer, PyRecognizer<EntityRecognizer>, std::shared_ptr<EntityRecognizer>>(
      m, "EntityRecognizer", "Base of every recognizer: reports spans of its entity types in texts of one language.")
      .def(py::init<Strings, std::string, std::string, std::string, Strings>(), py::arg("supported_entities"),
           py::arg("name"), py::arg("supported_language") = "en", py::arg("version") = "0.0.1",
           py::arg("context") = Strings{})
      .def_readonly_static("MIN_SCORE", &EntityRecognizer::MIN_SCORE)
      .def_readonly_static("MAX_SCORE", &EntityRecognizer::MAX_SCORE)
      .def("analyze", &analyze_with, py::arg("text"), py::arg("entities") = py::none(),
           py::arg("nlp_artifacts") = py::none(), py::arg("regex_flags") = py::none(),
           "Results for the requested entity types (None or empty: all supported ones).")
      .def_property_readonly("supported_entities", &EntityRecognizer::get_supported_entities)
      .def("get_supported_entities", &EntityRecognizer::get_supported_entities)
      .def_property_readonly("supported_language", &EntityRecognizer::supported_language)
      .def_property_readonly("name", &EntityRecognizer::name)
      .def_property_readonly("version", &EntityRecognizer::version)
      .def_property_readonly("id", &EntityRecognizer::id)
      .def_property(
          "context", [](const EntityRecognizer& r) { return read_recognizers([&] { return r.context(); }); },
          [](EntityRecognizer& r, Strings context) {
            change_recognizers([&] { EntityRecognizerAccess::context(r) = std::move(context); });
          },
          "Context words: near a result they raise its score.")
      .def("supports_entity", &EntityRecognizer::supports_entity, py::arg("entity"));

  py::class_<PatternRecognizer, EntityRecognizer, PyPatternRecognizer<PatternRecognizer>,
             std::shared_ptr<PatternRecognizer>>(
      m, "PatternRecognizer",
      "Reports every match of its patterns, and every whole-word occurrence of its deny-list terms, as one "
      "entity type.")
      .def(py::init<std::string, std::vector<Pattern>, std::string, Strings, Strings, std::string, std::string>(),
           py::arg("supported_entity"), py::arg("patterns") = std::vector<Pattern>{},
           py::arg("supported_language") = "en", py::arg("context") = Strings{}, py::arg("deny_list") = Strings{},
           py::arg("name") = "", py::arg("version") = "0.0.1")
      .def_readonly_static("DENY_LIST_SCORE", &PatternRecognizer::DENY_LIST_SCORE)
      .def_property_readonly(
          "patterns",
          [](PatternRecognizer& r) -> std::vector<Pattern>& { return const_cast<std::vector<Pattern>&>(r.patterns()); },
          py::return_value_policy::reference_internal, "The recognizer's own patterns (scores may be changed).")
      .def_property_readonly("deny_list", &PatternRecognizer::deny_list)
      .def_property_readonly("supported_entity", &PatternRecognizer::supported_entity)
      .def(
          "validate_result",
          [](const PatternRecognizer& r, const std::string& pattern_text) {
            return PatternRecognizerAccess::validate(r, pattern_text);
          },
          py::arg("pattern_text"), "True confirms a candidate (score 1.0), False rejects it, None keeps its score.")
      .def(
          "invalidate_result",
          [](const PatternRecognizer& r, const std::string& pattern_text) {
            return PatternRecognizerAccess::invalidate(r, pattern_text);
          },
          py::arg("pattern_text"), "True rejects a candidate.");

  py::class_<RemoteRecognizer, EntityRecognizer, PyRecognizer<RemoteRecognizer>,
             std::shared_ptr<RemoteRecognizer>>(
      m, "RemoteRecognizer", "Base of recognizers that send the text to a service and convert its answer.")
      .def(py::init<Strings, std::string, std::string, std::string, Strings>(), py::arg("supported_entities"),
           py::arg("name"), py::arg("supported_language"), py::arg("version"), py::arg("context") = Strings{});

  py::module_ predefined = m.def_submodule("predefined", "The framework's predefined recognizers.");
  using recognition::CreditCardRecognizer;
  using recognition::EmailRecognizer;
  using recognition::PhoneRecognizer;
  py::class_<EmailRecognizer, PatternRecognizer, PyPatternRecognizer<EmailRecognizer>,
             std::shared_ptr<EmailRecognizer>>(
      predefined, "EmailRecognizer")
      .def(py::init<std::string>(), py::arg("supported_language") = "en");
  py::class_<PhoneRecognizer, EntityRecognizer, PyRecognizer<PhoneRecognizer>, std::shared_ptr<PhoneRecognizer>>(
      predefined, "PhoneRecognizer")
      .def(py::init<std::string, Strings, std::optional<Strings>>(), py::arg("supported_language") = "en",
           py::arg("supported_regions") = PhoneRecognizer::DEFAULT_REGIONS(),
           py::arg("context") = py::none())
      .def_property_readonly("supported_regions", &PhoneRecognizer::supported_regions);
  py::class_<CreditCardRecognizer, PatternRecognizer, PyPatternRecognizer<CreditCardRecognizer>,
             std::shared_ptr<CreditCardRecognizer>>(
      predefined, "CreditCardRecognizer")
      .def(card_recognizer_init<CreditCardRecognizer>(),
           py::arg("supported_language") = "en", py::arg("patterns") = py::none(), py::arg("context") = py::none(),
           py::arg("supported_entity") = "CREDIT_CARD");

  py::class_<RecognizerRegistry, std::shared_ptr<RecognizerRegistry>>(
      m, "RecognizerRegistry", "The recognizers an analyzer engine may run, each for one language.")
      .def(py::init([](std::optional<std::vector<py::object>> recognizers, Strings supported_languages) {
             std::vector<std::shared_ptr<EntityRecognizer>> held;
             for (auto& r : recognizers.value_or(std::vector<py::object>{})) held.push_back(hold<EntityRecognizer>(r));
             return std::make_shared<RecognizerRegistry>(std::move(held), std::move(supported_languages));
           }),
           py::arg("recognizers") = py::none(), py::arg("supported_languages") = Strings{"en"})
      .def(
          "add_recognizer",
          [](RecognizerRegistry& self, py::object recognizer) {
            auto held = hold<EntityRecognizer>(std::move(recognizer));
            change_recognizers([&] { self.add_recognizer(std::move(held)); });
          },
          py::arg("recognizer"))
      .def(
          "load_predefined_recognizers",
          [](RecognizerRegistry& self, std::optional<Strings> languages) {
            change_recognizers([&] { self.load_predefined_recognizers(std::move(languages)); });
          },
          py::arg("languages") = py::none(),
          "Adds the predefined recognizers, one set per language (\"en\" when None).")
      .def(
          "remove_recognizer",
          [](RecognizerRegistry& self, const std::string& name) {
            size_t removed = 0;
            change_recognizers([&] { removed = self.remove_recognizer(name); });
            return removed;
          },
          py::arg("recognizer_name"))
      .def(
          "get_recognizers",
          [](const RecognizerRegistry& self, const std::string& language, std::optional<Strings> entities) {
            return read_recognizers([&] { return self.get_recognizers(language, entities.value_or(Strings{})); });
          },
          py::arg("language"), py::arg("entities") = py::none())
      .def(
          "get_supported_entities",
          [](const RecognizerRegistry& self, const Strings& languages) {
            return read_recognizers([&] { return self.get_supported_entities(languages); });
          },
          py::arg("languages"))
      .def_property_readonly("recognizers",
                             [](const RecognizerRegistry& self) {
                               return without_gil([&] {
                                 AnalysisScope scope;
                                 return self.recognizers();
                               });
                             })
      .def_property(
          "supported_languages",
          [](const RecognizerRegistry& self) { return read_recognizers([&] { return self.supported_languages; }); },
          [](RecognizerRegistry& self, Strings languages) {
            change_recognizers([&] { self.supported_languages = std::move(languages); });
          });

  py::class_<NlpEngine, std::shared_ptr<NlpEngine>>(m, "NlpEngine",
                                                    "Turns a text into NlpArtifacts (tokens, lemmas, keywords).")
      .def(
          "process_text",
          [](const NlpEngine& self, py::handle text, const std::string& language) {
            Utf8Text t = to_text(text);
            return without_gil([&] { return self.process_text(t, language); });
          },
          py::arg("text"), py::arg("language"))
      .def("get_supported_languages", &NlpEngine::supported_languages)
      .def("is_loaded", &NlpEngine::is_loaded);

  py::class_<recognition::NlpEngineProvider>(m, "NlpEngineProvider",
                                             "Builds the NLP engine an NLP configuration map names.")
      .def(py::init([](py::object configuration) {
             return recognition::NlpEngineProvider(nlp_configuration_from_py(configuration));
           }),
           py::arg("nlp_configuration") = py::none())
      .def("create_engine", [](const recognition::NlpEngineProvider& self) {
        return without_gil([&] { return self.create_engine(); });
      });

  py::class_<ContextAwareEnhancer, PyEnhancer<ContextAwareEnhancer>, std::shared_ptr<ContextAwareEnhancer>>(
      m, "ContextAwareEnhancer",
      "Base of the step that raises the score of a result when supporting context words stand near it; a "
      "subclass implements enhance_using_context().")
      .def(py::init<double, double, int, int>(), py::arg("context_similarity_factor"),
           py::arg("min_score_with_context_similarity"), py::arg("context_prefix_count"),
           py::arg("context_suffix_count"))
      .def_readonly_static("MAX_SCORE", &ContextAwareEnhancer::MAX_SCORE)
      .def_readonly("context_similarity_factor", &ContextAwareEnhancer::context_similarity_factor)
      .def_readonly("min_score_with_context_similarity", &ContextAwareEnhancer::min_score_with_context_similarity)
      .def_readonly("context_prefix_count", &ContextAwareEnhancer::context_prefix_count)
      .def_readonly("context_suffix_count", &ContextAwareEnhancer::context_suffix_count)
      .def(
          "enhance_using_context",
          [](const ContextAwareEnhancer& self, py::handle text, const Results& raw_results,
             const NlpArtifacts& nlp_artifacts, const std::vector<py::object>& recognizers,
             std::optional<Strings> context) {
            Utf8Text t = to_text(text);
            std::vector<std::shared_ptr<EntityRecognizer>> held;
            for (const auto& r : recognizers) held.push_back(hold<EntityRecognizer>(r));
            return without_gil([&] {
              AnalysisScope scope;
              return self.enhance_using_context(t, raw_results, nlp_artifacts, held, context);
            });
          },
          py::arg("text"), py::arg("raw_results"), py::arg("nlp_artifacts"), py::arg("recognizers"),
          py::arg("context") = py::none());

  m.def(
      "results_to_json",
      [](py::handle text, const Results& results, bool explain) {
        Utf8Text t = to_text(text);
        recognition::ResultsJsonOptions options;
        options.explain = explain;
        return to_py_str(recognition::results_to_json(t, results, options));
      },
      py::arg("text"), py::arg("results"), py::arg("explain") = false);
  m.def(
      "results_from_json", [](py::handle json) { return recognition::results_from_json(utf8_view(json, "json")); },
      py::arg("json"));

  py::class_<AnalyzerEngine, std::shared_ptr<AnalyzerEngine>>(
      m, "AnalyzerEngine", "Runs the recognizers of one language over a text and returns the scored results.")
      .def(py::init([](std::shared_ptr<RecognizerRegistry> registry, std::shared_ptr<NlpEngine> nlp_engine,
                       Strings supported_languages, py::object context_aware_enhancer, double default_score_threshold) {
             // A Python enhancer lives as long as the engine, so that its overrides stay reachable.
             std::shared_ptr<ContextAwareEnhancer> enhancer;
             if (!context_aware_enhancer.is_none()) enhancer = hold<ContextAwareEnhancer>(context_aware_enhancer);
             return std::make_shared<AnalyzerEngine>(std::move(registry), std::move(nlp_engine),
                                                     std::move(supported_languages), std::move(enhancer),
                                                     default_score_threshold);
           }),
           py::arg("registry") = nullptr, py::arg("nlp_engine") = nullptr,
           py::arg("supported_languages") = Strings{"en"}, py::arg("context_aware_enhancer") = py::none(),
           py::arg("default_score_threshold") = 0.0)
      .def(
          "analyze",
          [](const AnalyzerEngine& self, py::handle text, const std::string& language, std::optional<Strings> entities,
             py::object /*correlation_id*/, std::optional<double> score_threshold, bool /*return_decision_process*/,
             std::optional<Strings> context, std::optional<Strings> allow_list, std::string allow_list_match,
             int regex_flags, py::object ad_hoc_recognizers, const NlpArtifacts* nlp_artifacts) {
            return run_analysis(self, text, language,
                                analyze_options(std::move(entities), score_threshold, std::move(allow_list),
                                                std::move(allow_list_match), regex_flags, std::move(context),
                                                ad_hoc_recognizers, nlp_artifacts));
          },
          py::arg("text"), py::arg("language"), py::arg("entities") = py::none(),
          py::arg("correlation_id") = py::none(), py::arg("score_threshold") = py::none(),
          py::arg("return_decision_process") = false, py::arg("context") = py::none(),
          py::arg("allow_list") = py::none(), py::arg("allow_list_match") = "exact",
          py::arg("regex_flags") = regex::kDefaultFlags, py::arg("ad_hoc_recognizers") = py::none(),
          py::arg("nlp_artifacts") = py::none(),
          "Results of the registry's recognizers for `language` and of `ad_hoc_recognizers` (this call only). "
          "`nlp_artifacts`: the NLP output for this text, computed before; None runs the engine's NLP.")
      .def_property_readonly("registry", &AnalyzerEngine::registry, py::return_value_policy::reference_internal)
      .def_property_readonly(
          "nlp_engine", [](const AnalyzerEngine& self) { return &self.nlp_engine(); },
          py::return_value_policy::reference_internal)
      .def_property_readonly("supported_languages", &AnalyzerEngine::supported_languages)
      .def_property_readonly("context_aware_enhancer", &AnalyzerEngine::context_aware_enhancer,
                             py::return_value_policy::reference_internal);
}

}  // namespace tesk_privacy::python
