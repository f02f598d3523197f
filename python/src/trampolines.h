// Trampolines: the C++ classes pybind11 instantiates for Python subclasses of
// the extensible bases (recognizers, context enhancers), so that a method the
// subclass overrides is the one C++ calls. Each looks for the Python override
// under the GIL and otherwise runs the C++ method; pybind11 returns no
// override to a call made from inside that same override, so
// `super().analyze(...)` reaches the C++ method.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "bindings.h"
#include "recognition/predefined/credit_card_recognizer.h"
#include "tesk_privacy/recognition/context_aware_enhancer.h"
#include "tesk_privacy/recognition/entity_recognizer.h"
#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::python {

inline std::optional<bool> optional_bool(py::handle obj) {
  if (obj.is_none()) return std::nullopt;
  int truth = PyObject_IsTrue(obj.ptr());
  if (truth < 0) throw py::error_already_set();
  return truth != 0;
}

inline py::object artifacts_to_py(const recognition::NlpArtifacts* nlp_artifacts) {
  return nlp_artifacts ? py::cast(*nlp_artifacts) : py::object(py::none());
}

// analyze() of a Python subclass is called as analyze(text, entities,
// nlp_artifacts), with `regex_flags` as a keyword for pattern recognizers.
// An abstract base without the override raises TypeError.
template <class Base>
class PyRecognizer : public Base {
 public:
  using Base::Base;

  std::vector<recognition::RecognizerResult> analyze(const Utf8Text& text, const std::vector<std::string>& entities,
                                                     const recognition::NlpArtifacts* nlp_artifacts,
                                                     std::optional<int> regex_flags = std::nullopt) const override {
    {
      py::gil_scoped_acquire gil;
      if (py::function f = py::get_override(static_cast<const Base*>(this), "analyze")) {
        py::object out;
        if constexpr (std::is_base_of_v<recognition::PatternRecognizer, Base>) {
          py::object flags = regex_flags ? py::object(py::int_(*regex_flags)) : py::object(py::none());
          out = f(to_py_str(text.view()), entities, artifacts_to_py(nlp_artifacts), py::arg("regex_flags") = flags);
        } else {
          out = f(to_py_str(text.view()), entities, artifacts_to_py(nlp_artifacts));
        }
        return results_from_py(out, this->name());
      }
    }
    if constexpr (std::is_abstract_v<Base>) {
      throw py::type_error(this->name() + " does not implement analyze()");
    } else {
      return Base::analyze(text, entities, nlp_artifacts, regex_flags);
    }
  }
};

// Pattern recognizers also let Python decide on candidates through
// validate_result() and invalidate_result().
template <class Base>
class PyPatternRecognizer : public PyRecognizer<Base> {
 public:
  using PyRecognizer<Base>::PyRecognizer;

 protected:
  std::optional<bool> validate_result(std::string_view text) const override {
    py::gil_scoped_acquire gil;
    if (py::function f = py::get_override(static_cast<const Base*>(this), "validate_result")) {
      return optional_bool(f(to_py_str(text)));
    }
    return Base::validate_result(text);
  }
  std::optional<bool> invalidate_result(std::string_view text) const override {
    py::gil_scoped_acquire gil;
    if (py::function f = py::get_override(static_cast<const Base*>(this), "invalidate_result")) {
      return optional_bool(f(to_py_str(text)));
    }
    return Base::invalidate_result(text);
  }
};

// py::init for a credit-card recognizer class taking (supported_language,
// patterns, context, supported_entity): the class itself, or its trampoline
// for a Python subclass.
template <class Card>
auto card_recognizer_init() {
  auto make = [](auto tag) {
    return [](std::string supported_language, std::optional<std::vector<recognition::Pattern>> patterns,
              std::optional<std::vector<std::string>> context, std::string supported_entity) {
      return std::make_shared<typename decltype(tag)::type>(
          std::move(supported_language),
          recognition::CreditCardRecognizerOptions{std::move(patterns), std::move(context),
                                                   std::move(supported_entity)});
    };
  };
  return py::init(make(std::type_identity<Card>{}), make(std::type_identity<PyPatternRecognizer<Card>>{}));
}

// enhance_using_context() of a Python subclass is called as
// enhance_using_context(text, raw_results, nlp_artifacts, recognizers,
// context) and returns the results.
template <class Base>
class PyEnhancer : public Base {
 public:
  using Base::Base;

  std::vector<recognition::RecognizerResult> enhance_using_context(
      const Utf8Text& text, std::vector<recognition::RecognizerResult> raw_results,
      const recognition::NlpArtifacts& nlp_artifacts,
      const std::vector<std::shared_ptr<recognition::EntityRecognizer>>& recognizers,
      const std::optional<std::vector<std::string>>& context = std::nullopt) const override {
    {
      py::gil_scoped_acquire gil;
      if (py::function f = py::get_override(static_cast<const Base*>(this), "enhance_using_context")) {
        py::list held;
        for (const auto& r : recognizers) held.append(py::cast(r));
        py::object words = context ? py::cast(*context) : py::object(py::none());
        return results_from_py(f(to_py_str(text.view()), raw_results, py::cast(nlp_artifacts), held, words),
                               "enhance_using_context");
      }
    }
    if constexpr (std::is_abstract_v<Base>) {
      throw py::type_error("the ContextAwareEnhancer subclass does not implement enhance_using_context()");
    } else {
      return Base::enhance_using_context(text, std::move(raw_results), nlp_artifacts, recognizers, context);
    }
  }
};

}  // namespace tesk_privacy::python
