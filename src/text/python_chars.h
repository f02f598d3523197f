// Character classes as Python's str methods see them, so that spans agree
// with what a Python caller of the library would compute.
#pragma once

#include <unicode/uchar.h>

namespace tesk_privacy {

// str.isspace().
inline bool is_py_space(char32_t c) {
  if (c <= 0x20) return c == 0x20 || (c >= 0x09 && c <= 0x0D) || (c >= 0x1C && c <= 0x1F);
  return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
         c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// str.isalnum() or "_": letters (L*) and numeric characters (Nd, Nl, No).
inline bool is_py_word_char(char32_t c) {
  if (c == U'_') return true;
  if (c < 0x80) return (c >= U'0' && c <= U'9') || (c >= U'a' && c <= U'z') || (c >= U'A' && c <= U'Z');
  const int32_t mask = U_GET_GC_MASK(static_cast<UChar32>(c));
  return (mask & (U_GC_L_MASK | U_GC_ND_MASK | U_GC_NL_MASK | U_GC_NO_MASK)) != 0;
}

}  // namespace tesk_privacy
