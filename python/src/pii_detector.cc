// The PII detector: entity vocabulary, recognizers, context enhancer, the
// analyzer and anonymizer facades, the mapping store, fake values, NLP
// pipeline provisioning and configuration files.
#include <Python.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bindings.h"
#include "pii_detector/custom_lemma_context_aware_enhancer.h"
#include "pii_detector/models/spacy_model_loader.h"
#include "pii_detector/recognizer/bank_account_number_recognizer.h"
#include "pii_detector/recognizer/bpjs_number_recognizer.h"
#include "pii_detector/recognizer/credit_card_recognizer.h"
#include "pii_detector/recognizer/facebook_account_recognizer.h"
#include "pii_detector/recognizer/family_card_number_recognizer.h"
#include "pii_detector/recognizer/halvern_employee_id_recognizer.h"
#include "pii_detector/recognizer/halvern_ner_api_remote_recognizer.h"
#include "pii_detector/recognizer/indonesian_phone_number_recognizer.h"
#include "pii_detector/recognizer/ktp_recognizer.h"
#include "pii_detector/recognizer/linkedin_account_recognizer.h"
#include "pii_detector/recognizer/money_recognizer.h"
#include "pii_detector/recognizer/npwp_recognizer.h"
#include "pii_detector/recognizer/organization_name_recognizer.h"
#include "pii_detector/recognizer/project_name_recognizer.h"
#include "pii_detector/recognizer/prosa_remote_recognizer.h"
#include "pii_detector/store/faker_provider/faker_company_provider.h"
#include "pii_detector/store/faker_provider/faker_ktp_provider.h"
#include "tesk_privacy/anonymization/anonymizer_engine.h"
#include "tesk_privacy/faker/faker.h"
#include "tesk_privacy/pii_detector/analyzer.h"
#include "tesk_privacy/pii_detector/config_file.h"
#include "tesk_privacy/pii_detector/constants.h"
#include "tesk_privacy/pii_detector/format_entities.h"
#include "tesk_privacy/pii_detector/store/deanonymizer_mapping.h"
#include "tesk_privacy/pii_detector/store/mapping_store.h"
#include "tesk_privacy/pii_detector/store/pseudo_anonymizer_mapping.h"
#include "tesk_privacy/pii_detector/text_analyzer.h"
#include "tesk_privacy/pii_detector/store/shared_mapping.h"
#include "tesk_privacy/pii_detector/store/streaming_deanonymizer.h"
#include "tesk_privacy/pii_detector/text_anonymizer.h"
#include "tesk_privacy/recognition/nlp_configuration.h"
#include "tesk_privacy/recognition/pattern_recognizer.h"
#include "tesk_privacy/recognition/remote_recognizer.h"
#include "trampolines.h"

namespace tesk_privacy::python {

recognition::NlpConfiguration nlp_configuration_from_py(py::handle configuration);

namespace {

using namespace pii_detector;
using recognition::AnalyzeOptions;
using recognition::EntityRecognizer;
using recognition::Pattern;
using recognition::PatternRecognizer;
using recognition::RecognizerResult;
using Results = std::vector<RecognizerResult>;
using Strings = std::vector<std::string>;

// Python ints of any size and sign as a 64-bit seed (two's complement).
std::optional<uint64_t> seed_from_py(py::handle seed) {
  if (seed.is_none()) return std::nullopt;
  if (PyBool_Check(seed.ptr()) || !PyLong_Check(seed.ptr())) throw py::type_error("a seed must be an int or None");
  unsigned long long v = PyLong_AsUnsignedLongLongMask(seed.ptr());
  if (PyErr_Occurred()) throw py::error_already_set();
  return static_cast<uint64_t>(v);
}

std::string json_dumps(py::handle obj) { return py::cast<std::string>(py::module_::import("json").attr("dumps")(obj)); }

// --- the host interpreter, for model provisioning ------------------------------

// The platform of the real system, except that "the host interpreter" is
// this process's own Python rather than $TESK_PYTHON or python3 on PATH.
class HostPlatform : public SystemModelPlatform {
 public:
  HostPlatform(std::string executable, std::string prefix)
      : executable_(std::move(executable)), prefix_(std::move(prefix)) {}
  std::string interpreter_executable() const override { return executable_; }
  std::string interpreter_prefix() const override { return prefix_; }

 private:
  std::string executable_;
  std::string prefix_;
};

const ModelPlatform& host_platform() {
  static const HostPlatform* platform = [] {
    py::module_ sys = py::module_::import("sys");
    return new HostPlatform(py::cast<std::string>(sys.attr("executable")), py::cast<std::string>(sys.attr("prefix")));
  }();
  return *platform;
}

// --- an analyzer written in Python -----------------------------------------------

// A BaseTextAnalyzer whose analyze() is a Python object's analyze(), called
// with keyword arguments under the GIL.
class PythonTextAnalyzer : public BaseTextAnalyzer {
 public:
  explicit PythonTextAnalyzer(py::object analyzer) : analyzer_(share_py(std::move(analyzer))) {}

  Results analyze(const Utf8Text& text, const std::string& language,
                  const AnalyzeOptions& options = {}) const override {
    py::gil_scoped_acquire gil;
    py::dict kwargs;
    kwargs["text"] = to_py_str(text.view());
    kwargs["entities"] = options.entities ? py::cast(*options.entities) : py::object(py::none());
    kwargs["language"] = language;
    kwargs["score_threshold"] = options.score_threshold ? py::cast(*options.score_threshold) : py::object(py::none());
    kwargs["allow_list"] = options.allow_list ? py::cast(*options.allow_list) : py::object(py::none());
    kwargs["allow_list_match"] = options.allow_list_match;
    kwargs["regex_flags"] = options.regex_flags;
    if (options.context) kwargs["context"] = *options.context;
    if (extra_kwargs != nullptr) {
      for (auto [key, value] : py::reinterpret_borrow<py::dict>(extra_kwargs)) kwargs[key] = value;
    }
    py::object out = analyzer_->attr("analyze")(**kwargs);
    return results_from_py(out, "analyzer");
  }

  const py::object& object() const { return *analyzer_; }

  // The further keyword arguments of the anonymize() call in progress
  // (borrowed from that call; set and cleared under the anonymizer's mutex).
  PyObject* extra_kwargs = nullptr;

 private:
  std::shared_ptr<py::object> analyzer_;
};

// --- the anonymizer facade -------------------------------------------------------

// TextAnonymizer holds mutable state; Python threads may share an instance,
// so its calls are serialized here. The mutex is only waited for with the
// GIL released.
class BoundTextAnonymizer : public TextAnonymizer {
 public:
  BoundTextAnonymizer(std::shared_ptr<const BaseTextAnalyzer> analyzer, TextAnonymizerOptions options,
                      std::shared_ptr<PythonTextAnalyzer> python_analyzer)
      : TextAnonymizer(std::move(analyzer), std::move(options)), python_analyzer(std::move(python_analyzer)) {}

  std::mutex mutex;
  std::shared_ptr<PythonTextAnalyzer> python_analyzer;  // null for a native analyzer
};

template <class F>
auto locked(BoundTextAnonymizer& self, F&& f) {
  return without_gil([&] {
    std::lock_guard lock(self.mutex);
    return f();
  });
}

template <class R>
void bind_pattern_recognizer(py::module_& m, const char* name, const char* doc) {
  py::class_<R, PatternRecognizer, PyPatternRecognizer<R>, std::shared_ptr<R>>(m, name, doc)
      .def(py::init<std::string>(), py::arg("supported_language") = "id")
      .def_static("_default_patterns", &R::default_patterns)
      .def_static("_default_context", &R::default_context);
}

void bind_constants(py::module_& m) {
  py::list members;
  for (const auto& member : ENTITY_MEMBERS) members.append(py::make_tuple(member.name, member.value));
  m.attr("ENTITY_MEMBERS") = members;

  py::dict prosa;
  prosa["HEADER_CONTENT_TYPE_KEY"] = ProsaNERConstant::HEADER_CONTENT_TYPE_KEY;
  prosa["HEADER_CONTENT_TYPE_VAL"] = ProsaNERConstant::HEADER_CONTENT_TYPE_VAL;
  prosa["HEADER_X_API_KEY_KEY"] = ProsaNERConstant::HEADER_X_API_KEY_KEY;
  prosa["HEADER_USER_AGENT"] = ProsaNERConstant::HEADER_USER_AGENT;
  prosa["HEADER_USER_AGENT_VAL"] = ProsaNERConstant::HEADER_USER_AGENT_VAL;
  prosa["ID_LANGUAGE"] = ProsaNERConstant::ID_LANGUAGE;
  prosa["VERSION_CUSTOM_NER"] = ProsaNERConstant::VERSION_CUSTOM_NER;
  prosa["PAYLOAD_VERSION_KEY"] = ProsaNERConstant::PAYLOAD_VERSION_KEY;
  prosa["PAYLOAD_VERSION_VAL"] = ProsaNERConstant::PAYLOAD_VERSION_VAL;
  prosa["PAYLOAD_TEXT_KEY"] = ProsaNERConstant::PAYLOAD_TEXT_KEY;
  prosa["RESPONSE_TIMEOUT"] = ProsaNERConstant::RESPONSE_TIMEOUT;
  prosa["ENTITY_TYPE_KEY"] = ProsaNERConstant::ENTITY_TYPE_KEY;
  prosa["START_KEY"] = ProsaNERConstant::START_KEY;
  prosa["START_IDX_KEY"] = ProsaNERConstant::START_IDX_KEY;
  prosa["END_KEY"] = ProsaNERConstant::END_KEY;
  prosa["LENGTH_KEY"] = ProsaNERConstant::LENGTH_KEY;
  prosa["SCORE_KEY"] = ProsaNERConstant::SCORE_KEY;
  prosa["DEFAULT_SCORE"] = ProsaNERConstant::DEFAULT_SCORE;
  prosa["RECOGNITION_METADATA_KEY"] = ProsaNERConstant::RECOGNITION_METADATA_KEY;
  prosa["NAME_KEY"] = ProsaNERConstant::NAME_KEY;
  prosa["ENTITY_KEY"] = ProsaNERConstant::ENTITY_KEY;
  m.attr("PROSA_NER_CONSTANTS") = prosa;

  py::list prosa_map;
  for (const auto& entry : PROSA_ENTITY_MAP) prosa_map.append(py::make_tuple(entry.code, entry.entity));
  m.attr("PROSA_ENTITY_MAP") = prosa_map;
  py::list prosa_default;
  for (const char* entity : DEFAULT_PROSA_SUPPORTED_PII_ENTITIES) prosa_default.append(entity);
  m.attr("DEFAULT_PROSA_SUPPORTED_PII_ENTITIES") = prosa_default;
}

void bind_recognizers(py::module_& m) {
  bind_pattern_recognizer<KTPRecognizer>(m, "KTPRecognizer", "KTP / NIK identity numbers (ID_KTP).");
  bind_pattern_recognizer<NPWPRecognizer>(m, "NPWPRecognizer", "Punctuated NPWP tax numbers (ID_NPWP).");
  bind_pattern_recognizer<BPJSNumberRecognizer>(m, "BPJSNumberRecognizer",
                                                "13-digit BPJS numbers (ID_BPJS_NUMBER), reported with context.");
  bind_pattern_recognizer<FamilyCardNumberRecognizer>(m, "FamilyCardNumberRecognizer",
                                                      "16-digit family-card numbers (FAMILY_CARD_NUMBER).");
  bind_pattern_recognizer<HalvernEmployeeIdRecognizer>(m, "HalvernEmployeeIdRecognizer",
                                                       "8-digit employee identifiers starting with 0 (EMPLOYEE_ID).");
  bind_pattern_recognizer<IndonesianPhoneNumberRecognizer>(m, "IndonesianPhoneNumberRecognizer",
                                                           "Indonesian phone numbers (PHONE_NUMBER).");
  bind_pattern_recognizer<BankAccountNumberRecognizer>(m, "BankAccountNumberRecognizer",
                                                       "Bank account numbers (BANK_ACCOUNT), reported with context.");
  bind_pattern_recognizer<FacebookAccountRecognizer>(m, "FacebookAccountRecognizer",
                                                     "Facebook profile addresses (FACEBOOK_ACCOUNT).");
  bind_pattern_recognizer<LinkedinAccountRecognizer>(m, "LinkedinAccountRecognizer",
                                                     "LinkedIn profile addresses (LINKEDIN_ACCOUNT).");
  bind_pattern_recognizer<MoneyRecognizer>(m, "MoneyRecognizer", "Money amounts (MONEY).");
  bind_pattern_recognizer<OrganizationNameRecognizer>(
      m, "OrganizationNameRecognizer", "Company names introduced by PT or CV (ORGANIZATION), case-sensitive.");

  py::class_<ProjectNameRecognizer, PatternRecognizer, PyPatternRecognizer<ProjectNameRecognizer>,
             std::shared_ptr<ProjectNameRecognizer>>(
      m, "ProjectNameRecognizer",
      "Project names (PROJECT): \"Project\" + a capitalised word, built-in and added names.")
      .def(py::init<std::string, std::optional<Strings>>(), py::arg("supported_language") = "id",
           py::arg("additional_project_names") = py::none())
      .def_static(
          "_generate_patterns",
          [](py::handle names) {
            // Every entry is taken in its string form, as str() gives it.
            std::optional<Strings> as_text;
            if (!names.is_none()) {
              as_text.emplace();
              for (py::handle name : names) as_text->push_back(py::str(name).cast<std::string>());
            }
            return ProjectNameRecognizer::_generate_patterns(as_text);
          },
          py::arg("additional_project_names") = py::none())
      .def_static("_default_project_names", &ProjectNameRecognizer::default_project_names)
      .def_static("_default_context", &ProjectNameRecognizer::default_context)
      .def_readonly("PATTERNS", &ProjectNameRecognizer::PATTERNS);

  py::class_<CreditCardRecognizer, recognition::CreditCardRecognizer, PyPatternRecognizer<CreditCardRecognizer>,
             std::shared_ptr<CreditCardRecognizer>>(
      m, "CreditCardRecognizer",
      "Checksum-valid card numbers (CREDIT_CARD), scored at most CREDIT_CARD_BASE_SCORE so that only context "
      "reports them.")
      .def(card_recognizer_init<CreditCardRecognizer>(),
           py::arg("supported_language") = "id", py::kw_only(), py::arg("patterns") = py::none(),
           py::arg("context") = py::none(), py::arg("supported_entity") = "CREDIT_CARD")
      .def_static("_default_context", &CreditCardRecognizer::default_context)
      .def_static("_normalize_context_term", &CreditCardRecognizer::_normalize_context_term, py::arg("term"));
  m.attr("CREDIT_CARD_BASE_SCORE") = CREDIT_CARD_BASE_SCORE;

  py::class_<HalvernNerApiRemoteRecognizer, recognition::RemoteRecognizer, PyRecognizer<HalvernNerApiRemoteRecognizer>,
             std::shared_ptr<HalvernNerApiRemoteRecognizer>>(
      m, "HalvernNerApiRemoteRecognizer", "Asks a remote NER service; failures are logged and give no results.")
      .def(py::init<std::string, std::optional<Strings>, std::optional<std::map<std::string, std::string>>, long,
                    std::string>(),
           py::arg("api_url"), py::arg("supported_entities") = py::none(), py::arg("api_headers") = py::none(),
           py::arg("api_timeout") = 60, py::arg("supported_language") = "en")
      .def_readonly_static("DEFAULT_EXPLANATION", &HalvernNerApiRemoteRecognizer::DEFAULT_EXPLANATION)
      .def(
          "analyze",
          [](const HalvernNerApiRemoteRecognizer& self, py::handle text, std::optional<Strings> entities,
             py::object /*nlp_artifacts*/) {
            Utf8Text t = to_text(text);
            return without_gil([&] { return self.analyze(t, entities); });
          },
          py::arg("text"), py::arg("entities") = py::none(), py::arg("nlp_artifacts") = py::none())
      .def(
          "_convert_response_to_recognizer_result",
          [](const HalvernNerApiRemoteRecognizer& self, std::optional<Strings> entities, py::handle ner_results) {
            return self._convert_response_to_recognizer_result(entities, json_dumps(ner_results));
          },
          py::arg("entities"), py::arg("ner_results"))
      .def("_build_analysis_explanation", &HalvernNerApiRemoteRecognizer::_build_analysis_explanation, py::arg("score"),
           py::arg("explanation"))
      .def_readonly("api_endpoint", &HalvernNerApiRemoteRecognizer::api_endpoint)
      .def_readonly("api_headers", &HalvernNerApiRemoteRecognizer::api_headers)
      .def_readonly("api_timeout", &HalvernNerApiRemoteRecognizer::api_timeout);

  py::class_<ProsaRemoteRecognizer, recognition::RemoteRecognizer, PyRecognizer<ProsaRemoteRecognizer>,
             std::shared_ptr<ProsaRemoteRecognizer>>(
      m, "ProsaRemoteRecognizer", "Asks the Prosa NER web API (Indonesian); transport failures give no results.")
      .def(py::init<std::string, std::string, std::optional<Strings>>(), py::arg("prosa_api_url"),
           py::arg("prosa_api_key"), py::arg("supported_entities_list") = py::none())
      .def(
          "analyze",
          [](const ProsaRemoteRecognizer& self, py::handle text, std::optional<Strings> entities,
             py::object /*nlp_artifacts*/) {
            Utf8Text t = to_text(text);
            return without_gil([&] { return self.analyze(t, entities); });
          },
          py::arg("text"), py::arg("entities") = py::none(), py::arg("nlp_artifacts") = py::none())
      .def("get_supported_entities", &ProsaRemoteRecognizer::get_supported_entities)
      .def_static(
          "_convert_response_to_recognizer_result",
          [](py::handle detection_result) {
            return ProsaRemoteRecognizer::_convert_response_to_recognizer_result(json_dumps(detection_result));
          },
          py::arg("detection_result"))
      .def("_post_process", &ProsaRemoteRecognizer::_post_process, py::arg("recognizer_results"),
           py::arg("entities") = py::none())
      .def("_filter_supported_entities", &ProsaRemoteRecognizer::_filter_supported_entities,
           py::arg("recognizer_results"), py::arg("entities") = py::none())
      .def_readonly("prosa_api_url", &ProsaRemoteRecognizer::prosa_api_url)
      .def_readonly("prosa_api_key", &ProsaRemoteRecognizer::prosa_api_key)
      .def_readonly("supported_entities_list", &ProsaRemoteRecognizer::supported_entities_list)
      .def_readonly("headers", &ProsaRemoteRecognizer::headers);
}

void bind_enhancer(py::module_& m) {
  using E = CustomLemmaContextAwareEnhancer;
  py::class_<E, recognition::ContextAwareEnhancer, PyEnhancer<E>, std::shared_ptr<E>>(
      m, "CustomLemmaContextAwareEnhancer",
      "Raises a result's score when a context word or phrase of its recognizer stands nearby (on lemmas), or is "
      "among the caller's context words.")
      .def(py::init<double, double, int, int, int>(), py::arg("context_similarity_factor") = 0.35,
           py::arg("min_score_with_context_similarity") = 0.4, py::arg("context_prefix_count") = 5,
           py::arg("context_suffix_count") = 0, py::arg("max_phrase_words") = 3)
      .def_readonly("max_phrase_words", &E::max_phrase_words)
      .def("_extract_surrounding_words", &E::_extract_surrounding_words, py::arg("nlp_artifacts"), py::arg("word"),
           py::arg("start"))
      .def_static("_find_index_of_match_token", &E::_find_index_of_match_token, py::arg("word"), py::arg("start"),
                  py::arg("tokens"), py::arg("tokens_indices"))
      .def_static("_add_n_words", &E::_add_n_words, py::arg("index"), py::arg("n_words"), py::arg("lemmas"),
                  py::arg("lemmatized_filtered_keywords"), py::arg("is_backward"))
      .def_static("_add_n_words_forward", &E::_add_n_words_forward, py::arg("index"), py::arg("n_words"),
                  py::arg("lemmas"), py::arg("lemmatized_filtered_keywords"))
      .def_static("_add_n_words_backward", &E::_add_n_words_backward, py::arg("index"), py::arg("n_words"),
                  py::arg("lemmas"), py::arg("lemmatized_filtered_keywords"))
      .def("_extract_phrases", &E::_extract_phrases, py::arg("index"), py::arg("n_words"), py::arg("lemmas"),
           py::arg("lemmatized_filtered_keywords"), py::arg("is_backward"))
      .def("_extract_phrases_forward", &E::_extract_phrases_forward, py::arg("index"), py::arg("n_words"),
           py::arg("lemmas"), py::arg("lemmatized_filtered_keywords"))
      .def("_extract_phrases_backward", &E::_extract_phrases_backward, py::arg("index"), py::arg("n_words"),
           py::arg("lemmas"), py::arg("lemmatized_filtered_keywords"))
      .def_static(
          "_find_supportive_word_in_context",
          [](std::optional<Strings> context_list, const Strings& recognizer_context_list) {
            return context_list ? E::_find_supportive_word_in_context(*context_list, recognizer_context_list)
                                : std::string();
          },
          py::arg("context_list"), py::arg("recognizer_context_list"));
}

void bind_mapping(py::module_& m) {
  py::register_exception<MappingStoreError>(m, "MappingStoreError", PyExc_RuntimeError);
  py::class_<MappingStore>(m, "MappingStore")
      .def("load", [](MappingStore& self) { return without_gil([&] { return self.load(); }); })
      .def(
          "commit",
          [](MappingStore& self, const MappingDataType& added) { return without_gil([&] { return self.commit(added); }); },
          py::arg("added"))
      .def("refresh", [](MappingStore& self) { return without_gil([&] { return self.refresh(); }); })
      .def("describe", &MappingStore::describe);
  m.def(
      "open_mapping_store",
      [](const std::string& location, std::optional<py::bytes> encryption_key, double lock_timeout,
         long long time_to_live) {
        MappingStoreOptions options;
        if (encryption_key) options.encryption_key = std::string(*encryption_key);
        options.lock_timeout = std::chrono::milliseconds(static_cast<long long>(lock_timeout * 1000));
        options.time_to_live = std::chrono::seconds(time_to_live);
        return open_mapping_store(location, options);
      },
      py::arg("location"), py::arg("encryption_key") = std::nullopt, py::arg("lock_timeout") = 60.0,
      py::arg("time_to_live") = 0);
  m.def("parse_mapping_key", [](const std::string& text) { return py::bytes(parse_mapping_key(text)); },
        py::arg("text"));
  py::class_<StreamingDeanonymizer>(m, "StreamingDeanonymizer")
      .def(py::init([](const DeanonymizerMapping& mapping, bool tolerant) {
             return StreamingDeanonymizer(mapping, tolerant);
           }),
           py::arg("mapping"), py::arg("tolerant") = false)
      .def(
          "feed",
          [](StreamingDeanonymizer& self, py::handle piece) {
            std::string bytes(utf8_view(piece));
            return without_gil([&] { return self.feed(bytes); });
          },
          py::arg("piece"))
      .def("finish", [](StreamingDeanonymizer& self) { return self.finish(); });

  py::class_<DeanonymizerMapping>(m, "DeanonymizerMapping",
                                  "The store of replacements: entity type -> (anonymized value -> original value), "
                                  "accumulated over many texts.")
      .def(py::init([](std::optional<MappingDataType> mapping, bool skip_format_duplicates) {
             return DeanonymizerMapping(mapping.value_or(MappingDataType{}), skip_format_duplicates);
           }),
           py::arg("mapping") = py::none(), py::arg("skip_format_duplicates") = false)
      .def_property(
          "mapping",
          [](py::object self) {
            const auto& d = self.cast<const DeanonymizerMapping&>();
            return py::module_::import("tesk_privacy.pii_detector.utils.deanonymizer_mapping")
                .attr("_StoreMapping")(self, mapping_to_py(d.mapping));
          },
          [](DeanonymizerMapping& d, MappingDataType mapping) { d.mapping = std::move(mapping); },
          "The store's entries as a dict of dicts taken when read. Reading an absent entity type adds it "
          "empty; reading an absent key of an entity type gives \"\" and adds it; assigning and deleting "
          "an entry change the store too.")
      .def("_set_entry",
           [](DeanonymizerMapping& d, const std::string& type, const std::string& key, const std::string& value) {
             d.mapping[type].insert_or_assign(key, value);
           })
      .def("_delete_entry",
           [](DeanonymizerMapping& d, const std::string& type, const std::string& key) {
             if (EntityMapping* inner = d.mapping.find(type)) inner->erase(key);
           })
      .def("_set_type",
           [](DeanonymizerMapping& d, const std::string& type, EntityMapping entries) {
             d.mapping.insert_or_assign(type, std::move(entries));
           })
      .def("_delete_type", [](DeanonymizerMapping& d, const std::string& type) { d.mapping.erase(type); })
      .def_readwrite("skip_format_duplicates", &DeanonymizerMapping::skip_format_duplicates)
      .def_property_readonly("data", &DeanonymizerMapping::data, "A fresh copy of the mapping.")
      .def("update", py::overload_cast<const MappingDataType&>(&DeanonymizerMapping::update), py::arg("new_mapping"))
      .def("__eq__", [](const DeanonymizerMapping& a, const DeanonymizerMapping& b) { return a == b; })
      .def("__repr__", [](const DeanonymizerMapping& d) {
        return "DeanonymizerMapping(mapping=" + std::string(py::repr(mapping_to_py(d.mapping))) +
               ", skip_format_duplicates=" + (d.skip_format_duplicates ? "True" : "False") + ")";
      });

  m.def("format_duplicated_operator", &format_duplicated_operator, py::arg("operator_name"), py::arg("count"));
  m.def(
      "create_anonymizer_mapping",
      [](py::handle original_text, Results analyzer_results, anonymization::EngineResult anonymizer_results,
         bool is_reversed, bool skip_format_duplicates) {
        Utf8Text text = to_text(original_text, "original_text");
        return create_anonymizer_mapping(text, analyzer_results, anonymizer_results, is_reversed,
                                         skip_format_duplicates);
      },
      py::arg("original_text"), py::arg("analyzer_results"), py::arg("anonymizer_results"),
      py::arg("is_reversed") = false, py::arg("skip_format_duplicates") = false);
  m.def(
      "get_dict_diff",
      [](const DeanonymizerMapping& first, const MappingDataType& second) { return get_dict_diff(first, second); },
      py::arg("first_mapping"), py::arg("second_mapping"));
  m.def(
      "get_dict_diff",
      [](const MappingDataType& first, const MappingDataType& second) { return get_dict_diff(first, second); },
      py::arg("first_mapping"), py::arg("second_mapping"));
}

void bind_faker(py::module_& m) {
  using faker::Faker;
  py::class_<Faker>(m, "Faker", py::dynamic_attr(),
                    "Seeded fake values for \"en_US\" and \"id_ID\". Methods of added providers are reachable "
                    "as attributes (fake.custom_company(), fake.ktp(gender)).")
      .def(py::init<std::string>(), py::arg("locale") = "en_US")
      .def_static("supported_locales", &Faker::supported_locales)
      .def_property_readonly("locale", &Faker::locale)
      .def(
          "seed_instance", [](Faker& f, py::handle seed) { f.seed_instance(seed_from_py(seed)); },
          py::arg("seed") = py::none())
      .def("name", &Faker::name)
      .def("first_name", &Faker::first_name)
      .def("last_name", &Faker::last_name)
      .def("city", &Faker::city)
      .def("street_address", &Faker::street_address)
      .def("company", &Faker::company)
      .def("email", &Faker::email)
      .def("phone_number", &Faker::phone_number)
      .def("url", &Faker::url)
      .def("ipv4_public", &Faker::ipv4_public)
      .def("iban", &Faker::iban)
      .def("bban", &Faker::bban)
      .def("credit_card_number", &Faker::credit_card_number)
      .def("ssn", &Faker::ssn)
      .def("date", &Faker::date)
      .def("random_number", &Faker::random_number, py::arg("digits"), py::arg("fix_len") = false)
      .def(
          "bothify", [](Faker& f, const std::string& text) { return f.bothify(text); }, py::arg("text"))
      .def("random_int", &Faker::random_int, py::arg("min") = 0, py::arg("max") = 9999)
      .def(
          "random_element", [](Faker& f, const Strings& elements) { return f.random_element(elements); },
          py::arg("elements"))
      .def(
          "random_choices",
          [](Faker& f, const Strings& elements, size_t length) { return f.random_choices(elements, length); },
          py::arg("elements"), py::arg("length"))
      .def(
          "add_provider",
          [](py::object self, py::handle provider) -> py::object {
            Faker& f = self.cast<Faker&>();
            if (provider.is(py::type::of<CompanyProvider>())) {
              return py::cast(&f.add_provider<CompanyProvider>(), py::return_value_policy::reference);
            }
            if (provider.is(py::type::of<KTPProvider>())) {
              return py::cast(&f.add_provider<KTPProvider>(), py::return_value_policy::reference);
            }
            // A provider written in Python: a subclass of BaseProvider, or an instance of one.
            py::handle base = py::type::of<faker::BaseProvider>();
            const bool is_class = PyType_Check(provider.ptr()) && PyObject_IsSubclass(provider.ptr(), base.ptr()) == 1;
            if (!is_class && !py::isinstance<faker::BaseProvider>(provider)) {
              throw py::type_error("Faker.add_provider takes a BaseProvider subclass or instance");
            }
            py::object instance = is_class ? provider(self) : py::reinterpret_borrow<py::object>(provider);
            py::list added = self.attr("__dict__").attr("setdefault")("_python_providers", py::list());
            added.insert(0, instance);  // the latest provider answers first
            return instance;
          },
          py::arg("provider"), py::keep_alive<0, 1>(), "Adds a provider (class or instance) and returns its instance.")
      .def("__getattr__", [](py::object self, const std::string& name) -> py::object {
        Faker& f = self.cast<Faker&>();
        if (!name.empty() && name[0] != '_') {
          py::dict attributes = self.attr("__dict__");
          if (attributes.contains("_python_providers")) {
            for (py::handle provider : attributes["_python_providers"]) {
              if (py::hasattr(provider, name.c_str())) return provider.attr(name.c_str());
            }
          }
        }
        if (name == "ktp" && f.has_method("ktp")) {
          return py::cpp_function(
              [self](const std::string& gender) { return self.cast<Faker&>().provider<KTPProvider>().ktp(gender); },
              py::arg("gender") = "male");
        }
        if (f.has_method(name)) {
          return py::cpp_function([self, name]() { return self.cast<Faker&>().call(name); });
        }
        throw py::attribute_error("'Faker' object has no attribute '" + name + "'");
      });

  // Providers added by class are owned by their Faker (Python sees them by
  // reference); one made in Python is owned by its Python object.
  py::class_<faker::BaseProvider, std::shared_ptr<faker::BaseProvider>>(
      m, "BaseProvider",
      "Base of the providers that add methods to a Faker. A Python subclass is constructed with the Faker "
      "(its generator); Faker.add_provider makes its public methods reachable as the Faker's own.")
      .def(py::init<Faker&>(), py::arg("generator"), py::keep_alive<1, 2>())
      .def_property_readonly("generator", &faker::BaseProvider::generator, py::return_value_policy::reference_internal);
  py::class_<CompanyProvider, faker::BaseProvider, std::shared_ptr<CompanyProvider>>(
      m, "CompanyProvider", "Company names with an Indonesian legal form: \"PT ...\", \"CV ...\" or \"PT ... Tbk\".")
      .def("custom_company", &CompanyProvider::custom_company);
  py::class_<KTPProvider, faker::BaseProvider, std::shared_ptr<KTPProvider>>(
      m, "KTPProvider", "16-digit KTP numbers; gender \"male\" gives day 01-31, anything else 41-71.")
      .def("ktp", &KTPProvider::ktp, py::arg("gender") = "male");

  m.def(
      "get_pseudoanonymizer_mapping",
      [](py::handle seed, const std::string& locale) {
        py::dict table;
        for (const auto& [entity, generator] : get_pseudoanonymizer_mapping(seed_from_py(seed), locale)) {
          // A generator makes a new value whatever it is given, so any
          // argument (or none) is accepted and ignored.
          table[to_py_str(entity)] =
              py::cpp_function([generator = generator](py::handle) { return generator(std::string()); },
                               py::arg("text") = py::none());
        }
        return table;
      },
      py::arg("seed") = py::none(), py::arg("locale") = "en_US");
}

void bind_spacy_model_loader(py::module_& m) {
  m.attr("DEFAULT_SPACY_MODEL") = DEFAULT_SPACY_MODEL;
  m.attr("DEFAULT_SPACY_MODEL_VERSION") = DEFAULT_SPACY_MODEL_VERSION;
  m.attr("SPACY_MODEL_URL_TEMPLATE") = SPACY_MODEL_URL_TEMPLATE;
  m.attr("MAX_LOAD_ATTEMPTS") = MAX_LOAD_ATTEMPTS;
  m.attr("RETRY_DELAY_SECONDS") = RETRY_DELAY_SECONDS;
  host_platform();  // reads sys while the GIL is held

  m.def(
      "load_spacy_model",
      [](const std::string& model_name, const std::string& model_version, bool auto_install) {
        return without_gil([&] { return load_spacy_model(model_name, model_version, auto_install, host_platform()); });
      },
      py::arg("model_name") = DEFAULT_SPACY_MODEL, py::arg("model_version") = DEFAULT_SPACY_MODEL_VERSION,
      py::arg("auto_install") = true);
  m.def(
      "ensure_spacy_model",
      [](const std::string& model_name, const std::string& model_version) {
        without_gil([&] { ensure_spacy_model(model_name, model_version, host_platform()); });
      },
      py::arg("model_name") = DEFAULT_SPACY_MODEL, py::arg("model_version") = DEFAULT_SPACY_MODEL_VERSION);
  m.def("_is_uv_environment", [] { return without_gil([] { return _is_uv_environment(host_platform()); }); });
  m.def(
      "_install_spacy_model",
      [](const std::string& model_name, const std::string& model_version) {
        without_gil([&] { _install_spacy_model(model_name, model_version, host_platform()); });
      },
      py::arg("model_name"), py::arg("model_version"));
  m.def(
      "_load_model_with_fallback",
      [](const std::string& model_name) {
        return without_gil([&] { return _load_model_with_fallback(model_name, host_platform()); });
      },
      py::arg("model_name"));
}

void bind_text_analyzer(py::module_& m) {
  m.attr("FORMAT_ENTITIES") = py::cast(std::vector<std::string>(FORMAT_ENTITIES.begin(), FORMAT_ENTITIES.end()));
  m.attr("MAX_PII_TEXT_LENGTH") = MAX_PII_TEXT_LENGTH;
  m.def("_default_nlp_configuration", [] {
    const recognition::NlpConfiguration& c = DEFAULT_NLP_CONFIGURATION();
    py::list models;
    for (const auto& model : c.models) {
      py::dict d;
      d["lang_code"] = model.lang_code;
      d["model_name"] = model.model_name;
      models.append(d);
    }
    py::dict out;
    out["nlp_engine_name"] = c.nlp_engine_name;
    out["models"] = models;
    return out;
  });

  py::class_<TextAnalyzer, std::shared_ptr<TextAnalyzer>>(m, "TextAnalyzer")
      .def(py::init([](const std::vector<py::object>& additional_recognizers, py::object nlp_configuration,
                       bool indonesian_formats, size_t window_chars) {
             std::vector<std::shared_ptr<EntityRecognizer>> held;
             for (const auto& r : additional_recognizers) held.push_back(hold<EntityRecognizer>(r));
             std::optional<recognition::NlpConfiguration> configuration;
             if (!nlp_configuration.is_none()) configuration = nlp_configuration_from_py(nlp_configuration);
             return without_gil([&] {
               return std::make_shared<TextAnalyzer>(std::move(held), std::move(configuration), host_platform(),
                                                     TextAnalyzerOptions{.indonesian_formats = indonesian_formats,
                                                                         .window_chars = window_chars});
             });
           }),
           py::arg("additional_recognizers"), py::arg("nlp_configuration"), py::arg("indonesian_formats") = false,
           py::arg("window_chars") = 0)
      .def_property_readonly("indonesian_formats",
                             [](const TextAnalyzer& self) { return self.options().indonesian_formats; })
      .def_property_readonly("window_chars", [](const TextAnalyzer& self) { return self.options().window_chars; })
      .def(
          "analyze",
          [](const TextAnalyzer& self, py::handle text, const std::string& language, std::optional<Strings> entities,
             std::optional<double> score_threshold, std::optional<Strings> allow_list, std::string allow_list_match,
             int regex_flags, std::optional<Strings> context, py::object ad_hoc_recognizers,
             const recognition::NlpArtifacts* nlp_artifacts) {
            return run_analysis(self, text, language,
                                analyze_options(std::move(entities), score_threshold, std::move(allow_list),
                                                std::move(allow_list_match), regex_flags, std::move(context),
                                                ad_hoc_recognizers, nlp_artifacts));
          },
          py::arg("text"), py::arg("language"), py::arg("entities"), py::arg("score_threshold"), py::arg("allow_list"),
          py::arg("allow_list_match"), py::arg("regex_flags"), py::arg("context"),
          py::arg("ad_hoc_recognizers") = py::none(), py::arg("nlp_artifacts") = py::none())
      .def(
          "analyze_batch",
          [](const TextAnalyzer& self, const std::vector<py::handle>& texts, const std::string& language,
             std::optional<Strings> entities, std::optional<double> score_threshold, size_t threads,
             std::optional<Strings> allow_list) {
            std::vector<std::string> inputs;
            inputs.reserve(texts.size());
            for (py::handle text : texts) inputs.emplace_back(utf8_view(text));
            recognition::AnalyzeOptions options;
            options.entities = std::move(entities);
            options.score_threshold = score_threshold;
            options.allow_list = std::move(allow_list);
            return without_gil([&] {
              AnalysisScope scope;
              return self.analyze_batch(inputs, language, options, threads);
            });
          },
          py::arg("texts"), py::arg("language"), py::arg("entities"), py::arg("score_threshold"), py::arg("threads"),
          py::arg("allow_list") = py::none())
      .def_static("_initialize_registry", &TextAnalyzer::_initialize_registry)
      .def_static("_filter_entities_based_on_the_text_length", &TextAnalyzer::_filter_entities_based_on_the_text_length,
                  py::arg("results"))
      .def_property_readonly("analyzer", &TextAnalyzer::analyzer, py::return_value_policy::reference_internal)
      .def_property_readonly("registry", &TextAnalyzer::registry, py::return_value_policy::reference_internal);

  m.def(
      "_time_analyze",
      [](const TextAnalyzer& analyzer, py::handle text, const std::string& language, int iterations) {
        std::string input(utf8_view(text));
        return without_gil([&] {
          size_t found = 0;
          auto start = std::chrono::steady_clock::now();
          for (int i = 0; i < iterations; ++i) found += analyzer.analyze(Utf8Text(input), language).size();
          std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
          return std::make_pair(elapsed.count() / iterations, found / static_cast<size_t>(std::max(iterations, 1)));
        });
      },
      py::arg("analyzer"), py::arg("text"), py::arg("language") = "id", py::arg("iterations") = 1000,
      "Seconds per analyze() call made from C++ (text given as a std::string), and results per call.");
}

void bind_text_anonymizer(py::module_& m) {
  py::class_<BoundTextAnonymizer, std::shared_ptr<BoundTextAnonymizer>>(m, "TextAnonymizer")
      .def(py::init([](py::object text_analyzer, std::optional<anonymization::OperatorMap> operators,
                       bool add_default_faker_operators, py::handle faker_seed,
                       std::shared_ptr<anonymization::AnonymizerEngine> anonymizer_engine,
                       std::optional<DeanonymizerMapping> deanonymizer_mapping,
                       std::optional<bool> skip_format_duplicates, std::string faker_locale, bool keep_going,
                       std::optional<size_t> max_text_length, bool reproducible_fake_values) {
             std::shared_ptr<const BaseTextAnalyzer> analyzer;
             std::shared_ptr<PythonTextAnalyzer> python_analyzer;
             if (py::isinstance<TextAnalyzer>(text_analyzer))
               analyzer = text_analyzer.cast<std::shared_ptr<TextAnalyzer>>();
             if (!analyzer) {
               python_analyzer = std::make_shared<PythonTextAnalyzer>(text_analyzer);
               analyzer = python_analyzer;
             }
             TextAnonymizerOptions options;
             options.operators = std::move(operators);
             options.add_default_faker_operators = add_default_faker_operators;
             options.faker_seed = seed_from_py(faker_seed);
             options.faker_locale = std::move(faker_locale);
             options.anonymizer_engine = std::move(anonymizer_engine);
             options.deanonymizer_mapping = std::move(deanonymizer_mapping);
             options.skip_format_duplicates = skip_format_duplicates;
             options.keep_going = keep_going;
             options.max_text_length = max_text_length;
             options.reproducible_fake_values = reproducible_fake_values;
             return std::make_shared<BoundTextAnonymizer>(std::move(analyzer), std::move(options),
                                                          std::move(python_analyzer));
           }),
           py::arg("text_analyzer"), py::arg("operators"), py::arg("add_default_faker_operators"),
           py::arg("faker_seed"), py::arg("anonymizer_engine"), py::arg("deanonymizer_mapping"),
           py::arg("skip_format_duplicates"), py::arg("faker_locale"), py::arg("keep_going") = false,
           py::arg("max_text_length") = py::none(), py::arg("reproducible_fake_values") = false)
      .def(
          "anonymize",
          [](BoundTextAnonymizer& self, py::handle text, std::optional<Strings> entities, std::string language,
             std::optional<anonymization::ConflictResolutionStrategy> conflict_resolution,
             double analyzer_score_threshold, std::optional<Strings> allow_list, std::string allow_list_match,
             int regex_flags, std::optional<Strings> context, py::dict extra_kwargs) {
            std::string input(utf8_view(text));
            AnonymizeOptions options;
            if (!self.python_analyzer) {
              // A core analyzer takes the engine's extras; a Python one gets them with extra_kwargs.
              py::object artifacts = extra_kwargs.attr("get")("nlp_artifacts");
              recognition::AnalyzeOptions extras =
                  analyze_options(std::nullopt, std::nullopt, std::nullopt, "exact", 0, std::nullopt,
                                  extra_kwargs.attr("get")("ad_hoc_recognizers"),
                                  artifacts.is_none() ? nullptr : artifacts.cast<const recognition::NlpArtifacts*>());
              options.ad_hoc_recognizers = std::move(extras.ad_hoc_recognizers);
              options.nlp_artifacts = extras.nlp_artifacts;
            }
            options.entities = std::move(entities);
            options.language = std::move(language);
            options.conflict_resolution = conflict_resolution;
            options.analyzer_score_threshold = analyzer_score_threshold;
            options.allow_list = std::move(allow_list);
            options.allow_list_match = std::move(allow_list_match);
            options.regex_flags = regex_flags;
            options.context = std::move(context);
            return locked(self, [&] {
              AnalysisScope scope;
              struct Extra {
                PythonTextAnalyzer* analyzer;
                ~Extra() {
                  if (analyzer) analyzer->extra_kwargs = nullptr;
                }
              } extra{self.python_analyzer.get()};
              if (extra.analyzer) extra.analyzer->extra_kwargs = extra_kwargs.ptr();
              return self.anonymize(input, options);
            });
          },
          py::arg("text"), py::arg("entities"), py::arg("language"), py::arg("conflict_resolution"),
          py::arg("analyzer_score_threshold"), py::arg("allow_list"), py::arg("allow_list_match"),
          py::arg("regex_flags"), py::arg("context"), py::arg("extra_kwargs"))
      .def(
          "anonymize_batch",
          [](BoundTextAnonymizer& self, const std::vector<py::handle>& texts, std::optional<Strings> entities,
             std::string language, double analyzer_score_threshold, size_t threads, std::optional<Strings> allow_list) {
            std::vector<std::string> inputs;
            inputs.reserve(texts.size());
            for (py::handle text : texts) inputs.emplace_back(utf8_view(text));
            AnonymizeOptions options;
            options.entities = std::move(entities);
            options.language = std::move(language);
            options.analyzer_score_threshold = analyzer_score_threshold;
            options.allow_list = std::move(allow_list);
            // An analyzer written in Python runs under the GIL: one thread.
            if (self.python_analyzer) threads = 1;
            return locked(self, [&] {
              AnalysisScope scope;
              return self.anonymize_batch(inputs, options, threads);
            });
          },
          py::arg("texts"), py::arg("entities"), py::arg("language"), py::arg("analyzer_score_threshold"),
          py::arg("threads"), py::arg("allow_list") = py::none())
      .def(
          "deanonymize",
          [](BoundTextAnonymizer& self, py::handle text, bool tolerant) {
            std::string input(utf8_view(text));
            return locked(self, [&] { return self.deanonymize(input, tolerant); });
          },
          py::arg("text"), py::arg("tolerant") = false)
      .def(
          "streaming_deanonymizer",
          [](BoundTextAnonymizer& self, bool tolerant) {
            return locked(self, [&] { return StreamingDeanonymizer(self.store(), tolerant); });
          },
          py::arg("tolerant") = false)
      .def("reset_deanonymizer_mapping",
           [](BoundTextAnonymizer& self) { locked(self, [&] { self.reset_deanonymizer_mapping(); }); })
      .def(
          "add_operators",
          [](BoundTextAnonymizer& self, const anonymization::OperatorMap& operators) {
            locked(self, [&] { self.add_operators(operators); });
          },
          py::arg("operators"))
      .def("remove_all_operators",
           [](BoundTextAnonymizer& self) { locked(self, [&] { self.remove_all_operators(); }); })
      .def_property_readonly(
          "deanonymizer_mapping",
          [](BoundTextAnonymizer& self) { return locked(self, [&] { return self.deanonymizer_mapping(); }); })
      .def_property_readonly(
          "anonymizer_mapping",
          [](BoundTextAnonymizer& self) { return locked(self, [&] { return self.anonymizer_mapping(); }); })
      .def_property_readonly("operators",
                             [](BoundTextAnonymizer& self) { return locked(self, [&] { return self.operators(); }); })
      .def_property_readonly("skip_format_duplicates", &BoundTextAnonymizer::skip_format_duplicates)
      .def_property_readonly("detection_failures", [](BoundTextAnonymizer& self) {
        return locked(self, [&] { return self.detection_failures(); });
      });

  // A TextAnonymizer's mapping shared through a store others write (Redis).
  // The store and the anonymizer stay alive as long as this object.
  struct BoundSharedMapping {
    std::shared_ptr<BoundTextAnonymizer> anonymizer;
    SharedMapping sharing;
  };
  py::class_<BoundSharedMapping>(m, "SharedMapping")
      .def(py::init([](std::shared_ptr<BoundTextAnonymizer> anonymizer, MappingStore& store) {
             return locked(*anonymizer, [&] {
               return std::unique_ptr<BoundSharedMapping>(new BoundSharedMapping{anonymizer, SharedMapping(*anonymizer, store)});
             });
           }),
           py::arg("anonymizer"), py::arg("store"), py::keep_alive<1, 3>())
      .def(
          "anonymize",
          [](BoundSharedMapping& self, py::handle text, const std::string& language) {
            std::string input(utf8_view(text));
            AnonymizeOptions options;
            options.language = language;
            return without_gil([&] {
              const TextAnonymizer::Detection found = self.anonymizer->detect(input, options);
              std::lock_guard lock(self.anonymizer->mutex);
              return self.sharing.anonymize(input, found, options);
            });
          },
          py::arg("text"), py::arg("language") = "id")
      .def(
          "anonymize_batch",
          [](BoundSharedMapping& self, const std::vector<py::handle>& texts, const std::string& language) {
            std::vector<std::string> inputs;
            for (py::handle text : texts) inputs.emplace_back(utf8_view(text));
            AnonymizeOptions options;
            options.language = language;
            return without_gil([&] {
              std::vector<TextAnonymizer::Detection> found;
              for (const std::string& input : inputs) found.push_back(self.anonymizer->detect(input, options));
              std::lock_guard lock(self.anonymizer->mutex);
              return self.sharing.anonymize_batch(inputs, found, options);
            });
          },
          py::arg("texts"), py::arg("language") = "id")
      .def(
          "deanonymize",
          [](BoundSharedMapping& self, py::handle text, bool tolerant) {
            std::string input(utf8_view(text));
            return locked(*self.anonymizer, [&] { return self.sharing.deanonymize(input, tolerant); });
          },
          py::arg("text"), py::arg("tolerant") = false)
      .def("refresh", [](BoundSharedMapping& self) { locked(*self.anonymizer, [&] { self.sharing.refresh(); }); })
      .def_property_readonly("refused_commits",
                             [](BoundSharedMapping& self) { return self.sharing.refused_commits(); });
}

void bind_config_file(py::module_& m) {
  py::class_<PrivacyConfig>(m, "PrivacyConfig",
                            "What a configuration file asks for: recognizers (one per recognizer and language), "
                            "an allow list and operators per entity type.")
      .def(py::init<>())
      .def_property_readonly(
          "recognizers", [](const PrivacyConfig& c) { return c.recognizers; },
          "The pattern and deny-list recognizers, one per language (a new list on every read).")
      .def_property_readonly(
          "allow_list", [](const PrivacyConfig& c) { return c.allow_list; },
          "Texts never reported or replaced (a new list on every read).")
      .def_property_readonly(
          "operators", [](const PrivacyConfig& c) { return c.operators; },
          "Entity type -> OperatorConfig, \"DEFAULT\" for the other types (a new dict on every read).")
      .def("__repr__", [](const PrivacyConfig& c) {
        return "PrivacyConfig(" + std::to_string(c.recognizers.size()) + " recognizers, " +
               std::to_string(c.allow_list.size()) + " allowed texts, " + std::to_string(c.operators.size()) +
               " operators)";
      });
  m.def(
      "load_privacy_config",
      [](const std::string& path) { return without_gil([&] { return load_privacy_config(path); }); },
      py::arg("path"), "Reads a YAML configuration file; raises ConfigError.");
  m.def(
      "parse_privacy_config",
      [](const std::string& yaml, const std::string& source) {
        return without_gil([&] { return parse_privacy_config(yaml, source); });
      },
      py::arg("yaml"), py::arg("source") = "<config>",
      "Parses a YAML configuration; `source` names it in error messages. Raises ConfigError.");
}

}  // namespace

void bind_pii_detector(py::module_& m) {
  bind_constants(m);
  bind_recognizers(m);
  bind_enhancer(m);
  bind_mapping(m);
  bind_faker(m);
  bind_spacy_model_loader(m);
  bind_text_analyzer(m);
  bind_text_anonymizer(m);
  bind_config_file(m);
}

}  // namespace tesk_privacy::python
