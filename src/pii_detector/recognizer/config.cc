#include "pii_detector/recognizer/config.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <stdexcept>

namespace tesk_privacy::pii_detector {
namespace {

std::string quoted(const std::string& s) {
  // Python's repr of a str: single quotes unless the text holds one.
  const char q = s.find('\'') != std::string::npos && s.find('"') == std::string::npos ? '"' : '\'';
  std::string out(1, q);
  for (char c : s) {
    if (c == q || c == '\\') out += '\\';
    out += c;
  }
  return out + q;
}

}  // namespace

const ConfigValue* find_config(const Configuration& config, std::string_view key) {
  for (const auto& [k, v] : config) {
    if (k == key) return &v;
  }
  return nullptr;
}

void set_config(Configuration& config, std::string key, ConfigValue value) {
  for (auto& [k, v] : config) {
    if (k == key) {
      v = std::move(value);
      return;
    }
  }
  config.emplace_back(std::move(key), std::move(value));
}

std::string config_value_to_string(const ConfigValue& value) {
  struct Visitor {
    std::string operator()(bool b) const { return b ? "True" : "False"; }
    std::string operator()(int64_t i) const { return std::to_string(i); }
    std::string operator()(double d) const {
      if (std::isnan(d)) return "nan";
      if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
      char buf[32];
      auto [end, ec] = std::to_chars(buf, buf + sizeof buf, d);
      std::string s(buf, end);
      if (s.find_first_of(".e") == std::string::npos) s += ".0";
      return s;
    }
    std::string operator()(const std::string& s) const { return s; }
    std::string operator()(const std::vector<std::string>& list) const {
      std::string out = "[";
      for (size_t i = 0; i < list.size(); ++i) out += (i ? ", " : "") + quoted(list[i]);
      return out + "]";
    }
    std::string operator()(const OrderedMap<std::string>& map) const {
      std::string out = "{";
      bool first = true;
      for (const auto& [k, v] : map) {
        out += (first ? "" : ", ") + quoted(k) + ": " + quoted(v);
        first = false;
      }
      return out + "}";
    }
  };
  return std::visit(Visitor{}, value);
}

int64_t config_value_to_int(const ConfigValue& value) {
  if (const auto* b = std::get_if<bool>(&value)) return *b ? 1 : 0;
  if (const auto* i = std::get_if<int64_t>(&value)) return *i;
  if (const auto* d = std::get_if<double>(&value)) {
    if (!std::isfinite(*d)) throw std::invalid_argument("cannot convert float " + config_value_to_string(*d) + " to integer");
    return static_cast<int64_t>(*d);
  }
  if (const auto* s = std::get_if<std::string>(&value)) {
    size_t a = 0, b = s->size();
    while (a < b && std::isspace(static_cast<unsigned char>((*s)[a]))) ++a;
    while (b > a && std::isspace(static_cast<unsigned char>((*s)[b - 1]))) --b;
    std::string digits = s->substr(a, b - a);
    if (!digits.empty() && digits[0] == '+') digits.erase(0, 1);
    int64_t out = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), out);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size()) {
      throw std::invalid_argument("invalid literal for int() with base 10: " + quoted(*s));
    }
    return out;
  }
  throw std::invalid_argument("int() argument must be a string or a number, not " + config_value_to_string(value));
}

bool config_value_is_false(const ConfigValue& value) {
  struct Visitor {
    bool operator()(bool b) const { return !b; }
    bool operator()(int64_t i) const { return i == 0; }
    bool operator()(double d) const { return d == 0.0; }
    bool operator()(const std::string& s) const { return s.empty(); }
    bool operator()(const std::vector<std::string>& l) const { return l.empty(); }
    bool operator()(const OrderedMap<std::string>& m) const { return m.empty(); }
  };
  return std::visit(Visitor{}, value);
}

const Configuration MERROW_BERT_CONFIGURATION = {
    {"PRESIDIO_SUPPORTED_ENTITIES",
     std::vector<std::string>{"LOCATION", "PERSON", "ORGANIZATION", "AGE", "PHONE_NUMBER", "EMAIL", "DATE_TIME", "ZIP",
                              "PROFESSION", "USERNAME", "ID"}},
    {"DEFAULT_MODEL_PATH", std::string("merrow/VizeVavo-ner-v1.3")},
    {"LABELS_TO_IGNORE", std::vector<std::string>{"CRD", "LAW", "O", "PRD", "ORD", "EVT"}},
    {"DEFAULT_EXPLANATION", std::string("Identified as {} by the merrow/VizeVavo-ner-v1.3 NER model")},
    {"SUB_WORD_AGGREGATION", std::string("simple")},
    {"MODEL_TO_PRESIDIO_MAPPING",
     OrderedMap<std::string>{
         {"PER", "PERSON"}, {"LOC", "LOCATION"}, {"GPE", "LOCATION"}, {"ORG", "ORGANIZATION"}}},
    {"CHUNK_SIZE", int64_t{8192}},
    {"ID_SCORE_MULTIPLIER", 0.4},
    {"ID_ENTITY_NAME", std::string("ID")},
    {"USE_OPTIMUM", true},
    {"OPTIMUM_BACKEND", std::string("auto")},
    {"OPTIMUM_DEVICE", std::string("auto")},
    {"ONNX_INTRA_OP_THREADS", int64_t{0}},
    {"ONNX_INTER_OP_THREADS", int64_t{0}},
    {"OPENVINO_PERFORMANCE_HINT", std::string("THROUGHPUT")},
    {"OPENVINO_NUM_STREAMS", std::string("AUTO")},
    {"OPENVINO_INFERENCE_NUM_THREADS", int64_t{0}},
};

}  // namespace tesk_privacy::pii_detector
