// Hashing shared by feature extraction, the gazetteer and the trainer. The
// values end up in model files, so they must never change for a given
// model format version.
#pragma once

#include <cstdint>
#include <string_view>

namespace tesk_privacy::ner {

// The splitmix64 finaliser: a bijective mixer with good avalanche.
constexpr uint64_t mix64(uint64_t x) {
  x ^= x >> 30;
  x *= 0xBF58476D1CE4E5B9ULL;
  x ^= x >> 27;
  x *= 0x94D049BB133111EBULL;
  x ^= x >> 31;
  return x;
}

// FNV-1a over the bytes, mixed.
constexpr uint64_t hash_bytes(std::string_view s) {
  uint64_t h = 0xCBF29CE484222325ULL;
  for (const char c : s) {
    h ^= static_cast<unsigned char>(c);
    h *= 0x100000001B3ULL;
  }
  return mix64(h);
}

constexpr uint64_t hash_combine(uint64_t seed, uint64_t value) {
  return mix64(seed ^ (value + 0x9E3779B97F4A7C15ULL + (seed << 6) + (seed >> 2)));
}

// The hash of a feature: its template number with its value.
constexpr uint64_t feature_hash(uint64_t tmpl, uint64_t value) { return hash_combine(mix64(tmpl), value); }

}  // namespace tesk_privacy::ner
