// Shared pieces of the compiled module tesk_privacy._native: conversions
// between Python values and the library's value types, holders that keep
// Python objects alive while C++ owns them, and the per-layer entry points.
//
// Value records (RecognizerResult, AnalysisExplanation, EngineResult,
// OperatorResult, ConflictResolutionStrategy) are plain Python classes in
// tesk_privacy._records; the type casters below convert them at the
// boundary, so Python code gets ordinary mutable objects and C++ gets its
// structs. Everything with behaviour (recognizers, engines, facades) is a
// bound C++ class.
//
// GIL rules followed by every binding:
// - pure C++ work runs with the GIL released;
// - a C++ mutex is only ever waited for with the GIL released, so a thread
//   that holds the mutex and calls back into Python cannot deadlock against
//   one that holds the GIL;
// - Python objects held by C++ (callbacks, recognizers) are released under
//   the GIL, or leaked once the interpreter is finalizing.
#pragma once

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#if defined(__GLIBCXX__)
#include <cxxabi.h>
#endif

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "tesk_privacy/anonymization/conflict_resolution_strategy.h"
#include "tesk_privacy/anonymization/engine_result.h"
#include "tesk_privacy/anonymization/operator_config.h"
#include "tesk_privacy/core/ordered_map.h"
#include "tesk_privacy/pii_detector/store/deanonymizer_mapping.h"
#include "tesk_privacy/recognition/analysis_explanation.h"
#include "tesk_privacy/recognition/analyzer_engine.h"
#include "tesk_privacy/recognition/recognizer_result.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::python {

namespace py = pybind11;

// --- interpreter state ----------------------------------------------------

// False once the interpreter is shutting down: Python must not be touched.
bool python_alive();

// Runs `f` with the GIL released and takes it back afterwards.
//
// At interpreter exit Python stops a daemon thread that asks for the GIL by
// unwinding it (abi::__forced_unwind). That unwinding must not ask for the
// GIL again, which a releasing guard's destructor would do (and abort the
// process), so the GIL is taken back explicitly on the normal and the error
// paths, and not at all while the thread is being stopped.
template <class F>
decltype(auto) without_gil(F&& f) {
  PyThreadState* state = PyEval_SaveThread();
  try {
    if constexpr (std::is_void_v<std::invoke_result_t<F&>>) {
      f();
      PyEval_RestoreThread(state);
    } else {
      auto result = f();
      PyEval_RestoreThread(state);
      return result;
    }
#if defined(__GLIBCXX__)
  } catch (abi::__forced_unwind&) {
    throw;
#endif
  } catch (...) {
    PyEval_RestoreThread(state);
    throw;
  }
}

// --- analysis options -------------------------------------------------------


// --- text -----------------------------------------------------------------

// The UTF-8 bytes of a str, valid while `str` lives. Raises TypeError for a
// non-str and UnicodeEncodeError (a ValueError) for lone surrogates.
std::string_view utf8_view(py::handle str, const char* what = "text");
Utf8Text to_text(py::handle str, const char* what = "text");
py::str to_py_str(std::string_view utf8);

// --- keeping Python objects alive from C++ -------------------------------

// A shared owner of a Python reference whose last release takes the GIL
// (or leaks the reference when the interpreter is gone).
std::shared_ptr<py::object> share_py(py::object obj);

// A shared_ptr to the C++ part of `obj` that also keeps `obj` itself alive,
// so that Python overrides and attributes survive as long as C++ uses them.
template <class T>
std::shared_ptr<T> hold(py::object obj) {
  if (!py::isinstance<T>(obj)) {
    throw py::type_error("expected " + std::string(py::str(py::type::of<T>().attr("__name__"))) + ", not " +
                         std::string(py::str(py::type::handle_of(obj).attr("__name__"))));
  }
  auto cpp = obj.cast<std::shared_ptr<T>>();
  T* raw = cpp.get();
  auto owner = share_py(std::move(obj));
  return std::shared_ptr<T>(std::shared_ptr<void>(owner), raw);
}

// --- registry locking -----------------------------------------------------

// Registries and recognizers may be changed from Python (a recognizer added,
// a pattern score or context words rewritten) while other threads analyse
// with the GIL released. Analyses hold one process-wide lock shared, changes
// hold it exclusively. Both are taken with the GIL released.
class AnalysisScope {
 public:
  AnalysisScope();
  ~AnalysisScope();
  AnalysisScope(const AnalysisScope&) = delete;
  AnalysisScope& operator=(const AnalysisScope&) = delete;

 private:
  bool locked_;
};

// Throws std::logic_error when the calling thread is inside an analysis (a
// recognizer changing a registry from its analyze()).
class RecognizerChange {
 public:
  RecognizerChange();
  ~RecognizerChange();
  RecognizerChange(const RecognizerChange&) = delete;
  RecognizerChange& operator=(const RecognizerChange&) = delete;
};

// --- analysis -------------------------------------------------------------

// The options of one analysis as the bound analyze() methods take them;
// `ad_hoc_recognizers` is None or an iterable of EntityRecognizer.
inline recognition::AnalyzeOptions analyze_options(std::optional<std::vector<std::string>> entities,
                                                   std::optional<double> score_threshold,
                                                   std::optional<std::vector<std::string>> allow_list,
                                                   std::string allow_list_match, int regex_flags,
                                                   std::optional<std::vector<std::string>> context,
                                                   py::handle ad_hoc_recognizers = py::none(),
                                                   const recognition::NlpArtifacts* nlp_artifacts = nullptr) {
  recognition::AnalyzeOptions options;
  options.entities = std::move(entities);
  options.score_threshold = score_threshold;
  options.allow_list = std::move(allow_list);
  options.allow_list_match = std::move(allow_list_match);
  options.regex_flags = regex_flags;
  options.context = std::move(context);
  if (!ad_hoc_recognizers.is_none()) {
    for (py::handle r : ad_hoc_recognizers) {
      options.ad_hoc_recognizers.push_back(hold<recognition::EntityRecognizer>(py::reinterpret_borrow<py::object>(r)));
    }
  }
  options.nlp_artifacts = nlp_artifacts;
  return options;
}

// analyzer.analyze(text, language, options) with the GIL released, inside an
// analysis scope.
template <class Analyzer>
std::vector<recognition::RecognizerResult> run_analysis(const Analyzer& analyzer, py::handle text,
                                                        const std::string& language,
                                                        const recognition::AnalyzeOptions& options) {
  Utf8Text t = to_text(text);
  return without_gil([&] {
    AnalysisScope scope;
    return analyzer.analyze(t, language, options);
  });
}

// --- custom operators -----------------------------------------------------

// A "custom" operator implemented by a Python callable: called under the
// GIL; must return a str.
struct PythonCallable {
  std::shared_ptr<py::object> fn;
  std::string operator()(const std::string& text) const;
};

anonymization::CustomFunction to_custom_function(py::object fn);
// The Python callable behind a CustomFunction, or a wrapper around a C++ one.
py::object from_custom_function(const anonymization::CustomFunction& fn);

anonymization::Params params_from_py(py::handle params);
py::dict params_to_py(const anonymization::Params& params);

// --- records --------------------------------------------------------------

// The class `name` of tesk_privacy._records (looked up once, kept for the
// life of the process).
py::handle record_class(const char* name);

recognition::RecognizerResult recognizer_result_from_py(py::handle obj);
// The list a Python analyze() returned; TypeError naming `who` otherwise.
std::vector<recognition::RecognizerResult> results_from_py(py::handle out, const std::string& who);
py::object recognizer_result_to_py(const recognition::RecognizerResult& r);
recognition::AnalysisExplanation explanation_from_py(py::handle obj);
py::object explanation_to_py(const recognition::AnalysisExplanation& e);
anonymization::ConflictResolutionStrategy strategy_from_py(py::handle obj);
py::object strategy_to_py(anonymization::ConflictResolutionStrategy s);
anonymization::OperatorResult operator_result_from_py(py::handle obj);
py::object operator_result_to_py(const anonymization::OperatorResult& r);
anonymization::EngineResult engine_result_from_py(py::handle obj);
py::object engine_result_to_py(const anonymization::EngineResult& r);
pii_detector::MappingDataType mapping_from_py(py::handle obj);
py::dict mapping_to_py(const pii_detector::MappingDataType& m);

// --- layers ---------------------------------------------------------------

void bind_errors_and_logging(py::module_& m);
void bind_recognition(py::module_& m);
void bind_anonymization(py::module_& m);
void bind_pii_detector(py::module_& m);

}  // namespace tesk_privacy::python

// Type casters for the record types, so that bound functions can take and
// return them (and lists of them) directly.
namespace pybind11::detail {

#define TESK_RECORD_CASTER(Type, py_name, from_py, to_py)            \
  template <>                                                        \
  struct type_caster<Type> {                                         \
    PYBIND11_TYPE_CASTER(Type, const_name(py_name));                 \
    bool load(handle src, bool) {                                    \
      if (!src || src.is_none()) return false;                       \
      value = tesk_privacy::python::from_py(src);                    \
      return true;                                                   \
    }                                                                \
    static handle cast(const Type& v, return_value_policy, handle) { \
      return tesk_privacy::python::to_py(v).release();               \
    }                                                                \
  }

TESK_RECORD_CASTER(tesk_privacy::recognition::RecognizerResult, "RecognizerResult", recognizer_result_from_py,
                   recognizer_result_to_py);
TESK_RECORD_CASTER(tesk_privacy::recognition::AnalysisExplanation, "AnalysisExplanation", explanation_from_py,
                   explanation_to_py);
TESK_RECORD_CASTER(tesk_privacy::anonymization::ConflictResolutionStrategy, "ConflictResolutionStrategy",
                   strategy_from_py, strategy_to_py);
TESK_RECORD_CASTER(tesk_privacy::anonymization::OperatorResult, "OperatorResult", operator_result_from_py,
                   operator_result_to_py);
TESK_RECORD_CASTER(tesk_privacy::anonymization::EngineResult, "EngineResult", engine_result_from_py,
                   engine_result_to_py);
TESK_RECORD_CASTER(tesk_privacy::pii_detector::MappingDataType, "dict[str, dict[str, str]]", mapping_from_py,
                   mapping_to_py);

#undef TESK_RECORD_CASTER

// Insertion-ordered maps are dicts, in the same order both ways.
template <typename Value>
struct type_caster<tesk_privacy::OrderedMap<Value>>
    : map_caster<tesk_privacy::OrderedMap<Value>, std::string, Value> {};

}  // namespace pybind11::detail
