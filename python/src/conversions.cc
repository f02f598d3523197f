// Conversions between Python values and the library's value types, and the
// holders that keep Python objects alive from C++.
#include <Python.h>

#include <cctype>
#include <cstdint>
#include <shared_mutex>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <variant>

#include "bindings.h"

namespace tesk_privacy::python {
namespace {

std::string type_name(py::handle obj) { return py::str(py::type::handle_of(obj).attr("__name__")); }

// Optional text fields: "" in C++ is None in Python.
py::object optional_text(const std::string& s) { return s.empty() ? py::object(py::none()) : py::object(to_py_str(s)); }
std::string text_or_empty(py::handle obj, const char* what) {
  return obj.is_none() ? std::string() : std::string(utf8_view(obj, what));
}

py::object attr_or_none(py::handle obj, const char* name) { return py::getattr(obj, name, py::none()); }

int64_t to_int64(py::handle obj, const char* what) {
  // Any integer, including those of other libraries (__index__); not bool.
  if (PyBool_Check(obj.ptr()) || !PyIndex_Check(obj.ptr())) {
    throw py::type_error(std::string(what) + " must be an int, not " + type_name(obj));
  }
  auto index = py::reinterpret_steal<py::object>(PyNumber_Index(obj.ptr()));
  if (!index) throw py::error_already_set();
  long long v = PyLong_AsLongLong(index.ptr());
  if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
  return v;
}

double to_double(py::handle obj, const char* what) {
  if (PyBool_Check(obj.ptr()) || PyUnicode_Check(obj.ptr()) || PyBytes_Check(obj.ptr())) {
    throw py::type_error(std::string(what) + " must be a number, not " + type_name(obj));
  }
  double v = PyFloat_AsDouble(obj.ptr());
  if (v == -1.0 && PyErr_Occurred()) {
    PyErr_Clear();
    throw py::type_error(std::string(what) + " must be a number, not " + type_name(obj));
  }
  return v;
}

recognition::RecognizerResult::MetadataValue metadata_value_from_py(py::handle v, const std::string& key) {
  // bool first: True is also an int.
  if (PyBool_Check(v.ptr())) return v.ptr() == Py_True;
  if (PyLong_Check(v.ptr())) return py::cast<int64_t>(v);
  if (PyFloat_Check(v.ptr())) return py::cast<double>(v);
  if (PyUnicode_Check(v.ptr())) return std::string(utf8_view(v));
  throw py::type_error("recognition_metadata['" + key + "'] must be a str, bool, int or float, not " + type_name(v));
}

py::object metadata_value_to_py(const recognition::RecognizerResult::MetadataValue& v) {
  return std::visit(
      [](const auto& x) -> py::object {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::string>) {
          return to_py_str(x);
        } else if constexpr (std::is_same_v<T, bool>) {
          return py::bool_(x);
        } else if constexpr (std::is_same_v<T, int64_t>) {
          return py::int_(x);
        } else {
          return py::float_(x);
        }
      },
      v);
}

}  // namespace

// --- text -------------------------------------------------------------------

std::string_view utf8_view(py::handle str, const char* what) {
  if (!PyUnicode_Check(str.ptr())) {
    throw py::type_error(std::string(what) + " must be a str, not " + type_name(str));
  }
  Py_ssize_t size = 0;
  const char* data = PyUnicode_AsUTF8AndSize(str.ptr(), &size);
  if (data == nullptr) throw py::error_already_set();
  return {data, static_cast<size_t>(size)};
}

Utf8Text to_text(py::handle str, const char* what) { return Utf8Text(utf8_view(str, what)); }

py::str to_py_str(std::string_view utf8) {
  PyObject* s = PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "strict");
  if (s == nullptr) throw py::error_already_set();
  return py::reinterpret_steal<py::str>(s);
}

// --- holders ----------------------------------------------------------------

std::shared_ptr<py::object> share_py(py::object obj) {
  return std::shared_ptr<py::object>(new py::object(std::move(obj)), [](py::object* p) {
    if (!python_alive()) {
      // The interpreter is gone or going: leak the reference rather than
      // touch it.
      p->release();
      delete p;
      return;
    }
    py::gil_scoped_acquire gil;
    delete p;
  });
}

// --- custom operators ---------------------------------------------------------

std::string PythonCallable::operator()(const std::string& text) const {
  py::gil_scoped_acquire gil;
  py::object out = (*fn)(to_py_str(text));
  if (!PyUnicode_Check(out.ptr())) {
    throw py::type_error("a custom operator must return a str, not " + type_name(out));
  }
  return std::string(utf8_view(out));
}

anonymization::CustomFunction to_custom_function(py::object fn) { return PythonCallable{share_py(std::move(fn))}; }

py::object from_custom_function(const anonymization::CustomFunction& fn) {
  if (const auto* python = fn.target<PythonCallable>()) return *python->fn;
  // A generator made in C++ (for instance a fake-value generator). It runs
  // with the GIL held, which also serializes calls on its shared state.
  return py::cpp_function([fn](const std::string& text) { return fn(text); }, py::arg("text"));
}

anonymization::Params params_from_py(py::handle params) {
  anonymization::Params out;
  if (params.is_none()) return out;
  if (!PyDict_Check(params.ptr())) throw py::type_error("params must be a dict, not " + type_name(params));
  for (auto [key_obj, v] : py::reinterpret_borrow<py::dict>(params)) {
    std::string key(utf8_view(key_obj, "a parameter name"));
    // bool before int: True is also an int.
    if (PyBool_Check(v.ptr())) {
      out[key] = v.ptr() == Py_True;
    } else if (PyLong_Check(v.ptr())) {
      out[key] = py::cast<int64_t>(v);
    } else if (PyFloat_Check(v.ptr())) {
      out[key] = py::cast<double>(v);
    } else if (PyUnicode_Check(v.ptr())) {
      out[key] = std::string(utf8_view(v));
    } else if (PyCallable_Check(v.ptr())) {
      out[key] = to_custom_function(py::reinterpret_borrow<py::object>(v));
    } else {
      throw py::type_error("operator parameter '" + key + "' must be a str, bool, int, float or callable, not " +
                           type_name(v));
    }
  }
  return out;
}

py::dict params_to_py(const anonymization::Params& params) {
  py::dict out;
  for (const auto& [key, value] : params) {
    out[to_py_str(key)] = std::visit(
        [](const auto& x) -> py::object {
          using T = std::decay_t<decltype(x)>;
          if constexpr (std::is_same_v<T, std::string>) {
            return to_py_str(x);
          } else if constexpr (std::is_same_v<T, bool>) {
            return py::bool_(x);
          } else if constexpr (std::is_same_v<T, int64_t>) {
            return py::int_(x);
          } else if constexpr (std::is_same_v<T, double>) {
            return py::float_(x);
          } else {
            return from_custom_function(x);
          }
        },
        value);
  }
  return out;
}

// --- records ----------------------------------------------------------------

py::handle record_class(const char* name) {
  // Looked up on first use: tesk_privacy._records imports this module.
  static PyObject* module = py::module_::import("tesk_privacy._records").release().ptr();
  return py::object(py::handle(module).attr(name)).release();  // kept for the life of the process
}

namespace {
enum Record { kRecognizerResult, kExplanation, kStrategy, kOperatorResult, kEngineResult, kRecordCount };

// The record class, looked up once (calls hold the GIL).
py::handle record(Record which) {
  static const char* const kNames[kRecordCount] = {"RecognizerResult", "AnalysisExplanation",
                                                   "ConflictResolutionStrategy", "OperatorResult", "EngineResult"};
  static py::handle classes[kRecordCount];
  if (!classes[which]) classes[which] = record_class(kNames[which]);
  return classes[which];
}
}  // namespace

recognition::AnalysisExplanation explanation_from_py(py::handle obj) {
  recognition::AnalysisExplanation e;
  e.recognizer = text_or_empty(attr_or_none(obj, "recognizer"), "AnalysisExplanation.recognizer");
  e.original_score = to_double(obj.attr("original_score"), "AnalysisExplanation.original_score");
  py::object score = attr_or_none(obj, "score");
  e.score = score.is_none() ? e.original_score : to_double(score, "AnalysisExplanation.score");
  e.textual_explanation = text_or_empty(attr_or_none(obj, "textual_explanation"), "textual_explanation");
  e.pattern_name = text_or_empty(attr_or_none(obj, "pattern_name"), "pattern_name");
  e.pattern = text_or_empty(attr_or_none(obj, "pattern"), "pattern");
  py::object validation = attr_or_none(obj, "validation_result");
  if (!validation.is_none()) {
    int truth = PyObject_IsTrue(validation.ptr());
    if (truth < 0) throw py::error_already_set();
    e.validation_result = truth != 0;
  }
  e.supportive_context_word = text_or_empty(attr_or_none(obj, "supportive_context_word"), "supportive_context_word");
  py::object improvement = attr_or_none(obj, "score_context_improvement");
  e.score_context_improvement = improvement.is_none() ? 0.0 : to_double(improvement, "score_context_improvement");
  return e;
}

py::object explanation_to_py(const recognition::AnalysisExplanation& e) {
  py::object obj =
      record(kExplanation)(to_py_str(e.recognizer), e.original_score, optional_text(e.textual_explanation),
                        optional_text(e.pattern), optional_text(e.pattern_name),
                        e.validation_result ? py::object(py::bool_(*e.validation_result)) : py::object(py::none()));
  obj.attr("score") = e.score;
  obj.attr("supportive_context_word") = to_py_str(e.supportive_context_word);
  obj.attr("score_context_improvement") = e.score_context_improvement;
  return obj;
}

recognition::RecognizerResult recognizer_result_from_py(py::handle obj) {
  recognition::RecognizerResult r;
  r.entity_type = std::string(utf8_view(obj.attr("entity_type"), "RecognizerResult.entity_type"));
  r.start = to_int64(obj.attr("start"), "RecognizerResult.start");
  r.end = to_int64(obj.attr("end"), "RecognizerResult.end");
  r.score = to_double(obj.attr("score"), "RecognizerResult.score");
  py::object explanation = attr_or_none(obj, "analysis_explanation");
  if (!explanation.is_none()) r.analysis_explanation = explanation_from_py(explanation);
  py::object metadata = attr_or_none(obj, "recognition_metadata");
  if (!metadata.is_none()) {
    recognition::RecognizerResult::Metadata m;
    for (auto item : metadata.attr("items")()) {
      auto kv = py::reinterpret_borrow<py::tuple>(item);
      std::string key(utf8_view(kv[0], "a recognition_metadata key"));
      m.emplace(key, metadata_value_from_py(kv[1], key));
    }
    r.recognition_metadata = std::move(m);
  }
  return r;
}

std::vector<recognition::RecognizerResult> results_from_py(py::handle out, const std::string& who) {
  if (out.is_none() || PyUnicode_Check(out.ptr()) || !PySequence_Check(out.ptr())) {
    throw py::type_error(who + ".analyze() must return a list of RecognizerResult, not " + type_name(out));
  }
  std::vector<recognition::RecognizerResult> results;
  for (auto item : out) results.push_back(recognizer_result_from_py(item));
  return results;
}

py::object recognizer_result_to_py(const recognition::RecognizerResult& r) {
  py::object explanation = r.analysis_explanation ? explanation_to_py(*r.analysis_explanation) : py::none();
  py::object metadata = py::none();
  if (r.recognition_metadata) {
    py::dict d;
    for (const auto& [key, value] : *r.recognition_metadata) d[to_py_str(key)] = metadata_value_to_py(value);
    metadata = std::move(d);
  }
  return record(kRecognizerResult)(to_py_str(r.entity_type), r.start, r.end, r.score, explanation, metadata);
}

anonymization::ConflictResolutionStrategy strategy_from_py(py::handle obj) {
  if (PyUnicode_Check(obj.ptr())) {
    // A name ("REMOVE_INTERSECTIONS") or a value ("remove_intersections").
    std::string name(utf8_view(obj));
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return anonymization::parse_conflict_resolution_strategy(name);
  }
  if (py::isinstance(obj, record(kStrategy))) {
    return anonymization::parse_conflict_resolution_strategy(py::cast<std::string>(obj.attr("name")));
  }
  throw py::type_error("conflict_resolution must be a ConflictResolutionStrategy, not " + type_name(obj));
}

py::object strategy_to_py(anonymization::ConflictResolutionStrategy s) {
  return record(kStrategy)[to_py_str(anonymization::to_string(s))];
}

anonymization::OperatorResult operator_result_from_py(py::handle obj) {
  anonymization::OperatorResult r;
  r.entity_type = std::string(utf8_view(obj.attr("entity_type"), "OperatorResult.entity_type"));
  r.start = to_int64(obj.attr("start"), "OperatorResult.start");
  r.end = to_int64(obj.attr("end"), "OperatorResult.end");
  r.text = text_or_empty(obj.attr("text"), "OperatorResult.text");
  r.operator_name = text_or_empty(attr_or_none(obj, "operator"), "OperatorResult.operator");
  return r;
}

py::object operator_result_to_py(const anonymization::OperatorResult& r) {
  return record(kOperatorResult)(to_py_str(r.entity_type), r.start, r.end, to_py_str(r.text), to_py_str(r.operator_name));
}

anonymization::EngineResult engine_result_from_py(py::handle obj) {
  anonymization::EngineResult r;
  r.text = text_or_empty(obj.attr("text"), "EngineResult.text");
  for (auto item : obj.attr("items")) r.items.push_back(operator_result_from_py(item));
  return r;
}

py::object engine_result_to_py(const anonymization::EngineResult& r) {
  py::list items;
  for (const auto& item : r.items) items.append(operator_result_to_py(item));
  return record(kEngineResult)(to_py_str(r.text), items);
}

pii_detector::MappingDataType mapping_from_py(py::handle obj) {
  if (!py::hasattr(obj, "items")) throw py::type_error("a mapping must be a dict, not " + type_name(obj));
  pii_detector::MappingDataType out;
  for (auto item : obj.attr("items")()) {
    auto kv = py::reinterpret_borrow<py::tuple>(item);
    pii_detector::EntityMapping& inner = out[std::string(utf8_view(kv[0], "an entity type"))];
    if (!py::hasattr(kv[1], "items"))
      throw py::type_error("an entity's mapping must be a dict, not " + type_name(kv[1]));
    for (auto pair : kv[1].attr("items")()) {
      auto p = py::reinterpret_borrow<py::tuple>(pair);
      inner[std::string(utf8_view(p[0], "a mapping key"))] = std::string(utf8_view(p[1], "a mapping value"));
    }
  }
  return out;
}

py::dict mapping_to_py(const pii_detector::MappingDataType& m) {
  py::dict out;
  for (const auto& [type, inner] : m) {
    py::dict d;
    for (const auto& [k, v] : inner) d[to_py_str(k)] = to_py_str(v);
    out[to_py_str(type)] = d;
  }
  return out;
}

}  // namespace tesk_privacy::python

// --- registry locking ---------------------------------------------------------

namespace tesk_privacy::python {
namespace {

std::shared_mutex& recognizer_mutex() {
  static auto* mutex = new std::shared_mutex();  // leaked: may be used during shutdown
  return *mutex;
}

// Analyses in progress on this thread (a Python recognizer may start another).
thread_local int analysis_depth = 0;

}  // namespace

AnalysisScope::AnalysisScope() : locked_(analysis_depth == 0) {
  if (locked_) recognizer_mutex().lock_shared();
  ++analysis_depth;
}

AnalysisScope::~AnalysisScope() {
  --analysis_depth;
  if (locked_) recognizer_mutex().unlock_shared();
}

RecognizerChange::RecognizerChange() {
  if (analysis_depth > 0) {
    throw std::logic_error("recognizers and registries cannot be changed while an analysis runs on this thread");
  }
  recognizer_mutex().lock();
}

RecognizerChange::~RecognizerChange() { recognizer_mutex().unlock(); }

}  // namespace tesk_privacy::python
