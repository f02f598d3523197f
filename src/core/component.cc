#include "tesk_privacy/core/component.h"

#include <stdexcept>

#include "tesk_privacy/regex/regex.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::core {
namespace {

template <typename T>
std::optional<T> get(const Kwargs& kwargs, const std::string& key, const char* expected) {
  auto it = kwargs.find(key);
  if (it == kwargs.end() || std::holds_alternative<std::monostate>(it->second)) return std::nullopt;
  if (const T* v = std::get_if<T>(&it->second)) return *v;
  throw std::invalid_argument("keyword argument `" + key + "` must be " + expected);
}

}  // namespace

std::optional<std::string> kwarg_string(const Kwargs& kwargs, const std::string& key) {
  return get<std::string>(kwargs, key, "a string");
}

std::optional<double> kwarg_number(const Kwargs& kwargs, const std::string& key) {
  auto it = kwargs.find(key);
  if (it != kwargs.end()) {
    if (const int64_t* i = std::get_if<int64_t>(&it->second)) return static_cast<double>(*i);
  }
  return get<double>(kwargs, key, "a number");
}

std::optional<int64_t> kwarg_int(const Kwargs& kwargs, const std::string& key) {
  return get<int64_t>(kwargs, key, "an integer");
}

std::optional<bool> kwarg_bool(const Kwargs& kwargs, const std::string& key) {
  return get<bool>(kwargs, key, "a boolean");
}

std::optional<std::vector<std::string>> kwarg_strings(const Kwargs& kwargs, const std::string& key) {
  return get<std::vector<std::string>>(kwargs, key, "a list of strings");
}

bool is_valid_text(const Kwargs& kwargs, const std::string& key) {
  auto it = kwargs.find(key);
  if (it == kwargs.end()) return false;
  const std::string* s = std::get_if<std::string>(&it->second);
  if (s == nullptr) return false;
  // Python's str.strip() removes Unicode white space, so does \s here.
  static const regex::Regex non_space(R"(\S)", 0);
  return find_invalid_utf8(*s) == std::string::npos ? non_space.search(*s)
                                                     : s->find_first_not_of(" \t\n\r\f\v") != std::string::npos;
}

}  // namespace tesk_privacy::core
