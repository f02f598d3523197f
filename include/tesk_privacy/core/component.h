// Component: the common base of pipeline components, which a host pipeline
// drives through one generic entry point taking keyword arguments.
//
// Keyword arguments travel as a map from name to a small variant value, the
// C++ form of a Python call's **kwargs:
//
//   Kwargs kwargs{{"text", std::string("NIK 3171011205900001")}, {"language", std::string("id")}};
//   auto results = analyzer.execute(kwargs);
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace tesk_privacy::core {

// std::monostate stands for None.
using KwargValue = std::variant<std::monostate, bool, int64_t, double, std::string, std::vector<std::string>>;
using Kwargs = std::map<std::string, KwargValue>;

class Component {
 public:
  virtual ~Component() = default;
};

// Readers of keyword values: absent or None gives nullopt; a value of the
// wrong type throws std::invalid_argument naming the keyword.
std::optional<std::string> kwarg_string(const Kwargs& kwargs, const std::string& key);
std::optional<double> kwarg_number(const Kwargs& kwargs, const std::string& key);
std::optional<int64_t> kwarg_int(const Kwargs& kwargs, const std::string& key);
std::optional<bool> kwarg_bool(const Kwargs& kwargs, const std::string& key);
std::optional<std::vector<std::string>> kwarg_strings(const Kwargs& kwargs, const std::string& key);

// Whether `key` holds a string that is not empty once white space is trimmed.
bool is_valid_text(const Kwargs& kwargs, const std::string& key);

}  // namespace tesk_privacy::core
