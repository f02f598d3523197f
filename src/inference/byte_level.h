// The byte-level alphabet of GPT-2-style BPE tokenizers: every byte value
// stands for one printable code point, so byte strings can be written as
// ordinary text ("Ġ" for the space byte, "Ċ" for a line feed).
#pragma once

#include <cstdint>

namespace tesk_privacy::inference {

char32_t byte_to_char(uint8_t b);
// The byte a code point of the alphabet stands for; -1 for other code points.
int char_to_byte(char32_t c);

// The word-splitting pattern of GPT-2: contractions, letter runs, digit runs
// and other-symbol runs, each with one optional leading space, and blank runs.
inline constexpr const char* kByteLevelPattern =
    R"('s|'t|'re|'ve|'m|'ll|'d| ?\p{L}+| ?\p{N}+| ?[^\s\p{L}\p{N}]+|\s+(?!\S)|\s+)";

}  // namespace tesk_privacy::inference
