// Typed reads of tokenizer-file fields with errors that name the file and
// the component.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace tesk_privacy::inference {

[[noreturn]] inline void fail_at(const std::string& origin, const std::string& what) {
  throw std::runtime_error(origin + ": " + what);
}

// "Sequence" components hold components of their own. A file that nests them
// deeper than this is refused rather than built by recursing that deep.
constexpr int kMaxSequenceNesting = 32;

inline void check_sequence_nesting(int depth, const std::string& where) {
  if (depth >= kMaxSequenceNesting) {
    fail_at(where, "nested more than " + std::to_string(kMaxSequenceNesting) + " levels deep");
  }
}

// A value as JSON for an error message, cut to 80 characters. Printing
// recurses as deep as the value nests, so a deeply nested value is described
// instead of printed.
inline std::string shown(const nlohmann::json& j) {
  constexpr size_t kMaxShownDepth = 16;
  std::vector<std::pair<const nlohmann::json*, size_t>> pending{{&j, 0}};
  while (!pending.empty()) {
    const auto [value, depth] = pending.back();
    pending.pop_back();
    if (!value->is_structured()) continue;
    if (depth >= kMaxShownDepth) {
      return "(a value nested more than " + std::to_string(kMaxShownDepth) + " levels deep)";
    }
    for (const auto& child : *value) pending.emplace_back(&child, depth + 1);
  }
  std::string text = j.dump();
  if (text.size() > 80) {
    size_t cut = 77;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;  // not inside a character
    text = text.substr(0, cut) + "...";
  }
  return text;
}

// The "type" of a component object.
inline std::string component_type(const nlohmann::json& j, const std::string& origin,
                                  const char* role) {
  if (!j.is_object() || !j.contains("type") || !j["type"].is_string()) {
    fail_at(origin, std::string(role) + " without a \"type\"");
  }
  return j["type"].get<std::string>();
}

inline bool bool_field(const nlohmann::json& j, const char* key, bool fallback, const std::string& origin) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return fallback;
  if (!it->is_boolean()) fail_at(origin, std::string("\"") + key + "\" must be true or false");
  return it->get<bool>();
}

inline std::string string_field(const nlohmann::json& j, const char* key, const std::string& fallback,
                                const std::string& origin) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return fallback;
  if (!it->is_string()) fail_at(origin, std::string("\"") + key + "\" must be a string");
  return it->get<std::string>();
}

inline std::optional<std::string> optional_string(const nlohmann::json& j, const char* key,
                                                  const std::string& origin) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return std::nullopt;
  if (!it->is_string()) fail_at(origin, std::string("\"") + key + "\" must be a string");
  return it->get<std::string>();
}

inline uint64_t uint_field(const nlohmann::json& j, const char* key, uint64_t fallback,
                           const std::string& origin) {
  auto it = j.find(key);
  if (it == j.end() || it->is_null()) return fallback;
  if (!it->is_number_unsigned()) fail_at(origin, std::string("\"") + key + "\" must be a non-negative integer");
  return it->get<uint64_t>();
}

inline const nlohmann::json& array_field(const nlohmann::json& j, const char* key, const std::string& origin) {
  auto it = j.find(key);
  if (it == j.end() || !it->is_array()) fail_at(origin, std::string("\"") + key + "\" must be a list");
  return *it;
}

// A token id as stored in the file.
inline int32_t id_value(const nlohmann::json& v, const std::string& origin, const std::string& what) {
  if (!v.is_number_unsigned() || v.get<uint64_t>() > 0x7FFFFFFF) {
    fail_at(origin, what + " must be a token id (a non-negative integer)");
  }
  return static_cast<int32_t>(v.get<uint64_t>());
}

}  // namespace tesk_privacy::inference
