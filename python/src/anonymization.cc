// The anonymization framework: operator configurations (with Python
// callables as "custom" operators), the anonymizer engine, and decrypt() for
// the "encrypt" operator's values.
#include <optional>
#include <string>
#include <vector>

#include "bindings.h"
#include "tesk_privacy/anonymization/anonymizer_engine.h"
#include "tesk_privacy/anonymization/encryption.h"

namespace tesk_privacy::python {

using anonymization::AnonymizerEngine;
using anonymization::ConflictResolutionStrategy;
using anonymization::OperatorConfig;
using anonymization::OperatorMap;
using recognition::RecognizerResult;
using Results = std::vector<RecognizerResult>;

void bind_anonymization(py::module_& m) {
  py::class_<OperatorConfig>(m, "OperatorConfig",
                             "Which operator replaces the text of an entity type, with which parameters. "
                             "OperatorConfig(\"custom\", {\"lambda\": f}) calls f(original_text) -> str.")
      .def(py::init([](std::string operator_name, py::object params) {
             return OperatorConfig(std::move(operator_name), params_from_py(params));
           }),
           py::arg("operator_name"), py::arg("params") = py::none())
      .def_readwrite("operator_name", &OperatorConfig::operator_name)
      .def_property(
          "params", [](const OperatorConfig& c) { return params_to_py(c.params); },
          [](OperatorConfig& c, py::object params) { c.params = params_from_py(params); },
          "A new dict on every read; assign a dict to change the parameters.")
      .def("validate", &OperatorConfig::validate, "Raises ValueError for an unknown operator or a bad parameter.")
      .def("__repr__", [](const OperatorConfig& c) {
        return "OperatorConfig(operator_name=" + std::string(py::repr(py::str(c.operator_name))) +
               ", params=" + std::string(py::repr(params_to_py(c.params))) + ")";
      });

  py::class_<AnonymizerEngine, std::shared_ptr<AnonymizerEngine>>(
      m, "AnonymizerEngine", "Replaces detected spans with the output of an operator per entity type. Holds no state.")
      .def(py::init<>())
      .def(
          "anonymize",
          [](const AnonymizerEngine& self, py::handle text, const Results& analyzer_results,
             const std::optional<OperatorMap>& operators,
             std::optional<ConflictResolutionStrategy> conflict_resolution) {
            Utf8Text t = to_text(text);
            return without_gil([&] { return self.anonymize(t, analyzer_results, operators, conflict_resolution); });
          },
          py::arg("text"), py::arg("analyzer_results"), py::arg("operators") = py::none(),
          py::arg("conflict_resolution") = py::none(),
          "Replaces each span; a type without an operator becomes \"<TYPE>\". Returns an EngineResult.")
      .def(
          "_remove_conflicts_and_get_text_manipulation_data",
          [](const AnonymizerEngine& self, const Results& results,
             std::optional<ConflictResolutionStrategy> conflict_resolution) {
            return without_gil(
                [&] { return self._remove_conflicts_and_get_text_manipulation_data(results, conflict_resolution); });
          },
          py::arg("analyzer_results"), py::arg("conflict_resolution") = py::none())
      .def(
          "_merge_entities_with_whitespace_between",
          [](const AnonymizerEngine& self, py::handle text, const Results& results) {
            Utf8Text t = to_text(text);
            return without_gil([&] { return self._merge_entities_with_whitespace_between(t, results); });
          },
          py::arg("text"), py::arg("analyzer_results"));

  m.def(
      "decrypt",
      [](const std::string& text, const std::string& key) { return anonymization::decrypt(text, key); },
      py::arg("text"), py::arg("key"),
      "The original of a value the \"encrypt\" operator wrote under `key` (str or bytes of 16, 24 or 32 bytes). "
      "Raises ValueError for a key of another length, text that is not base64, and a value that does not decrypt "
      "under this key.");
}

}  // namespace tesk_privacy::python
