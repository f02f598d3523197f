#include "inference/unicode_support.h"

#include <unicode/uchar.h>
#include <unicode/ustring.h>

#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::inference {

std::u32string to_u32(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  size_t pos = 0;
  while (pos < s.size()) out.push_back(decode_utf8(s, pos));
  return out;
}

std::string to_utf8(std::u32string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char32_t c : text) append_utf8(out, c);
  return out;
}

std::string utf8_lossy(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const size_t n = bytes.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char c = p[i];
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    size_t len = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) len = 2;
    else if (c >= 0xE0 && c <= 0xEF) len = 3, lo = c == 0xE0 ? 0xA0 : 0x80, hi = c == 0xED ? 0x9F : 0xBF;
    else if (c >= 0xF0 && c <= 0xF4) len = 4, lo = c == 0xF0 ? 0x90 : 0x80, hi = c == 0xF4 ? 0x8F : 0xBF;
    // Replace the longest prefix of a possible sequence with one U+FFFD.
    size_t k = 1;
    if (len > 0 && i + 1 < n && p[i + 1] >= lo && p[i + 1] <= hi) {
      k = 2;
      while (k < len && i + k < n && (p[i + k] & 0xC0) == 0x80) ++k;
    }
    if (len > 0 && k == len) {
      out.append(bytes.substr(i, len));
    } else {
      out += "\xEF\xBF\xBD";
    }
    i += k;
  }
  return out;
}

bool is_whitespace(char32_t c) {
  if (c < 0x80) return c == ' ' || (c >= 0x09 && c <= 0x0D);
  return u_isUWhiteSpace(static_cast<UChar32>(c));
}

bool is_punctuation(char32_t c) {
  if ((c >= 33 && c <= 47) || (c >= 58 && c <= 64) || (c >= 91 && c <= 96) || (c >= 123 && c <= 126)) {
    return true;
  }
  if (c < 0x80) return false;
  return (U_GET_GC_MASK(static_cast<UChar32>(c)) & U_GC_P_MASK) != 0;
}

bool is_control(char32_t c) {
  if (c == '\t' || c == '\n' || c == '\r') return false;
  auto mask = U_GET_GC_MASK(static_cast<UChar32>(c));
  return (mask & (U_GC_CC_MASK | U_GC_CF_MASK | U_GC_CN_MASK | U_GC_CO_MASK)) != 0;
}

bool is_cjk_ideograph(char32_t c) {
  return (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0x3400 && c <= 0x4DBF) ||
         (c >= 0x20000 && c <= 0x2A6DF) || (c >= 0x2A700 && c <= 0x2B73F) ||
         (c >= 0x2B740 && c <= 0x2B81F) || (c >= 0x2B920 && c <= 0x2CEAF) ||
         (c >= 0xF900 && c <= 0xFAFF) || (c >= 0x2F800 && c <= 0x2FA1F);
}

bool is_nonspacing_mark(char32_t c) {
  return c >= 0x300 && u_charType(static_cast<UChar32>(c)) == U_NON_SPACING_MARK;
}

bool is_alphanumeric(char32_t c) {
  if (c < 0x80) return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
  return u_hasBinaryProperty(static_cast<UChar32>(c), UCHAR_ALPHABETIC) ||
         (U_GET_GC_MASK(static_cast<UChar32>(c)) & U_GC_N_MASK) != 0;
}

bool is_decimal_digit(char32_t c) {
  if (c < 0x80) return c >= '0' && c <= '9';
  return u_charType(static_cast<UChar32>(c)) == U_DECIMAL_DIGIT_NUMBER;
}

void append_lowercase(char32_t c, std::u32string& out) {
  if (c < 0x80) {
    out.push_back(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return;
  }
  UChar src[2];
  int32_t src_len = 0;
  U16_APPEND_UNSAFE(src, src_len, static_cast<UChar32>(c));
  UChar dst[8];
  UErrorCode status = U_ZERO_ERROR;
  int32_t n = u_strToLower(dst, 8, src, src_len, "", &status);
  if (U_FAILURE(status)) {
    out.push_back(c);
    return;
  }
  for (int32_t i = 0; i < n;) {
    UChar32 cp;
    U16_NEXT(dst, i, n, cp);
    out.push_back(static_cast<char32_t>(cp));
  }
}

}  // namespace tesk_privacy::inference
