// Character classes, case mapping and Unicode normalisation on code points,
// as the tokenizer components need them (backed by ICU).
#pragma once

#include <string>
#include <string_view>

namespace tesk_privacy::inference {

std::u32string to_u32(std::string_view valid_utf8);
std::string to_utf8(std::u32string_view text);
// Decodes bytes that may not be valid UTF-8, replacing each maximal invalid
// sequence with U+FFFD.
std::string utf8_lossy(std::string_view bytes);

// The Unicode White_Space property.
bool is_whitespace(char32_t c);
// ASCII punctuation or a Unicode punctuation category (P*).
bool is_punctuation(char32_t c);
// Categories Cc, Cf, Cn, Co, except tab, line feed and carriage return.
bool is_control(char32_t c);
// CJK unified ideographs and their extensions and compatibility blocks.
bool is_cjk_ideograph(char32_t c);
// Category Mn.
bool is_nonspacing_mark(char32_t c);
// Alphabetic or numeric (Nd, Nl, No).
bool is_alphanumeric(char32_t c);
bool is_decimal_digit(char32_t c);

// Appends the full lower-case mapping of `c` (one to three code points).
void append_lowercase(char32_t c, std::u32string& out);

}  // namespace tesk_privacy::inference
