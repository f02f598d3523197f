#include "pii_detector/store/mapping_text.h"

#include <algorithm>
#include <functional>
#include <nlohmann/json.hpp>

namespace tesk_privacy::pii_detector {

namespace {

std::string json_string(const std::string& s) { return nlohmann::json(s).dump(); }

uint64_t entry_hash(const std::string& type, const std::string& key) {
  const uint64_t h = std::hash<std::string>()(type) * 0x9E3779B97F4A7C15ULL ^ std::hash<std::string>()(key);
  return h == 0 ? 1 : h;
}

size_t slot_of(const std::vector<uint64_t>& table, uint64_t hash) {
  const size_t mask = table.size() - 1;
  size_t slot = static_cast<size_t>(hash * 0x9E3779B97F4A7C15ULL >> 32) & mask;
  while (table[slot] != 0 && table[slot] != hash) slot = (slot + 1) & mask;
  return slot;
}

}  // namespace

bool MappingText::maybe_added(uint64_t hash) const { return !hashes_.empty() && hashes_[slot_of(hashes_, hash)] == hash; }

void MappingText::remember(uint64_t hash) {
  if (2 * (hash_count_ + 1) > hashes_.size()) {
    std::vector<uint64_t> grown(std::max<size_t>(64, 2 * hashes_.size()), 0);
    for (uint64_t h : hashes_) {
      if (h != 0) grown[slot_of(grown, h)] = h;
    }
    hashes_ = std::move(grown);
  }
  uint64_t& slot = hashes_[slot_of(hashes_, hash)];
  if (slot == 0) ++hash_count_;
  slot = hash;
}

bool MappingText::replace_value(std::string& lines, const std::string& key_json, const std::string& value_json) {
  // A line is '    "key": "value"'; escaped strings hold no line break, so
  // the key at the start of a line cannot be part of another entry.
  const std::string head = "    " + key_json + ": ";
  size_t at = 0;
  if (lines.compare(0, head.size(), head) != 0) {
    at = lines.find("\n" + head);
    if (at == std::string::npos) return false;
    ++at;
  }
  const size_t value = at + head.size();
  const size_t line_break = lines.find('\n', value);
  const size_t end = line_break == std::string::npos ? lines.size() : line_break - 1;  // before the ','
  lines.replace(value, end - value, value_json);
  return true;
}

void MappingText::append(const MappingDataType& added) {
  for (const auto& [type, inner] : added) {
    auto [it, is_new] = type_index_.try_emplace(type, types_.size());
    if (is_new) types_.push_back(Type{"  " + json_string(type) + ": ", ""});
    std::string& lines = types_[it->second].lines;
    for (const auto& [key, value] : inner) {
      const uint64_t hash = entry_hash(type, key);
      const std::string key_json = json_string(key);
      if (maybe_added(hash) && replace_value(lines, key_json, json_string(value))) continue;
      if (!lines.empty()) lines += ",\n";
      lines += "    ";
      lines += key_json;
      lines += ": ";
      lines += json_string(value);
      remember(hash);
    }
  }
}

std::vector<std::string_view> MappingText::pieces() const {
  if (types_.empty()) return {"{}\n"};
  std::vector<std::string_view> out = {"{\n"};
  for (size_t i = 0; i < types_.size(); ++i) {
    if (i > 0) out.emplace_back(",\n");
    out.emplace_back(types_[i].header);
    if (types_[i].lines.empty()) {
      out.emplace_back("{}");
      continue;
    }
    out.emplace_back("{\n");
    out.emplace_back(types_[i].lines);
    out.emplace_back("\n  }");
  }
  out.emplace_back("\n}\n");
  return out;
}

std::string MappingText::str() const {
  const std::vector<std::string_view> parts = pieces();
  size_t size = 0;
  for (std::string_view p : parts) size += p.size();
  std::string out;
  out.reserve(size);
  for (std::string_view p : parts) out.append(p);
  return out;
}

}  // namespace tesk_privacy::pii_detector
