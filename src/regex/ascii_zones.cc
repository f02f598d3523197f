#include "regex/ascii_zones.h"

#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tesk_privacy::regex::internal {

namespace {

// Zones less than this many bytes apart become one: trying the bytes in
// between with the Unicode-aware code costs less than two more PCRE2 calls.
constexpr size_t kMergeGap = 64;

}  // namespace

AsciiZones::AsciiZones(std::string_view text, const std::array<bool, 256>& examined, size_t lookbehind)
    : text_(text), examined_(examined), lookbehind_(lookbehind), seed_(next_non_ascii(0)) {}

size_t AsciiZones::next_non_ascii(size_t from) const {
  const size_t size = text_.size();
  const auto* p = reinterpret_cast<const unsigned char*>(text_.data());
#if defined(__SSE2__)
  for (; from + 16 <= size; from += 16) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + from));
    const auto high = static_cast<unsigned>(_mm_movemask_epi8(chunk));
    if (high != 0) return from + static_cast<size_t>(std::countr_zero(high));
  }
#endif
  while (from < size && p[from] < 0x80) ++from;
  return from;
}

size_t AsciiZones::after_lookbehind(size_t from) const {
  const size_t size = text_.size();
  for (size_t k = 0; k < lookbehind_; ++k) {
    if (from >= size) return size + 1;  // the attempt at the text's end is in reach
    ++from;
    while (from < size && (static_cast<unsigned char>(text_[from]) & 0xC0) == 0x80) ++from;
  }
  return from;
}

std::pair<size_t, size_t> AsciiZones::next(size_t pos) {
  const size_t size = text_.size();
  while (end_ <= pos) {
    if (seed_ >= size) return {npos, npos};
    const size_t floor = end_;
    size_t start = seed_;
    while (start > floor && static_cast<unsigned char>(text_[start - 1]) < 0x80 &&
           examined_[static_cast<unsigned char>(text_[start - 1])]) {
      --start;
    }
    // The zone reaches past every non-ASCII character it holds or that
    // follows within the merge gap.
    size_t end = 0, x = seed_;
    while (x < size && (end == 0 || x < end + kMergeGap)) {
      size_t after = x + 1;
      while (after < size && (static_cast<unsigned char>(text_[after]) & 0xC0) == 0x80) ++after;
      end = std::max(end, after_lookbehind(after));
      x = next_non_ascii(after);
    }
    start_ = start;
    end_ = end;
    seed_ = x;
  }
  return {start_, end_};
}

}  // namespace tesk_privacy::regex::internal
