// The sequence tagger (flair submodule: Label, Span, Sentence,
// SequenceTagger, TokenClassificationTagger) and FlairRecognizer. Present
// only in builds with the tagger.
//
// A tagger written in Python either subclasses SequenceTagger or is any
// object with a predict(sentence) method. Its predict() works on a Python
// copy of the sentence, copied back when it returns, so a sentence the
// Python code keeps never refers to memory C++ has released.
#ifdef TESK_HAVE_FLAIR

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "bindings.h"
#include "flair/sentence.h"
#include "flair/sequence_tagger.h"
#include "flair/token_classification_tagger.h"
#include "pii_detector/models/flair_recognizer.h"

namespace tesk_privacy::python {
namespace {

using flair::Label;
using flair::Sentence;
using flair::SequenceTagger;
using flair::Span;
using pii_detector::FlairRecognizer;
using Strings = std::vector<std::string>;

// Calls a Python predict() on a copy of `sentence` (under the GIL) and takes
// the copy's spans back. A Python error becomes a C++ one carrying the
// error's text, as the recognizer logs it.
void predict_in_python(py::handle predict, Sentence& sentence) {
  try {
    py::object copy = py::cast(Sentence(sentence));
    predict(copy);
    sentence = copy.cast<Sentence>();
  } catch (py::error_already_set& e) {
    throw std::runtime_error(py::str(e.value()).cast<std::string>());
  }
}

class PySequenceTagger : public SequenceTagger {
 public:
  void predict(Sentence& sentence) const override {
    py::gil_scoped_acquire gil;
    py::function override = py::get_override(static_cast<const SequenceTagger*>(this), "predict");
    if (!override) throw std::runtime_error("SequenceTagger subclass does not implement predict()");
    predict_in_python(override, sentence);
  }
};

// Any Python object with a predict(sentence) method.
class DuckTypedTagger : public SequenceTagger {
 public:
  explicit DuckTypedTagger(py::object tagger) : tagger_(share_py(std::move(tagger))) {}
  void predict(Sentence& sentence) const override {
    py::gil_scoped_acquire gil;
    predict_in_python(tagger_->attr("predict"), sentence);
  }
  const py::object& object() const { return *tagger_; }

 private:
  std::shared_ptr<py::object> tagger_;
};

std::shared_ptr<SequenceTagger> tagger_from_py(py::object model) {
  if (model.is_none()) return nullptr;
  if (py::isinstance<SequenceTagger>(model)) return hold<SequenceTagger>(std::move(model));
  if (py::hasattr(model, "predict") && PyCallable_Check(model.attr("predict").ptr())) {
    return std::make_shared<DuckTypedTagger>(std::move(model));
  }
  throw py::type_error("model must be a SequenceTagger or have a predict(sentence) method, not " +
                       std::string(py::str(py::type::handle_of(model).attr("__name__"))));
}

py::object tagger_to_py(const std::shared_ptr<SequenceTagger>& tagger) {
  if (auto duck = std::dynamic_pointer_cast<DuckTypedTagger>(tagger)) return duck->object();
  return py::cast(tagger);
}

// Pairs of (entities, labels); each side any iterable of str.
FlairRecognizer::CheckLabelGroups groups_from_py(py::handle groups) {
  FlairRecognizer::CheckLabelGroups out;
  for (py::handle pair : groups) {
    auto sides = py::reinterpret_borrow<py::sequence>(pair);
    if (!py::isinstance<py::sequence>(pair) || py::isinstance<py::str>(pair) || sides.size() != 2) {
      throw py::type_error("check_label_groups holds (entities, labels) pairs");
    }
    std::set<std::string> entities, labels;
    for (py::handle e : sides[0]) entities.insert(e.cast<std::string>());
    for (py::handle l : sides[1]) labels.insert(l.cast<std::string>());
    out.emplace_back(std::move(entities), std::move(labels));
  }
  return out;
}

std::optional<FlairRecognizer::CheckLabelGroups> optional_groups(py::handle groups) {
  if (groups.is_none()) return std::nullopt;
  return groups_from_py(groups);
}

py::list groups_to_py(const FlairRecognizer::CheckLabelGroups& groups) {
  py::list out;
  for (const auto& [entities, labels] : groups) out.append(py::make_tuple(py::cast(entities), py::cast(labels)));
  return out;
}

void bind_tagger(py::module_& flair_module) {
  py::class_<Label>(flair_module, "Label", "A label value and its confidence (0 to 1).")
      .def(py::init<std::string, double>(), py::arg("value"), py::arg("score") = 1.0)
      .def_readwrite("value", &Label::value)
      .def_readwrite("score", &Label::score)
      .def("__eq__", [](const Label& a, const Label& b) { return a == b; })
      .def("__repr__", [](const Label& l) {
        return "Label(" + py::repr(py::str(l.value)).cast<std::string>() + ", " + std::to_string(l.score) + ")";
      });

  py::class_<Span>(flair_module, "Span", "A labelled stretch of a sentence; offsets are characters, end exclusive.")
      .def_readonly("start_position", &Span::start_position)
      .def_readonly("end_position", &Span::end_position)
      .def_property_readonly("text", [](const Span& s) { return to_py_str(s.text); })
      .def_readonly("labels", &Span::labels)
      .def_property_readonly("tag", &Span::tag, "The first label's value.")
      .def_property_readonly("score", &Span::score, "The first label's score.")
      .def("__repr__", [](const Span& s) {
        return "Span[" + std::to_string(s.start_position) + ":" + std::to_string(s.end_position) + "]: " +
               py::repr(to_py_str(s.text)).cast<std::string>() + " -> " + s.tag();
      });

  py::class_<Sentence>(flair_module, "Sentence", "A text and the labelled spans a tagger attached to it.")
      .def(py::init([](py::handle text) { return Sentence(std::string(utf8_view(text))); }), py::arg("text"))
      .def("to_original_text", [](const Sentence& s) { return to_py_str(s.to_original_text()); })
      .def_property_readonly("text", [](const Sentence& s) { return to_py_str(s.to_original_text()); })
      .def("add_span", py::overload_cast<const std::string&, size_t, size_t, std::vector<Label>>(&Sentence::add_span),
           py::arg("label_type"), py::arg("start"), py::arg("end"), py::arg("labels"))
      .def("add_span",
           py::overload_cast<const std::string&, size_t, size_t, std::string, double>(&Sentence::add_span),
           py::arg("label_type"), py::arg("start"), py::arg("end"), py::arg("value"), py::arg("score") = 1.0)
      .def(
          "get_spans", [](const Sentence& s, const std::string& type) { return s.get_spans(type); },
          py::arg("label_type") = flair::kNerLabelType)
      .def("label_types", &Sentence::label_types)
      .def("remove_labels", [](Sentence& s, const std::string& type) { s.remove_labels(type); }, py::arg("label_type"));

  py::class_<SequenceTagger, PySequenceTagger, std::shared_ptr<SequenceTagger>>(
      flair_module, "SequenceTagger", "A model that attaches \"ner\" spans to a sentence; subclass it and define predict().")
      .def(py::init<>())
      .def(
          "predict",
          [](const SequenceTagger& self, Sentence& sentence) {
            Sentence work(sentence);
            without_gil([&] { self.predict(work); });
            sentence = std::move(work);
          },
          py::arg("sentence"))
      .def_static(
          "load", [](const std::string& name) { return without_gil([&] { return SequenceTagger::load(name); }); },
          py::arg("model_name"), "A hub-format token-classification model from a folder or the local hub cache.");

  py::class_<flair::TokenClassificationTagger, SequenceTagger, std::shared_ptr<flair::TokenClassificationTagger>>(
      flair_module, "TokenClassificationTagger", "A tagger on a hub-format token-classification model.")
      .def_static(
          "from_pretrained",
          [](const std::string& model) {
            return without_gil([&] { return flair::TokenClassificationTagger::from_pretrained(model); });
          },
          py::arg("model"));
}

}  // namespace

void bind_flair(py::module_& m) {
  py::module_ flair_module = m.def_submodule("flair", "The sequence tagger FlairRecognizer runs on.");
  bind_tagger(flair_module);

  py::class_<FlairRecognizer, recognition::EntityRecognizer, std::shared_ptr<FlairRecognizer>> cls(
      m, "FlairRecognizer", "Persons, locations and organizations found by a sequence-tagging NER model.");
  cls.def(py::init([](std::string supported_language, std::optional<Strings> supported_entities,
                      py::object check_label_groups, py::object model) {
            auto groups = optional_groups(check_label_groups);
            auto tagger = tagger_from_py(std::move(model));
            return without_gil([&] {
              return std::make_shared<FlairRecognizer>(std::move(supported_language), std::move(supported_entities),
                                                       std::move(groups), tagger);
            });
          }),
          py::arg("supported_language") = "en", py::arg("supported_entities") = py::none(),
          py::arg("check_label_groups") = py::none(), py::arg("model") = py::none())
      .def("load", &FlairRecognizer::load)
      .def(
          "analyze",
          [](const FlairRecognizer& self, py::handle text, std::optional<Strings> entities, py::object) {
            Utf8Text t = to_text(text);
            Strings wanted = entities.value_or(Strings{});
            return without_gil([&] { return self.analyze(t, wanted, nullptr); });
          },
          py::arg("text"), py::arg("entities"), py::arg("nlp_artifacts") = py::none())
      .def_property_readonly("check_label_groups",
                             [](const FlairRecognizer& self) { return groups_to_py(self.check_label_groups); })
      .def_property_readonly("model", [](const FlairRecognizer& self) { return tagger_to_py(self.model); })
      .def_static(
          "_load_model",
          [](const std::string& language) {
            return tagger_to_py(without_gil([&] { return FlairRecognizer::_load_model(language); }));
          },
          py::arg("language"))
      .def_static(
          "_check_label",
          [](const std::string& entity, const std::string& label, py::handle groups) {
            return FlairRecognizer::_check_label(entity, label, groups_from_py(groups));
          },
          py::arg("entity"), py::arg("label"), py::arg("check_label_groups"))
      .def_static("build_flair_explanation", &FlairRecognizer::build_flair_explanation, py::arg("original_score"),
                  py::arg("explanation"))
      .def_static("_convert_to_recognizer_result", &FlairRecognizer::_convert_to_recognizer_result,
                  py::arg("entity"), py::arg("explanation"))
      .def_property_readonly_static(
          "MODEL_CACHE",
          [](py::object) {
            py::dict out;
            for (const auto& [name, tagger] : FlairRecognizer::MODEL_CACHE()) out[py::str(name)] = tagger_to_py(tagger);
            return out;
          },
          "A copy of the class-wide cache: model name -> loaded tagger.");
  cls.attr("ENTITIES") = py::cast(FlairRecognizer::ENTITIES);
  cls.attr("DEFAULT_EXPLANATION") = FlairRecognizer::DEFAULT_EXPLANATION;
  cls.attr("DEFAULT_CHECK_LABEL_GROUPS") = groups_to_py(FlairRecognizer::DEFAULT_CHECK_LABEL_GROUPS);
  cls.attr("MODEL_LANGUAGES") = py::cast(FlairRecognizer::MODEL_LANGUAGES);
  cls.attr("PRESIDIO_EQUIVALENCES") = py::cast(FlairRecognizer::PRESIDIO_EQUIVALENCES);
}

}  // namespace tesk_privacy::python

#endif  // TESK_HAVE_FLAIR
