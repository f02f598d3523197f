// C++ exceptions as Python's built-in exceptions, and the bridge that hands
// the library's log records to Python's logging.
#include <Python.h>

#include <cstdio>
#include <exception>
#include <map>
#include <stdexcept>
#include <string>

#include "bindings.h"
#include "ner/model.h"
#include "tesk_privacy/core/errors.h"
#include "tesk_privacy/core/logger.h"
#include "tesk_privacy/pii_detector/config_file.h"
#include "tesk_privacy/pii_detector/text_anonymizer.h"
#include "tesk_privacy/regex/regex.h"
#ifdef TESK_HAVE_TRANSFORMERS
#include "inference/model_resolver.h"
#endif

namespace tesk_privacy::python {
namespace {

// std::out_of_range messages of the form "KeyError: 'key'" carry the key.
py::object key_error_argument(const std::string& message) {
  const std::string prefix = "KeyError: '";
  if (message.size() > prefix.size() && message.compare(0, prefix.size(), prefix) == 0 && message.back() == '\'') {
    return to_py_str(std::string_view(message).substr(prefix.size(), message.size() - prefix.size() - 1));
  }
  return to_py_str(message);
}

void set_error(PyObject* type, const char* message) { PyErr_SetString(type, message); }

// tesk_privacy._native.ConfigError, made when the module is bound.
PyObject* config_error_type = nullptr;

// A ConfigError carrying where the problem lies as attributes, besides the
// "SOURCE:LINE:COLUMN: message" text.
void set_config_error(const pii_detector::ConfigError& e) {
  const std::string what = e.what();
  auto message = py::reinterpret_steal<py::object>(
      PyUnicode_DecodeUTF8(what.data(), static_cast<Py_ssize_t>(what.size()), "replace"));
  auto source = py::reinterpret_steal<py::object>(
      PyUnicode_DecodeUTF8(e.source().data(), static_cast<Py_ssize_t>(e.source().size()), "replace"));
  if (!message || !source) throw py::error_already_set();
  py::object error = py::handle(config_error_type)(message);
  error.attr("source") = source;
  error.attr("line") = e.line();
  error.attr("column") = e.column();
  PyErr_SetObject(config_error_type, error.ptr());
}

// Sets the Python error for one exception, most specific type first: the
// library's OS-level errors, then the standard categories. Returns false for
// an exception it does not know, which pybind11's own translation handles.
bool set_error_for(std::exception_ptr p) {
  try {
    std::rethrow_exception(p);
  } catch (const pii_detector::ConfigError& e) {
    set_config_error(e);
  } catch (const FileNotFoundError& e) {
    set_error(PyExc_FileNotFoundError, e.what());
  } catch (const OSError& e) {
    set_error(PyExc_OSError, e.what());
  } catch (const ImportError& e) {
    set_error(PyExc_ImportError, e.what());
  } catch (const AttributeError& e) {
    set_error(PyExc_AttributeError, e.what());
  } catch (const TimeoutExpired& e) {
    set_error(PyExc_TimeoutError, e.what());
  } catch (const std::out_of_range& e) {
    PyErr_SetObject(PyExc_KeyError, key_error_argument(e.what()).ptr());
  } catch (py::error_already_set& e) {
    e.restore();
  } catch (...) {
    return false;
  }
  return true;
}

// What pybind11 would raise for the standard exceptions, for a wrapper that
// carries a cause and so is translated here.
void set_standard_error(std::exception_ptr p) {
  try {
    std::rethrow_exception(p);
  } catch (const std::invalid_argument& e) {
    set_error(PyExc_ValueError, e.what());
  } catch (const std::exception& e) {
    set_error(PyExc_RuntimeError, e.what());
  } catch (...) {
    set_error(PyExc_RuntimeError, "unknown error");
  }
}

// The exception a std::throw_with_nested wrapper carries, or null.
std::exception_ptr nested_cause(std::exception_ptr p) {
  try {
    std::rethrow_exception(p);
  } catch (const std::nested_exception& n) {
    return n.nested_ptr();
  } catch (...) {
  }
  return nullptr;
}

// The current Python error, taken out of the error indicator and normalized.
py::object take_error(py::object* type, py::object* traceback) {
  PyObject *t = nullptr, *v = nullptr, *tb = nullptr;
  PyErr_Fetch(&t, &v, &tb);
  PyErr_NormalizeException(&t, &v, &tb);
  if (tb != nullptr && v != nullptr) PyException_SetTraceback(v, tb);
  *type = py::reinterpret_steal<py::object>(t);
  *traceback = py::reinterpret_steal<py::object>(tb);
  return py::reinterpret_steal<py::object>(v);
}

// Sets the Python error for `p`; an exception thrown with
// std::throw_with_nested gets its nested one as __cause__, as
// `raise ... from err` would.
void set_chained_error(std::exception_ptr p) {
  py::object cause;
  if (std::exception_ptr nested = nested_cause(p)) {
    set_chained_error(nested);
    py::object cause_type, cause_traceback;
    cause = take_error(&cause_type, &cause_traceback);
  }
  if (!set_error_for(p)) set_standard_error(p);
  if (!cause) return;
  py::object type, traceback;
  py::object value = take_error(&type, &traceback);
  PyException_SetCause(value.ptr(), cause.release().ptr());  // steals the reference
  PyErr_Restore(type.release().ptr(), value.release().ptr(), traceback.release().ptr());
}

void translate(std::exception_ptr p) {
  if (!p) return;
  if (nested_cause(p)) {
    set_chained_error(p);
  } else if (!set_error_for(p)) {
    std::rethrow_exception(p);  // to pybind11's own translation
  }
}

// --- logging ----------------------------------------------------------------

// logging.getLogger, kept for the life of the process (never released, so
// nothing touches Python from static destructors).
PyObject* get_logger_function() {
  static PyObject* fn = py::object(py::module_::import("logging").attr("getLogger")).release().ptr();
  return fn;
}

void python_sink(const core::LogRecord& record) {
  if (!python_alive()) return;
  py::gil_scoped_acquire gil;
  try {
    PyObject* name =
        PyUnicode_DecodeUTF8(record.logger_name.data(), static_cast<Py_ssize_t>(record.logger_name.size()), "replace");
    if (name == nullptr) throw py::error_already_set();
    py::object logger = py::reinterpret_steal<py::object>(PyObject_CallOneArg(get_logger_function(), name));
    Py_DECREF(name);
    if (!logger) throw py::error_already_set();
    PyObject* message =
        PyUnicode_DecodeUTF8(record.message.data(), static_cast<Py_ssize_t>(record.message.size()), "replace");
    if (message == nullptr) throw py::error_already_set();
    logger.attr("log")(static_cast<int>(record.level), py::reinterpret_steal<py::object>(message));
  } catch (py::error_already_set& e) {
    // A failing handler must not turn a log call into a C++ exception.
    e.discard_as_unraisable("tesk_privacy log bridge");
  }
}

void set_sink_without_gil(core::LogSink sink) {
  // Logger::log holds the sink lock while the sink waits for the GIL, so the
  // lock must never be requested while this thread holds the GIL.
  without_gil([&] { core::LoggerManager().set_sink(std::move(sink)); });
}

core::LogLevel to_level(int level) { return static_cast<core::LogLevel>(level); }

}  // namespace

bool python_alive() {
#if PY_VERSION_HEX >= 0x030D0000
  return Py_IsInitialized() && !Py_IsFinalizing();
#else
  return Py_IsInitialized() && !_Py_IsFinalizing();
#endif
}

void bind_errors_and_logging(py::module_& m) {
  py::register_local_exception_translator(&translate);
  // The library's own errors, each a subclass of the built-in type they
  // arrived as before, so that `except ValueError` still catches them.
  py::register_exception<pii_detector::InputTooLargeError>(m, "InputTooLargeError", PyExc_ValueError);
  py::register_exception<regex::RegexError>(m, "RegexError", PyExc_ValueError);
  // Translated in set_error_for, which adds source, line and column.
  py::object config_error = py::exception<pii_detector::ConfigError>(m, "ConfigError", PyExc_ValueError);
  config_error.attr("__doc__") =
      "A configuration file that cannot be read or is not valid; the message is \"SOURCE:LINE:COLUMN: problem\". "
      "line and column are 1-based, 0 when the problem has no place in the file.";
  config_error.attr("source") = "";
  config_error.attr("line") = 0;
  config_error.attr("column") = 0;
  config_error_type = config_error.release().ptr();  // kept for the life of the process
  py::register_exception<regex::MatchLimitError>(m, "MatchLimitError", PyExc_RuntimeError);
  py::register_exception<ner::ModelFormatError>(m, "ModelFormatError", PyExc_RuntimeError);
#ifdef TESK_HAVE_TRANSFORMERS
  py::register_exception<inference::ModelNotFoundError>(m, "ModelNotFoundError", PyExc_RuntimeError);
#endif

  m.def(
      "_install_log_bridge", [] { set_sink_without_gil(&python_sink); },
      "Send the library's log records to Python's logging.");
  m.def(
      "_uninstall_log_bridge", [] { set_sink_without_gil(nullptr); },
      "Send the library's log records to standard error again.");
  m.def(
      "_set_log_levels",
      [](int default_level, const std::map<std::string, int>& levels) {
        // Called from inside logging's own level changes: no logger lock is
        // waited for while the GIL is held.
        without_gil([&] {
          core::LoggerManager manager;
          manager.set_default_level(to_level(default_level));
          for (const auto& [name, level] : levels) manager.get_logger(name).set_level(to_level(level));
        });
      },
      py::arg("default_level"), py::arg("levels"),
      "Set the level used by loggers without one of their own, and the levels of the named loggers.");
  m.def("_default_log_level", [] { return static_cast<int>(core::LoggerManager().default_level()); });
  m.def(
      "_log",
      [](const std::string& name, int level, const std::string& message) {
        without_gil([&] { core::LoggerManager().get_logger(name).log(to_level(level), message); });
      },
      py::arg("name"), py::arg("level"), py::arg("message"),
      "Log through the library's logger `name`, as library code does.");
  m.def(
      "_raise",
      [](const std::string& kind, const std::string& message) {
        if (kind == "invalid_argument") throw std::invalid_argument(message);
        if (kind == "out_of_range") throw std::out_of_range(message);
        if (kind == "runtime_error") throw std::runtime_error(message);
        if (kind == "OSError") throw OSError(message);
        if (kind == "FileNotFoundError") throw FileNotFoundError(message);
        if (kind == "ImportError") throw ImportError(message);
        if (kind == "AttributeError") throw AttributeError(message);
        if (kind == "TimeoutExpired") throw TimeoutExpired(message);
        throw std::logic_error(message);
      },
      py::arg("kind"), py::arg("message"), "Throw a C++ exception of the given kind (for tests of the mapping).");
}

}  // namespace tesk_privacy::python
