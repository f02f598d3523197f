// Integer draws from a 64-bit engine that give the same values with every
// standard library (std::uniform_int_distribution is implementation-defined).
#pragma once

#include <cstdint>
#include <limits>
#include <random>

namespace tesk_privacy::faker::internal {

// Uniform over [0, n), n > 0, by rejection: the accepted engine outputs
// [2^64 mod n, 2^64) are a whole number of blocks of n.
inline uint64_t uniform_below(std::mt19937_64& engine, uint64_t n) {
  const uint64_t threshold = (0 - n) % n;
  for (;;) {
    const uint64_t x = engine();
    if (x >= threshold) return x % n;
  }
}

// Uniform over [min, max], min <= max.
inline int64_t uniform_int(std::mt19937_64& engine, int64_t min, int64_t max) {
  const uint64_t span = static_cast<uint64_t>(max) - static_cast<uint64_t>(min);
  const uint64_t offset =
      span == std::numeric_limits<uint64_t>::max() ? engine() : uniform_below(engine, span + 1);
  return static_cast<int64_t>(static_cast<uint64_t>(min) + offset);
}

}  // namespace tesk_privacy::faker::internal
