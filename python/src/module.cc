// tesk_privacy._native: the compiled core of the Python package. Private;
// the package's modules give it its public shape.
#include "bindings.h"
#include "tesk_privacy/version.h"

#ifdef TESK_HAVE_FLAIR
namespace tesk_privacy::python {
void bind_flair(py::module_& m);
}
#endif
namespace tesk_privacy::python {
// The transformer configuration table; the recognizer too in builds with it.
void bind_transformers(py::module_& m);
}

PYBIND11_MODULE(_native, m) {
  m.doc() = "Compiled core of tesk_privacy (private; import the tesk_privacy packages instead).";
  m.attr("__version__") = tesk_privacy::kVersion;
  tesk_privacy::python::bind_errors_and_logging(m);
  tesk_privacy::python::bind_recognition(m);
  tesk_privacy::python::bind_anonymization(m);
  tesk_privacy::python::bind_pii_detector(m);
  tesk_privacy::python::bind_transformers(m);
#ifdef TESK_HAVE_FLAIR
  tesk_privacy::python::bind_flair(m);
#endif
}
