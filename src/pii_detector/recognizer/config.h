// Configuration of the transformer recognizer: a map of upper-case keys to
// values of a few kinds, kept in the order it was written, and the table
// MERROW_BERT_CONFIGURATION that supplies the defaults.
//
//   Configuration config = MERROW_BERT_CONFIGURATION;
//   set_config(config, "TOKENIZATION_LEVEL", std::string("word"));
//   recognizer.load_transformer(config);
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "tesk_privacy/core/ordered_map.h"

namespace tesk_privacy::pii_detector {

using ConfigValue =
    std::variant<bool, int64_t, double, std::string, std::vector<std::string>, OrderedMap<std::string>>;
using Configuration = std::vector<std::pair<std::string, ConfigValue>>;

// The value under `key`, or nullptr.
const ConfigValue* find_config(const Configuration& config, std::string_view key);
// Replaces the value under `key`, or appends the key.
void set_config(Configuration& config, std::string key, ConfigValue value);

// A value as Python's str() writes it: "True", "8192", "0.4", "auto",
// "['O']", "{'PER': 'PERSON'}".
std::string config_value_to_string(const ConfigValue& value);

// The value as Python's int() converts it: integers as they are, booleans
// 1 or 0, floating point truncated, text in base 10 with optional blanks
// and sign. Throws std::invalid_argument otherwise.
int64_t config_value_to_int(const ConfigValue& value);

// False-like as Python sees it: false, 0, 0.0, empty text, list or map.
bool config_value_is_false(const ConfigValue& value);

// The defaults for the merrow/VizeVavo-ner-v1.3 model, in this order:
// PRESIDIO_SUPPORTED_ENTITIES, DEFAULT_MODEL_PATH, LABELS_TO_IGNORE,
// DEFAULT_EXPLANATION, SUB_WORD_AGGREGATION, MODEL_TO_PRESIDIO_MAPPING,
// CHUNK_SIZE, ID_SCORE_MULTIPLIER, ID_ENTITY_NAME, USE_OPTIMUM,
// OPTIMUM_BACKEND, OPTIMUM_DEVICE, ONNX_INTRA_OP_THREADS,
// ONNX_INTER_OP_THREADS, OPENVINO_PERFORMANCE_HINT, OPENVINO_NUM_STREAMS,
// OPENVINO_INFERENCE_NUM_THREADS.
extern const Configuration MERROW_BERT_CONFIGURATION;

}  // namespace tesk_privacy::pii_detector
