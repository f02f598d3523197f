// A YAML configuration file: recognizers of one's own, deny and allow lists,
// and the operator for each entity type, without writing code.
//
//   PrivacyConfig config = load_privacy_config("privacy.yaml");
//   TextAnalyzer analyzer(config.recognizers);
//   TextAnonymizerOptions options;
//   options.operators = config.operators;
//
// The file (examples/config.yaml is a complete, commented one):
//
//   recognizers:                   # pattern recognizers of one's own
//     - name: employee id          # optional; default "<ENTITY_TYPE> pattern"
//       entity_type: EMPLOYEE_ID   # required; capital letters, digits and _
//       patterns:                  # one or more ...
//         - name: nip              # optional; default the recognizer's name
//           regex: '\bEMP-\d{6}\b' # Python's re dialect
//           score: 0.9             # 0 to 1; default 0.85
//       context: [karyawan, pegawai, employee]  # optional context words
//       languages: [id, en]        # optional; "id" and/or "en", default both
//     - entity_type: BADGE         # ... or a single regex (and score) on
//       regex: '\bHB-\d{5}\b'      # the recognizer itself
//   deny_lists:                    # words always reported as the type
//     PROJECT: [Garuda, Merpati]
//   allow_list: [Jakarta, Bank Indonesia]   # texts never reported or replaced
//   operators:                     # per entity type; DEFAULT for all others
//     PHONE_NUMBER: {type: mask, masking_char: "*", chars_to_mask: 6, from_end: true}
//     EMAIL_ADDRESS: {type: hash, hash_type: sha256}
//     PERSON: {type: replace, new_value: "<NAMA>"}
//     ID_KTP: {type: encrypt, key: "0123456789abcdef"}
//
// Every section is optional; an empty file is an empty configuration.
// Each recognizer becomes one PatternRecognizer per language, and so does
// each deny list (named "deny list of TYPE"). Operator parameters are typed
// as YAML reads them: 6 is an integer, 0.5 a number, true a boolean, and
// anything quoted a string (so a key of digits must be quoted). The
// parameters of each operator are those OperatorConfig describes; the
// "custom" operator needs code and is refused here.
//
// The reading is strict, so that a typing error does not silently leave PII
// in place: unknown or repeated keys, a value of the wrong kind (a string
// where a list belongs), a score outside 0..1, a pattern that does not
// compile, a bad entity type name, a language other than id and en, or an
// operator OperatorConfig::validate() refuses, are each a ConfigError that
// names where in the file the problem lies.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "tesk_privacy/anonymization/operator_config.h"
#include "tesk_privacy/recognition/entity_recognizer.h"

namespace tesk_privacy::pii_detector {

// What a configuration file asks for.
struct PrivacyConfig {
  // One per recognizer (and deny list) and language, in the file's order.
  std::vector<std::shared_ptr<recognition::EntityRecognizer>> recognizers;
  // Texts never reported or replaced (AnalyzeOptions::allow_list).
  std::vector<std::string> allow_list;
  // Entity type -> operator, in the file's order.
  anonymization::OperatorMap operators;
};

// A configuration that cannot be read or is not valid. what() is
// "SOURCE:LINE:COLUMN: message", or "SOURCE: message" when the problem has
// no place in the file (a file that cannot be opened).
class ConfigError : public std::invalid_argument {
 public:
  ConfigError(const std::string& source, size_t line, size_t column, const std::string& message);

  // 1-based; 0 when the problem has no place in the file.
  size_t line() const { return line_; }
  size_t column() const { return column_; }
  // The file's path, or the name given to parse_privacy_config.
  const std::string& source() const { return source_; }

 private:
  std::string source_;
  size_t line_;
  size_t column_;
};

// Reads and parses the file at `path`. A file that does not exist or cannot
// be read is a ConfigError too, without line and column.
PrivacyConfig load_privacy_config(const std::string& path);

// Parses `yaml`; `source` names it in error messages.
PrivacyConfig parse_privacy_config(const std::string& yaml, const std::string& source = "<config>");

}  // namespace tesk_privacy::pii_detector
