#include "inference/model_config.h"

#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace tesk_privacy::inference {
namespace {

using nlohmann::json;

[[noreturn]] void fail(const std::string& origin, const std::string& what) {
  throw std::runtime_error(origin + ": " + what);
}

// The first of `keys` present in `j`, as a positive integer.
size_t size_field(const json& j, std::initializer_list<const char*> keys, const std::string& origin,
                  std::optional<size_t> fallback = std::nullopt) {
  for (const char* key : keys) {
    auto it = j.find(key);
    if (it == j.end() || it->is_null()) continue;
    if (!it->is_number_unsigned() || it->get<size_t>() == 0) {
      fail(origin, std::string("'") + key + "' must be a positive integer");
    }
    return it->get<size_t>();
  }
  if (fallback) return *fallback;
  fail(origin, std::string("missing '") + *keys.begin() + "'");
}

std::string string_field(const json& j, const char* key, const std::string& origin,
                         const std::string& fallback) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return fallback;
  if (!it->is_string()) fail(origin, std::string("'") + key + "' must be a string");
  return it->get<std::string>();
}

Activation parse_activation(const std::string& name, const std::string& origin) {
  if (name == "gelu" || name == "gelu_python") return Activation::kGelu;
  if (name == "gelu_new" || name == "gelu_pytorch_tanh" || name == "gelu_fast") return Activation::kGeluTanh;
  if (name == "quick_gelu") return Activation::kQuickGelu;
  if (name == "relu") return Activation::kRelu;
  if (name == "silu" || name == "swish") return Activation::kSilu;
  if (name == "tanh") return Activation::kTanh;
  fail(origin, "activation '" + name + "' is not supported");
}

}  // namespace

ModelConfig ModelConfig::from_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail(path.string(), "cannot open");
  std::stringstream buffer;
  buffer << in.rdbuf();
  return from_json(buffer.str(), path.string());
}

ModelConfig ModelConfig::from_json(std::string_view text, const std::string& origin) {
  json j;
  try {
    j = json::parse(text);
  } catch (const json::exception& e) {
    fail(origin, std::string("not valid JSON: ") + e.what());
  }
  if (!j.is_object()) fail(origin, "not a JSON object");

  ModelConfig c;
  if (j.contains("model_type") && j["model_type"].is_string()) {
    c.model_type = j["model_type"].get<std::string>();
  } else if (j.contains("architectures") && j["architectures"].is_array() &&
             !j["architectures"].empty() && j["architectures"][0].is_string()) {
    // Older configs name only the class, e.g. "BertForTokenClassification".
    std::string cls = j["architectures"][0].get<std::string>();
    for (const char* prefix : {"XLMRoberta", "DistilBert", "Camembert", "Roberta", "Bert"}) {
      if (cls.rfind(prefix, 0) == 0) {
        std::string p = prefix;
        c.model_type = p == "XLMRoberta" ? "xlm-roberta" : p == "DistilBert" ? "distilbert"
                     : p == "Camembert" ? "camembert" : p == "Roberta" ? "roberta" : "bert";
        break;
      }
    }
  }
  if (c.model_type == "bert") {
    c.architecture = Architecture::kBert;
  } else if (c.model_type == "roberta" || c.model_type == "xlm-roberta" || c.model_type == "camembert") {
    c.architecture = Architecture::kRoberta;
  } else if (c.model_type == "distilbert") {
    c.architecture = Architecture::kDistilBert;
  } else {
    fail(origin, "model type '" + c.model_type +
                     "' is not supported (supported: bert, roberta, xlm-roberta, camembert, distilbert)");
  }

  c.vocab_size = size_field(j, {"vocab_size"}, origin);
  c.max_position_embeddings = size_field(j, {"max_position_embeddings"}, origin, 512);
  std::string activation;
  if (c.architecture == Architecture::kDistilBert) {
    c.hidden_size = size_field(j, {"dim", "hidden_size"}, origin);
    c.num_hidden_layers = size_field(j, {"n_layers", "num_hidden_layers"}, origin);
    c.num_attention_heads = size_field(j, {"n_heads", "num_attention_heads"}, origin);
    c.intermediate_size = size_field(j, {"hidden_dim", "intermediate_size"}, origin);
    c.type_vocab_size = 0;
    c.layer_norm_eps = 1e-12f;  // fixed in this family
    activation = string_field(j, "activation", origin, "gelu");
  } else {
    c.hidden_size = size_field(j, {"hidden_size"}, origin);
    c.num_hidden_layers = size_field(j, {"num_hidden_layers"}, origin);
    c.num_attention_heads = size_field(j, {"num_attention_heads"}, origin);
    c.intermediate_size = size_field(j, {"intermediate_size"}, origin);
    c.type_vocab_size = size_field(j, {"type_vocab_size"}, origin, 2);
    if (j.contains("layer_norm_eps")) {
      if (!j["layer_norm_eps"].is_number() || j["layer_norm_eps"].get<double>() <= 0) {
        fail(origin, "'layer_norm_eps' must be a positive number");
      }
      c.layer_norm_eps = j["layer_norm_eps"].get<float>();
    }
    activation = string_field(j, "hidden_act", origin, "gelu");
    if (j.contains("position_embedding_type") && j["position_embedding_type"].is_string() &&
        j["position_embedding_type"] != "absolute") {
      fail(origin, "position_embedding_type '" + j["position_embedding_type"].get<std::string>() +
                       "' is not supported (only 'absolute')");
    }
  }
  c.activation = parse_activation(activation, origin);
  c.pad_token_id = c.architecture == Architecture::kRoberta ? 1 : 0;
  if (j.contains("pad_token_id") && j["pad_token_id"].is_number_integer()) {
    c.pad_token_id = j["pad_token_id"].get<int64_t>();
  }

  if (c.hidden_size % c.num_attention_heads != 0) {
    fail(origin, "hidden size " + std::to_string(c.hidden_size) + " is not a multiple of " +
                     std::to_string(c.num_attention_heads) + " attention heads");
  }
  if (c.architecture == Architecture::kRoberta &&
      (c.pad_token_id < 0 || static_cast<size_t>(c.pad_token_id) + 1 >= c.max_position_embeddings)) {
    fail(origin, "pad_token_id " + std::to_string(c.pad_token_id) +
                     " leaves no room in " + std::to_string(c.max_position_embeddings) +
                     " position embeddings");
  }

  if (j.contains("id2label") && j["id2label"].is_object() && !j["id2label"].empty()) {
    const json& labels = j["id2label"];
    c.id2label.resize(labels.size());
    std::vector<bool> seen(labels.size(), false);
    for (const auto& [key, value] : labels.items()) {
      size_t id = 0;
      bool numeric = !key.empty() && key.size() < 10 &&
                     key.find_first_not_of("0123456789") == std::string::npos;
      if (numeric) id = std::stoul(key);
      if (!numeric || id >= labels.size() || seen[id]) {
        fail(origin, "id2label keys must be the numbers 0 to " + std::to_string(labels.size() - 1) +
                         ", found '" + key + "'");
      }
      if (!value.is_string()) fail(origin, "id2label entry '" + key + "' is not a string");
      seen[id] = true;
      c.id2label[id] = value.get<std::string>();
    }
  } else {
    size_t n = size_field(j, {"num_labels"}, origin, 2);
    for (size_t i = 0; i < n; ++i) c.id2label.push_back("LABEL_" + std::to_string(i));
  }
  return c;
}

size_t ModelConfig::position_offset() const {
  return architecture == Architecture::kRoberta ? static_cast<size_t>(pad_token_id) + 1 : 0;
}

size_t ModelConfig::max_sequence_length() const {
  return max_position_embeddings - position_offset();
}

}  // namespace tesk_privacy::inference
