// The transformer recognizer: MERROW_BERT_CONFIGURATION (always), and, in
// builds with the inference layer, TransformersRecognizer, PredictionEntity,
// the token-aware chunker and the tokenizer it counts with (submodule
// transformers).
//
// Configuration maps travel as dicts of bool, int, float, str, list of str
// and dict of str to str.
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bindings.h"
#include "pii_detector/recognizer/config.h"

#ifdef TESK_HAVE_TRANSFORMERS
#include "inference/model_resolver.h"
#include "pii_detector/models/transformers_recognizer.h"
#endif

namespace tesk_privacy::python {
namespace {

using pii_detector::ConfigValue;
using pii_detector::Configuration;
using Strings = std::vector<std::string>;

std::string type_name_of(py::handle obj) { return py::str(py::type::handle_of(obj).attr("__name__")); }

ConfigValue config_value_from_py(py::handle v, const std::string& key) {
  if (PyBool_Check(v.ptr())) return v.ptr() == Py_True;
  if (PyLong_Check(v.ptr())) return py::cast<int64_t>(v);
  if (PyFloat_Check(v.ptr())) return py::cast<double>(v);
  if (PyUnicode_Check(v.ptr())) return std::string(utf8_view(v));
  if (py::isinstance<py::dict>(v)) {
    OrderedMap<std::string> out;
    for (auto [k, x] : py::reinterpret_borrow<py::dict>(v)) out[std::string(utf8_view(k))] = std::string(utf8_view(x));
    return out;
  }
  if (py::isinstance<py::list>(v) || py::isinstance<py::tuple>(v)) {
    Strings out;
    for (auto x : v) out.emplace_back(utf8_view(x, ("configuration['" + key + "'] items").c_str()));
    return out;
  }
  throw py::type_error("configuration['" + key + "'] must be a bool, int, float, str, list or dict, not " +
                       type_name_of(v));
}

Configuration configuration_from_py(py::handle obj) {
  if (!py::isinstance<py::dict>(obj)) throw py::type_error("configuration must be a dict, not " + type_name_of(obj));
  Configuration out;
  for (auto [k, v] : py::reinterpret_borrow<py::dict>(obj)) {
    if (!PyUnicode_Check(k.ptr())) continue;  // only upper-case text keys are read
    const std::string key(utf8_view(k));
    out.emplace_back(key, config_value_from_py(v, key));
  }
  return out;
}

py::object config_value_to_py(const ConfigValue& v) {
  return std::visit([](const auto& x) -> py::object { return py::cast(x); }, v);
}

py::dict configuration_to_py(const Configuration& config) {
  py::dict out;
  for (const auto& [k, v] : config) out[py::str(k)] = config_value_to_py(v);
  return out;
}

#ifdef TESK_HAVE_TRANSFORMERS

using pii_detector::LockedTokenizer;
using pii_detector::PredictionEntity;
using pii_detector::TokenAwareTextChunker;
using pii_detector::TokenizationLevel;
using pii_detector::TransformersRecognizer;

// A TokenizationLevel member, or its value as text.
TokenizationLevel level_from_py(py::handle obj) {
  py::object value = py::hasattr(obj, "value") ? py::object(obj.attr("value")) : py::reinterpret_borrow<py::object>(obj);
  return pii_detector::parse_tokenization_level(std::string(utf8_view(value, "tokenization_level")));
}

py::object level_to_py(TokenizationLevel level) {
  py::object enum_class = py::module_::import("tesk_privacy.pii_detector.recognizer.transformers_recognizer")
                              .attr("TokenizationLevel");
  return enum_class(pii_detector::to_string(level));
}

py::object device_to_py(const pii_detector::Device& d) {
  if (const auto* i = std::get_if<int64_t>(&d)) return py::int_(*i);
  return py::str(std::get<std::string>(d));
}

py::dict info_to_py(const pii_detector::PipelineInfo& info) {
  py::dict optimizations;
  for (const auto& [k, v] : info.optimizations) optimizations[py::str(k)] = py::bool_(v);
  py::dict out;
  out["backend"] = info.backend;
  out["device"] = device_to_py(info.device);
  out["optimizations"] = optimizations;
  return out;
}

std::shared_ptr<const LockedTokenizer> load_tokenizer(const std::string& model) {
  return without_gil([&] {
    auto folder = inference::resolve_model(model);
    return std::make_shared<const LockedTokenizer>(inference::Tokenizer::from_folder(folder),
                                                   std::make_shared<std::recursive_mutex>());
  });
}

void bind_transformers_layer(py::module_& m) {
  py::module_ sub = m.def_submodule("transformers", "Tokenizer and chunker of the transformer recognizer.");
  py::class_<LockedTokenizer, std::shared_ptr<LockedTokenizer>>(
      sub, "Tokenizer", "A model's subword tokenizer (tokenizer.json of a folder or a cached hub model).")
      .def_static("from_pretrained", [](const std::string& model) { return std::const_pointer_cast<LockedTokenizer>(load_tokenizer(model)); },
                  py::arg("model"))
      .def(
          "encode",
          [](const LockedTokenizer& t, py::handle text, bool add_special_tokens) {
            auto s = to_text(text);
            return without_gil([&] { return t.encode(s.view(), add_special_tokens).ids; });
          },
          py::arg("text"), py::arg("add_special_tokens") = true)
      .def("tokenize", [](const LockedTokenizer& t, py::handle text) { return t.tokenize(to_text(text).view()); },
           py::arg("text"))
      .def_property_readonly("model_max_length", &LockedTokenizer::model_max_length);

  py::class_<TokenAwareTextChunker, std::shared_ptr<TokenAwareTextChunker>>(
      m, "TokenAwareTextChunker",
      "Cuts texts over a token budget into (start, end) spans at sentence or word boundaries.")
      .def(py::init([](py::object tokenizer, std::optional<int64_t> max_tokens) {
             std::shared_ptr<const LockedTokenizer> tok =
                 PyUnicode_Check(tokenizer.ptr()) ? load_tokenizer(std::string(utf8_view(tokenizer)))
                                                  : std::shared_ptr<const LockedTokenizer>(
                                                        tokenizer.cast<std::shared_ptr<LockedTokenizer>>());
             return std::make_shared<TokenAwareTextChunker>(std::move(tok), max_tokens);
           }),
           py::arg("tokenizer"), py::arg("max_tokens") = py::none())
      .def_property_readonly("tokenizer",
                             [](const TokenAwareTextChunker& c) {
                               return std::const_pointer_cast<LockedTokenizer>(c.tokenizer());
                             })
      .def("get_max_chunk_tokens", &TokenAwareTextChunker::get_max_chunk_tokens)
      .def("should_chunk", [](const TokenAwareTextChunker& c, py::handle text) {
             auto s = to_text(text);
             return without_gil([&] { return c.should_chunk(s.view()); });
           }, py::arg("text"))
      .def("split_text", [](const TokenAwareTextChunker& c, py::handle text) {
             auto s = to_text(text);
             return without_gil([&] { return c.split_text(s.view()); });
           }, py::arg("text"))
      .def("split_by_sentences", [](const TokenAwareTextChunker& c, py::handle text, int64_t max_tokens) {
             auto s = to_text(text);
             return without_gil([&] { return c.split_by_sentences(s.view(), max_tokens); });
           }, py::arg("text"), py::arg("max_tokens"))
      .def("split_by_words", [](const TokenAwareTextChunker& c, py::handle text, int64_t max_tokens) {
             auto s = to_text(text);
             return without_gil([&] { return c.split_by_words(s.view(), max_tokens); });
           }, py::arg("text"), py::arg("max_tokens"));

  py::class_<PredictionEntity>(m, "PredictionEntity", "One predicted span: label, covered text, span and score.")
      .def(py::init<std::string, std::string, int64_t, int64_t, double>(), py::arg("entity_group"), py::arg("word"),
           py::arg("start"), py::arg("end"), py::arg("score"))
      .def_readwrite("entity_group", &PredictionEntity::entity_group)
      .def_readwrite("word", &PredictionEntity::word)
      .def_readwrite("start", &PredictionEntity::start)
      .def_readwrite("end", &PredictionEntity::end)
      .def_readwrite("score", &PredictionEntity::score)
      .def("__eq__", [](const PredictionEntity& a, const PredictionEntity& b) { return a == b; })
      .def("__repr__", [](const PredictionEntity& p) {
        return "PredictionEntity(entity_group=" + std::string(py::repr(py::str(p.entity_group))) +
               ", word=" + std::string(py::repr(py::str(p.word))) + ", start=" + std::to_string(p.start) +
               ", end=" + std::to_string(p.end) + ", score=" + std::string(py::repr(py::float_(p.score))) + ")";
      });

  using R = TransformersRecognizer;
  py::class_<R, recognition::EntityRecognizer, std::shared_ptr<R>> cls(
      m, "TransformersRecognizer", "Named entities found by a token-classification transformer model.");
  cls.def(py::init([](std::optional<std::string> model_path, py::object pipeline,
                      std::optional<Strings> supported_entities, py::object tokenization_level,
                      std::optional<bool> use_optimum, std::string supported_language) {
            if (!pipeline.is_none()) {
              throw py::type_error("pipeline objects cannot be passed in; give model_path instead");
            }
            const TokenizationLevel level = level_from_py(tokenization_level);
            return std::make_shared<R>(std::move(model_path), nullptr, std::move(supported_entities), level,
                                       use_optimum, std::move(supported_language));
          }),
          py::arg("model_path") = py::none(), py::arg("pipeline") = py::none(),
          py::arg("supported_entities") = py::none(), py::arg("tokenization_level") = "subword",
          py::arg("use_optimum") = py::none(), py::arg("supported_language") = "id")
      .def("load", [](R&) {})
      .def(
          "load_transformer",
          [](R& self, py::handle configuration) {
            Configuration c = configuration_from_py(configuration);
            without_gil([&] { self.load_transformer(c); });
          },
          py::arg("configuration"))
      .def(
          "analyze",
          [](const R& self, py::handle text, std::optional<Strings> entities, py::object) {
            Utf8Text t = to_text(text);
            Strings wanted = entities.value_or(Strings{});
            return without_gil([&] { return self.analyze(t, wanted, nullptr); });
          },
          py::arg("text"), py::arg("entities"), py::arg("nlp_artifacts") = py::none())
      .def("get_pipeline_info", [](const R& self) { return info_to_py(self.get_pipeline_info()); })
      .def(
          "switch_backend",
          [](R& self, const std::string& backend) { return without_gil([&] { return self.switch_backend(backend); }); },
          py::arg("backend"))
      .def_property_readonly("model_path", &R::model_path)
      .def_property_readonly("tokenization_level", [](const R& self) { return level_to_py(self.tokenization_level()); })
      .def_property_readonly("is_loaded", &R::is_loaded)
      .def_property_readonly("use_optimum", &R::use_optimum)
      .def_property_readonly("aggregation_mechanism", &R::aggregation_mechanism)
      .def_property_readonly("ignore_labels", &R::ignore_labels)
      .def_property_readonly("model_to_presidio_mapping", &R::model_to_presidio_mapping)
      .def_property_readonly("entity_mapping", &R::entity_mapping)
      .def_property_readonly("default_explanation", &R::default_explanation)
      .def_property_readonly("chunk_length", &R::chunk_length)
      .def_property_readonly("id_entity_name", &R::id_entity_name)
      .def_property_readonly("id_score_reduction", &R::id_score_reduction)
      .def_property_readonly("text_chunker",
                             [](const R& self) { return std::const_pointer_cast<TokenAwareTextChunker>(self.text_chunker()); })
      .def_static("_generate_cache_key", &R::_generate_cache_key, py::arg("model_path"),
                  py::arg("tokenization_level"), py::arg("use_optimum"))
      .def_static("split_long_text", &R::split_long_text, py::arg("text"), py::arg("start_pos"),
                  py::arg("max_length"))
      .def_static("_split_text_by_paragraph", &R::_split_text_by_paragraph, py::arg("text"),
                  py::arg("max_length") = 512)
      .def_static("_get_actual_boundaries_without_spaces", &R::_get_actual_boundaries_without_spaces,
                  py::arg("text"), py::arg("raw_start"), py::arg("raw_end"))
      .def_static("_is_a_complete_word", &R::_is_a_complete_word, py::arg("text"), py::arg("start"), py::arg("end"))
      .def_static("_strip_trailing_punctuation", &R::_strip_trailing_punctuation, py::arg("text"), py::arg("start"),
                  py::arg("end"))
      .def_static("_merge_adjacent_entities", &R::_merge_adjacent_entities, py::arg("predictions"))
      .def_static("_merge_adjacent_word_entities", &R::_merge_adjacent_word_entities, py::arg("text"),
                  py::arg("predictions"))
      .def_static("_refine_boundaries", &R::_refine_boundaries, py::arg("text"), py::arg("predictions"));
  m.attr("TRANSFORMERS_AVAILABLE") = true;
}

#endif  // TESK_HAVE_TRANSFORMERS

}  // namespace

void bind_transformers(py::module_& m) {
  m.attr("MERROW_BERT_CONFIGURATION") = configuration_to_py(pii_detector::MERROW_BERT_CONFIGURATION);
#ifdef TESK_HAVE_TRANSFORMERS
  bind_transformers_layer(m);
#endif
}

}  // namespace tesk_privacy::python
