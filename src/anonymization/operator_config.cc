#include "tesk_privacy/anonymization/operator_config.h"

#include <array>
#include <stdexcept>
#include <string_view>

#include "tesk_privacy/anonymization/encryption.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::anonymization {
namespace {

constexpr std::array<std::string_view, 7> kOperatorNames = {"replace", "redact", "mask",   "hash",
                                                            "encrypt", "keep",   "custom"};
constexpr std::array<std::string_view, 3> kHashTypes = {"sha256", "sha512", "md5"};

[[noreturn]] void bad_param(const OperatorConfig& config, const std::string& name,
                            const std::string& problem) {
  throw std::invalid_argument("Invalid parameter '" + name + "' for operator '" +
                              config.operator_name + "': " + problem);
}

// The parameter `name` if present; throws when it holds another type.
template <typename T>
const T* optional_param(const OperatorConfig& config, const std::string& name,
                        const char* type_name) {
  auto it = config.params.find(name);
  if (it == config.params.end()) return nullptr;
  const T* value = std::get_if<T>(&it->second);
  if (value == nullptr) bad_param(config, name, std::string("expected ") + type_name);
  return value;
}

template <typename T>
const T& required_param(const OperatorConfig& config, const std::string& name,
                        const char* type_name) {
  const T* value = optional_param<T>(config, name, type_name);
  if (value == nullptr) bad_param(config, name, "missing required parameter");
  return *value;
}

void check_utf8_param(const OperatorConfig& config, const std::string& name,
                      const std::string& value) {
  if (find_invalid_utf8(value) != std::string_view::npos) {
    bad_param(config, name, "not valid UTF-8");
  }
}

}  // namespace

OperatorConfig::OperatorConfig(std::string operator_name, Params params)
    : operator_name(std::move(operator_name)), params(std::move(params)) {
  validate();
}

void OperatorConfig::validate() const {
  bool known = false;
  for (std::string_view name : kOperatorNames) known = known || name == operator_name;
  if (!known) throw std::invalid_argument("Invalid operator name: " + operator_name);

  if (operator_name == "replace") {
    if (const auto* v = optional_param<std::string>(*this, "new_value", "a string")) {
      check_utf8_param(*this, "new_value", *v);
    }
  } else if (operator_name == "mask") {
    const auto& masking_char = required_param<std::string>(*this, "masking_char", "a string");
    check_utf8_param(*this, "masking_char", masking_char);
    if (utf8_length(masking_char) != 1) {
      bad_param(*this, "masking_char", "must be exactly one character");
    }
    if (required_param<int64_t>(*this, "chars_to_mask", "an integer") < 0) {
      bad_param(*this, "chars_to_mask", "must not be negative");
    }
    optional_param<bool>(*this, "from_end", "a bool");
  } else if (operator_name == "hash") {
    if (const auto* v = optional_param<std::string>(*this, "hash_type", "a string")) {
      bool supported = false;
      for (std::string_view type : kHashTypes) supported = supported || type == *v;
      if (!supported) bad_param(*this, "hash_type", "'" + *v + "' is not sha256, sha512 or md5");
    }
  } else if (operator_name == "encrypt") {
    const auto& key = required_param<std::string>(*this, "key", "a string");
    if (!is_aes_key_length(key.size())) {
      // The key itself stays out of the message: it is a secret.
      bad_param(*this, "key", "must have 16, 24 or 32 bytes (AES-128, AES-192 or AES-256), not " +
                                  std::to_string(key.size()));
    }
  } else if (operator_name == "custom") {
    if (!required_param<CustomFunction>(*this, "lambda", "a function")) {
      bad_param(*this, "lambda", "empty function");
    }
  }
}

const ParamValue& OperatorConfig::param(const std::string& name) const {
  auto it = params.find(name);
  if (it == params.end()) {
    throw std::out_of_range("Operator '" + operator_name + "' has no parameter '" + name + "'");
  }
  return it->second;
}

}  // namespace tesk_privacy::anonymization
