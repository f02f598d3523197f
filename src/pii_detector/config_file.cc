#include "tesk_privacy/pii_detector/config_file.h"

#include <yaml-cpp/yaml.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <utility>

#include "tesk_privacy/recognition/pattern.h"
#include "tesk_privacy/recognition/pattern_recognizer.h"
#include "tesk_privacy/regex/regex.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::pii_detector {
namespace {

using anonymization::OperatorConfig;
using anonymization::ParamValue;
using recognition::Pattern;
using recognition::PatternRecognizer;

constexpr double kDefaultScore = 0.85;
const std::vector<std::string> kLanguages = {"id", "en"};

// The parameters each operator takes in a file ("custom" needs code).
const std::map<std::string, std::set<std::string>>& operator_parameters() {
  static const std::map<std::string, std::set<std::string>> parameters = {
      {"replace", {"new_value"}},
      {"redact", {}},
      {"mask", {"masking_char", "chars_to_mask", "from_end"}},
      {"hash", {"hash_type"}},
      {"encrypt", {"key"}},
      {"keep", {}},
  };
  return parameters;
}

std::string join(const std::set<std::string>& words) {
  std::string out;
  for (const std::string& w : words) out += (out.empty() ? "" : ", ") + w;
  return out;
}

std::string kind_of(const YAML::Node& node) {
  switch (node.Type()) {
    case YAML::NodeType::Scalar: return "a string";
    case YAML::NodeType::Sequence: return "a list";
    case YAML::NodeType::Map: return "a mapping";
    default: return "nothing";
  }
}

std::optional<bool> plain_bool(const std::string& s) {
  if (s == "true" || s == "True" || s == "TRUE") return true;
  if (s == "false" || s == "False" || s == "FALSE") return false;
  return std::nullopt;
}

bool all_of_digits(std::string_view s, int base) {
  if (s.empty()) return false;
  for (char c : s) {
    const bool ok = base == 16 ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                    : base == 8 ? c >= '0' && c <= '7'
                                : c >= '0' && c <= '9';
    if (!ok) return false;
  }
  return true;
}

// The integer a plain scalar writes (decimal with an optional sign, 0x hex
// or 0o octal); nullopt when it is no integer. Throws std::out_of_range for
// one beyond 64 bits.
std::optional<int64_t> plain_int(const std::string& s) {
  std::string_view digits = s;
  int base = 10;
  if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'o')) {
    base = digits[1] == 'x' ? 16 : 8;
    digits.remove_prefix(2);
  }
  std::string_view unsigned_part = digits;
  if (base == 10 && !unsigned_part.empty() && (unsigned_part[0] == '-' || unsigned_part[0] == '+')) {
    unsigned_part.remove_prefix(1);
  }
  if (!all_of_digits(unsigned_part, base)) return std::nullopt;
  if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
  int64_t value = 0;
  auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, base);
  if (error != std::errc() || end != digits.data() + digits.size()) throw std::out_of_range("integer out of range");
  return value;
}

// The number a plain scalar writes (YAML's float forms, including .inf and
// .nan); nullopt when it is no number.
std::optional<double> plain_float(const std::string& s) {
  std::string_view body = s;
  const bool negative = !body.empty() && body[0] == '-';
  if (!body.empty() && (body[0] == '-' || body[0] == '+')) body.remove_prefix(1);
  if (body == ".inf" || body == ".Inf" || body == ".INF") return negative ? -HUGE_VAL : HUGE_VAL;
  if (s == ".nan" || s == ".NaN" || s == ".NAN") return std::nan("");
  // [0-9]+(.[0-9]*)? or .[0-9]+, then an optional exponent.
  size_t i = 0, digits = 0;
  while (i < body.size() && std::isdigit(static_cast<unsigned char>(body[i]))) ++i, ++digits;
  if (i < body.size() && body[i] == '.') {
    ++i;
    while (i < body.size() && std::isdigit(static_cast<unsigned char>(body[i]))) ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < body.size() && (body[i] == 'e' || body[i] == 'E')) {
    ++i;
    if (i < body.size() && (body[i] == '-' || body[i] == '+')) ++i;
    if (!all_of_digits(body.substr(i), 10)) return std::nullopt;
    i = body.size();
  }
  if (i != body.size()) return std::nullopt;
  // from_chars, unlike strtod, ignores the C locale's decimal separator.
  double value = 0;
  std::from_chars(body.data(), body.data() + body.size(), value);
  return negative ? -value : value;
}

class Parser {
 public:
  explicit Parser(std::string source) : source_(std::move(source)) {}

  PrivacyConfig parse(const std::string& yaml) {
    std::vector<YAML::Node> documents;
    try {
      documents = YAML::LoadAll(yaml);
    } catch (const YAML::Exception& e) {
      throw at(e.mark, e.msg);
    }
    PrivacyConfig config;
    if (documents.empty()) return config;
    if (documents.size() > 1) fail(documents[1], "a configuration file holds one YAML document, not several");
    const YAML::Node& root = documents.front();
    if (root.IsNull()) return config;
    if (!root.IsMap()) {
      fail(root, "a configuration is a mapping with recognizers, deny_lists, allow_list and operators, not " +
                     kind_of(root));
    }
    // An empty section is an empty list or mapping.
    for (const auto& [key, value] : entries(root, {"recognizers", "deny_lists", "allow_list", "operators"},
                                           "the configuration", true)) {
      if (key == "recognizers") {
        for (const YAML::Node& r : list(value, "recognizers")) add_recognizer(r, config);
      } else if (key == "deny_lists") {
        add_deny_lists(value, config);
      } else if (key == "allow_list") {
        for (const YAML::Node& word : list(value, "allow_list")) {
          config.allow_list.push_back(text(word, "an allow_list entry"));
        }
      } else {
        add_operators(value, config);
      }
    }
    return config;
  }

 private:
  ConfigError at(const YAML::Mark& mark, const std::string& message) const {
    if (mark.is_null()) return ConfigError(source_, 0, 0, message);
    return ConfigError(source_, static_cast<size_t>(mark.line) + 1, static_cast<size_t>(mark.column) + 1, message);
  }

  [[noreturn]] void fail(const YAML::Node& node, const std::string& message) const { throw at(node.Mark(), message); }

  // A key without a value: YAML marks the missing value where the next
  // token starts, so the key itself is the place to name.
  void check_has_value(const YAML::Node& key, const YAML::Node& value) const {
    if (value.IsNull()) fail(key, "'" + key.Scalar() + "' has no value");
  }

  // The pairs of a mapping in order, keyed by their text, after checking
  // that every key is a known one, none repeats, and (unless `may_be_empty`)
  // each has a value.
  std::vector<std::pair<std::string, YAML::Node>> entries(const YAML::Node& map, const std::set<std::string>& known,
                                                          const std::string& what, bool may_be_empty = false) const {
    std::vector<std::pair<std::string, YAML::Node>> out;
    std::set<std::string> seen;
    for (const auto& pair : map) {
      const std::string key = text(pair.first, "a key");
      if (known.count(key) == 0) {
        fail(pair.first, "unknown key '" + key + "' in " + what + " (expected " + join(known) + ")");
      }
      if (!seen.insert(key).second) fail(pair.first, "'" + key + "' appears twice in " + what);
      if (!may_be_empty) check_has_value(pair.first, pair.second);
      out.emplace_back(key, pair.second);
    }
    return out;
  }

  // The values of a mapping's known keys, by key (see entries). Nodes are
  // kept by copy: assigning to a YAML::Node would change the node it refers to.
  using Fields = std::map<std::string, YAML::Node>;
  Fields fields(const YAML::Node& map, const std::set<std::string>& known, const std::string& what) const {
    Fields out;
    for (auto& [key, value] : entries(map, known, what)) out.emplace(key, value);
    return out;
  }

  static const YAML::Node* field(const Fields& fields, const std::string& key) {
    auto it = fields.find(key);
    return it == fields.end() ? nullptr : &it->second;
  }

  // A mapping whose keys are entity types (or DEFAULT), in order.
  std::vector<std::pair<std::string, YAML::Node>> typed_entries(const YAML::Node& map, const std::string& what) const {
    std::vector<std::pair<std::string, YAML::Node>> out;
    if (map.IsNull()) return out;
    if (!map.IsMap()) fail(map, what + " must be a mapping of entity types, not " + kind_of(map));
    std::set<std::string> seen;
    for (const auto& pair : map) {
      const std::string type = entity_type(pair.first);
      if (!seen.insert(type).second) fail(pair.first, "'" + type + "' appears twice in " + what);
      check_has_value(pair.first, pair.second);
      out.emplace_back(type, pair.second);
    }
    return out;
  }

  std::vector<YAML::Node> list(const YAML::Node& node, const std::string& what) const {
    if (node.IsNull()) return {};
    if (!node.IsSequence()) fail(node, what + " must be a list, not " + kind_of(node));
    return {node.begin(), node.end()};
  }

  std::string text(const YAML::Node& node, const std::string& what) const {
    if (!node.IsScalar()) fail(node, what + " must be a string, not " + kind_of(node));
    const std::string& s = node.Scalar();
    if (s.empty()) fail(node, what + " is empty");
    if (find_invalid_utf8(s) != std::string_view::npos) fail(node, what + " is not valid UTF-8");
    return s;
  }

  std::vector<std::string> texts(const YAML::Node& node, const std::string& what, const std::string& item) const {
    std::vector<std::string> out;
    for (const YAML::Node& n : list(node, what)) out.push_back(text(n, item));
    return out;
  }

  std::string entity_type(const YAML::Node& node) const {
    const std::string type = text(node, "an entity type");
    for (char c : type) {
      if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_')) {
        fail(node, "'" + type + "' is not an entity type name (capital letters, digits and _, as in EMPLOYEE_ID)");
      }
    }
    return type;
  }

  // A scalar typed as YAML's core schema reads it: quoted (or tagged !!str)
  // it is a string; plain, it is a boolean, an integer or a number when it
  // is written as one, a string otherwise. The tags !!bool, !!int and
  // !!float insist on their type.
  ParamValue typed(const YAML::Node& node, const std::string& what) const {
    if (!node.IsScalar()) fail(node, what + " must be a single value, not " + kind_of(node));
    const std::string& s = node.Scalar();
    if (find_invalid_utf8(s) != std::string_view::npos) fail(node, what + " is not valid UTF-8");
    const std::string& tag = node.Tag();
    if (tag == "!" || tag == "tag:yaml.org,2002:str") return s;
    const bool plain = tag == "?";
    if (!plain && tag != "tag:yaml.org,2002:bool" && tag != "tag:yaml.org,2002:int" &&
        tag != "tag:yaml.org,2002:float") {
      fail(node, what + " has the tag " + tag + "; only !!str, !!bool, !!int and !!float are known");
    }
    if (plain || tag == "tag:yaml.org,2002:bool") {
      if (std::optional<bool> b = plain_bool(s)) return *b;
    }
    if (plain || tag == "tag:yaml.org,2002:int") {
      try {
        if (std::optional<int64_t> i = plain_int(s)) return *i;
      } catch (const std::out_of_range&) {
        fail(node, what + ": " + s + " does not fit in 64 bits");
      }
    }
    if (plain || tag == "tag:yaml.org,2002:float") {
      if (std::optional<double> d = plain_float(s)) return *d;
    }
    if (!plain) fail(node, what + ": '" + s + "' is not a value of the tag " + tag);
    return s;
  }

  double score(const YAML::Node& node) const {
    const ParamValue value = typed(node, "score");
    double number = 0;
    if (const auto* i = std::get_if<int64_t>(&value)) {
      number = static_cast<double>(*i);
    } else if (const auto* d = std::get_if<double>(&value)) {
      number = *d;
    } else {
      fail(node, "score must be a number from 0 to 1, not '" + node.Scalar() + "'");
    }
    if (!(number >= 0.0 && number <= 1.0)) fail(node, "score " + node.Scalar() + " is not between 0 and 1");
    return number;
  }

  Pattern pattern(const YAML::Node* name, const YAML::Node& regex, const YAML::Node* score_node,
                  const std::string& default_name) const {
    Pattern p(name ? text(*name, "a pattern name") : default_name, text(regex, "regex"),
              score_node ? score(*score_node) : kDefaultScore);
    try {
      regex::Regex compiled(p.regex, regex::kDefaultFlags);
    } catch (const std::invalid_argument& e) {
      fail(regex, std::string("the regex does not compile: ") + e.what());
    }
    return p;
  }

  void add_recognizer(const YAML::Node& node, PrivacyConfig& config) const {
    if (!node.IsMap()) fail(node, "a recognizer must be a mapping with entity_type and patterns, not " + kind_of(node));
    const Fields f = fields(node, {"name", "entity_type", "patterns", "regex", "score", "context", "languages"},
                            "a recognizer");
    const YAML::Node *name = field(f, "name"), *type = field(f, "entity_type"), *patterns = field(f, "patterns"),
                     *regex = field(f, "regex"), *score_node = field(f, "score"), *context = field(f, "context"),
                     *languages = field(f, "languages");
    if (type == nullptr) fail(node, "a recognizer needs an entity_type");
    const std::string entity = entity_type(*type);
    const std::string recognizer_name = name ? text(*name, "a recognizer name") : entity + " pattern";

    std::vector<Pattern> found;
    if (patterns && regex) fail(*regex, "a recognizer has either patterns or a single regex, not both");
    if (patterns) {
      if (score_node) fail(*score_node, "with patterns, each pattern has its own score");
      for (const YAML::Node& p : list(*patterns, "patterns")) {
        if (!p.IsMap()) fail(p, "a pattern must be a mapping with regex and score, not " + kind_of(p));
        const Fields pf = fields(p, {"name", "regex", "score"}, "a pattern");
        const YAML::Node* pattern_regex = field(pf, "regex");
        if (pattern_regex == nullptr) fail(p, "a pattern needs a regex");
        found.push_back(pattern(field(pf, "name"), *pattern_regex, field(pf, "score"), recognizer_name));
      }
      if (found.empty()) fail(*patterns, "patterns must list at least one pattern");
    } else if (regex) {
      found.push_back(pattern(nullptr, *regex, score_node, recognizer_name));
    } else {
      fail(node, "a recognizer needs patterns, or a regex");
    }

    const std::vector<std::string> words =
        context ? texts(*context, "context", "a context word") : std::vector<std::string>{};
    std::vector<std::string> wanted = kLanguages;
    if (languages) {
      wanted.clear();
      for (const YAML::Node& l : list(*languages, "languages")) {
        const std::string language = text(l, "a language");
        if (std::find(kLanguages.begin(), kLanguages.end(), language) == kLanguages.end()) {
          fail(l, "unknown language '" + language + "' (expected id or en)");
        }
        if (std::find(wanted.begin(), wanted.end(), language) != wanted.end()) {
          fail(l, "language '" + language + "' appears twice");
        }
        wanted.push_back(language);
      }
      if (wanted.empty()) fail(*languages, "languages must name at least one language");
    }
    for (const std::string& language : wanted) {
      try {
        config.recognizers.push_back(
            std::make_shared<PatternRecognizer>(entity, found, language, words, std::vector<std::string>{}, recognizer_name));
      } catch (const std::invalid_argument& e) {
        fail(node, e.what());
      }
    }
  }

  void add_deny_lists(const YAML::Node& node, PrivacyConfig& config) const {
    std::vector<std::pair<std::string, std::vector<std::string>>> lists;
    for (const auto& [type, words] : typed_entries(node, "deny_lists")) {
      std::vector<std::string> terms = texts(words, "the deny list of " + type, "a deny-list word");
      if (terms.empty()) fail(words, "the deny list of " + type + " is empty");
      lists.emplace_back(type, std::move(terms));
    }
    for (const std::string& language : kLanguages) {
      for (const auto& [type, terms] : lists) {
        config.recognizers.push_back(std::make_shared<PatternRecognizer>(
            type, std::vector<Pattern>{}, language, std::vector<std::string>{}, terms, "deny list of " + type));
      }
    }
  }

  void add_operators(const YAML::Node& node, PrivacyConfig& config) const {
    for (const auto& [type, operator_node] : typed_entries(node, "operators")) {
      if (!operator_node.IsMap()) fail(operator_node, "the operator of " + type + " must be a mapping with a type, not " + kind_of(operator_node));
      std::optional<std::string> name;
      for (const auto& pair : operator_node) {
        if (pair.first.IsScalar() && pair.first.Scalar() == "type") {
          check_has_value(pair.first, pair.second);
          name = text(pair.second, "an operator type");
          if (name == "custom") fail(pair.second, "the custom operator needs code; a configuration file cannot give it");
          if (operator_parameters().count(*name) == 0) {
            std::set<std::string> names;
            for (const auto& [known, unused] : operator_parameters()) names.insert(known);
            fail(pair.second, "unknown operator '" + *name + "' (expected " + join(names) + ")");
          }
        }
      }
      if (!name) fail(operator_node, "the operator of " + type + " needs a type");
      std::set<std::string> known = operator_parameters().at(*name);
      known.insert("type");
      anonymization::Params params;
      std::vector<std::pair<std::string, YAML::Node>> given = entries(operator_node, known, "a " + *name + " operator");
      for (const auto& [key, value] : given) {
        if (key != "type") params.emplace(key, typed(value, "parameter " + key));
      }
      try {
        config.operators.insert_or_assign(type, OperatorConfig(*name, std::move(params)));
      } catch (const std::invalid_argument& e) {
        // OperatorConfig names the parameter it refuses as 'name': point at
        // that parameter when it was given, at the operator otherwise.
        const std::string message = e.what();
        const YAML::Node* where = &operator_node;
        for (const auto& [key, value] : given) {
          if (key != "type" && message.find("'" + key + "'") != std::string::npos) where = &value;
        }
        fail(*where, message);
      }
    }
  }

  std::string source_;
};

std::string describe_position(const std::string& source, size_t line, size_t column, const std::string& message) {
  std::string out = source;
  if (line > 0) out += ":" + std::to_string(line) + ":" + std::to_string(column);
  return out + ": " + message;
}

}  // namespace

ConfigError::ConfigError(const std::string& source, size_t line, size_t column, const std::string& message)
    : std::invalid_argument(describe_position(source, line, column, message)),
      source_(source),
      line_(line),
      column_(column) {}

PrivacyConfig parse_privacy_config(const std::string& yaml, const std::string& source) {
  return Parser(source).parse(yaml);
}

PrivacyConfig load_privacy_config(const std::string& path) {
  std::error_code ignored;
  if (std::filesystem::is_directory(path, ignored)) throw ConfigError(path, 0, 0, "a folder, not a file");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ConfigError(path, 0, 0, std::string("cannot open the file: ") + std::strerror(errno));
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw ConfigError(path, 0, 0, "cannot read the file");
  return parse_privacy_config(content, path);
}

}  // namespace tesk_privacy::pii_detector
