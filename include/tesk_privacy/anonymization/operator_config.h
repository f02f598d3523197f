// OperatorConfig: which operator replaces the text of one entity type, and
// with which parameters. An OperatorMap assigns a config to each entity type;
// its "DEFAULT" entry applies to every type that has no entry of its own.
//
//   OperatorMap operators{
//       {"PERSON", OperatorConfig("mask", {{"masking_char", "*"}, {"chars_to_mask", 4}})},
//       {"EMAIL_ADDRESS", OperatorConfig("hash", {{"hash_type", "sha512"}})},
//       {"DEFAULT", OperatorConfig("replace", {{"new_value", "<PII>"}})}};
//
// Operators and their parameters:
//   replace  new_value (string, optional; default "<ENTITY_TYPE>")
//   redact   none; the text is removed
//   mask     masking_char (one character), chars_to_mask (integer >= 0),
//            from_end (bool, optional, default false)
//   hash     hash_type: "sha256" (default), "sha512" or "md5"; lowercase hex
//   encrypt  key (string of 16, 24 or 32 bytes: AES-128, -192 or -256);
//            base64 of an IV and the AES-CBC ciphertext, the same for the
//            same text under one key; decrypt() in encryption.h reverses it
//   keep     none; the text stays as it is
//   custom   lambda (CustomFunction): receives the original text, returns
//            the replacement
// Parameters an operator does not use are ignored.
//
// The constructor validates the config and throws std::invalid_argument on a
// bad operator name or parameter. The fields stay public, so the engine checks
// each config again with validate() before using it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <variant>

#include "tesk_privacy/core/ordered_map.h"

namespace tesk_privacy::anonymization {

using CustomFunction = std::function<std::string(const std::string&)>;
using ParamValue = std::variant<std::string, int64_t, double, bool, CustomFunction>;
using Params = std::map<std::string, ParamValue>;

struct OperatorConfig {
  std::string operator_name;
  Params params;

  // The default operator: replace the text with "<ENTITY_TYPE>".
  OperatorConfig() : operator_name("replace") {}
  explicit OperatorConfig(std::string operator_name, Params params = {});

  // Throws std::invalid_argument when the operator name is unknown or a
  // parameter is missing, of the wrong type or out of range.
  void validate() const;

  bool has_param(const std::string& name) const { return params.count(name) != 0; }
  // Throws std::out_of_range when the parameter is absent.
  const ParamValue& param(const std::string& name) const;
};

// Entity type -> operator config, in the order the types were given.
using OperatorMap = OrderedMap<OperatorConfig>;

// The OperatorMap key whose config applies to entity types without an entry.
inline constexpr const char* kDefaultOperatorKey = "DEFAULT";

}  // namespace tesk_privacy::anonymization
