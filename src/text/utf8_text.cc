#include "tesk_privacy/text/utf8_text.h"

#include <algorithm>
#include <bit>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tesk_privacy {
namespace {

// Bit i set where bytes[i] (i < count <= 64) is an ASCII digit or >= 0x80;
// `non_ascii` becomes true when some byte is >= 0x80.
uint64_t digit_bits_of(const unsigned char* bytes, size_t count, bool& non_ascii) {
  uint64_t bits = 0;
#if defined(__SSE2__)
  if (count == 64) {
    for (int chunk = 0; chunk < 4; ++chunk) {
      const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + 16 * chunk));
      // x - '0' is at most 9, unsigned, exactly for the ten digits.
      const __m128i offset = _mm_sub_epi8(x, _mm_set1_epi8('0'));
      const __m128i digit = _mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(9)), offset);
      const int high = _mm_movemask_epi8(x);
      non_ascii = non_ascii || high != 0;
      const auto chunk_bits = static_cast<uint16_t>(_mm_movemask_epi8(digit) | high);
      bits |= static_cast<uint64_t>(chunk_bits) << (16 * chunk);
    }
    return bits;
  }
#endif
  for (size_t i = 0; i < count; ++i) {
    const unsigned char c = bytes[i];
    non_ascii = non_ascii || c >= 0x80;
    if (c >= 0x80 || (c >= '0' && c <= '9')) bits |= uint64_t{1} << i;
  }
  return bits;
}

}  // namespace

InvalidUtf8Error::InvalidUtf8Error(size_t byte_offset)
    : std::invalid_argument("text is not valid UTF-8: invalid byte sequence at byte offset " +
                            std::to_string(byte_offset)),
      byte_offset_(byte_offset) {}

size_t find_invalid_utf8(std::string_view s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  size_t i = 0;
  while (i < n) {
    unsigned char c = p[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    size_t len;
    unsigned char lo = 0x80, hi = 0xBF;  // bounds of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;        // no overlong forms
      else if (c == 0xED) hi = 0x9F;   // no surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      else if (c == 0xF4) hi = 0x8F;   // nothing above U+10FFFF
    } else {
      return i;
    }
    if (i + 1 >= n || p[i + 1] < lo || p[i + 1] > hi) return i;
    for (size_t k = 2; k < len; ++k) {
      if (i + k >= n || (p[i + k] & 0xC0) != 0x80) return i;
    }
    i += len;
  }
  return std::string_view::npos;
}

void check_utf8(std::string_view bytes) {
  size_t bad = find_invalid_utf8(bytes);
  if (bad != std::string_view::npos) throw InvalidUtf8Error(bad);
}

size_t utf8_length(std::string_view s) {
  size_t n = 0;
  for (unsigned char c : s) n += (c & 0xC0) != 0x80;
  return n;
}

char32_t decode_utf8(std::string_view s, size_t& pos) {
  auto c = static_cast<unsigned char>(s[pos]);
  if (c < 0x80) {
    ++pos;
    return c;
  }
  int len = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
  char32_t cp = c & (0x3F >> (len - 1));
  for (int k = 1; k < len && pos + k < s.size(); ++k) {
    cp = (cp << 6) | (static_cast<unsigned char>(s[pos + k]) & 0x3F);
  }
  pos += len;
  return cp;
}

void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

Utf8Text::Utf8Text(std::string text) : text_(std::move(text)) {
  check_utf8(text_);
  if (text_.size() > std::numeric_limits<uint32_t>::max()) {
    throw std::length_error("text larger than 4 GiB is not supported");
  }
  const auto* bytes = reinterpret_cast<const unsigned char*>(text_.data());
  bool non_ascii = false;
  for (size_t start = 0; start < text_.size(); start += 64) {
    uint64_t bits = digit_bits_of(bytes + start, std::min<size_t>(64, text_.size() - start), non_ascii);
    while (bits != 0) {
      const int first = std::countr_zero(bits);
      const int ones = std::countr_one(bits >> first);
      const auto begin = static_cast<uint32_t>(start + first);
      const auto end = static_cast<uint32_t>(begin + ones);
      if (!digit_runs_.empty() && digit_runs_.back().end == begin) {
        digit_runs_.back().end = end;  // a run across the edge of two blocks
      } else {
        digit_runs_.push_back({begin, end});
      }
      bits = first + ones >= 64 ? 0 : bits & (~uint64_t{0} << (first + ones));
    }
  }
  for (const DigitRun& run : digit_runs_) {
    if (run.end - run.begin >= kLongDigitRun) long_digit_runs_.push_back(run);
  }
  if (!non_ascii) {
    length_ = text_.size();
    return;
  }
  const size_t size = text_.size();
  cp_to_byte_.reserve(size + 1);
  blocks_.reserve(size / 64 + 1);
  for (size_t start = 0; start < size; start += 64) {
    Block block{static_cast<uint32_t>(cp_to_byte_.size()), 0};
    for (size_t i = start; i < std::min(start + 64, size); ++i) {
      if ((static_cast<unsigned char>(text_[i]) & 0xC0) == 0x80) continue;
      cp_to_byte_.push_back(static_cast<uint32_t>(i));
      block.starts |= uint64_t{1} << (i - start);
    }
    blocks_.push_back(block);
  }
  length_ = cp_to_byte_.size();
  cp_to_byte_.push_back(static_cast<uint32_t>(size));
}

size_t Utf8Text::byte_to_cp(size_t byte_offset) const {
  if (is_ascii()) return std::min(byte_offset, text_.size());
  if (byte_offset >= text_.size()) return length_;
  // The characters starting in the offset's block up to and including the
  // offset, less one: the index of the character that starts at the offset
  // or that the offset lies inside.
  const Block& block = blocks_[byte_offset / 64];
  const uint64_t upto = (uint64_t{2} << (byte_offset % 64)) - 1;  // wraps to all bits at 63
  return block.before + static_cast<size_t>(std::popcount(block.starts & upto)) - 1;
}

size_t Utf8Text::cp_to_byte(size_t cp_offset) const {
  if (cp_offset >= length_) return text_.size();
  return is_ascii() ? cp_offset : cp_to_byte_[cp_offset];
}

std::string_view Utf8Text::slice(size_t start_cp, size_t end_cp) const {
  if (end_cp <= start_cp) return {};
  size_t b = cp_to_byte(start_cp);
  size_t e = cp_to_byte(end_cp);
  return std::string_view(text_).substr(b, e - b);
}

}  // namespace tesk_privacy
