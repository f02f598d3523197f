#include "inference/byte_level.h"

#include <array>

namespace tesk_privacy::inference {
namespace {

struct Tables {
  std::array<char32_t, 256> to_char{};
  Tables() {
    char32_t next = 256;
    for (int b = 0; b < 256; ++b) {
      const bool printable = (b >= '!' && b <= '~') || (b >= 0xA1 && b <= 0xAC) || (b >= 0xAE && b <= 0xFF);
      to_char[b] = printable ? static_cast<char32_t>(b) : next++;
    }
  }
};

const Tables& tables() {
  static const Tables t;
  return t;
}

}  // namespace

char32_t byte_to_char(uint8_t b) { return tables().to_char[b]; }

int char_to_byte(char32_t c) {
  if (c < 256) {
    const bool printable = (c >= '!' && c <= '~') || (c >= 0xA1 && c <= 0xAC) || (c >= 0xAE && c <= 0xFF);
    return printable ? static_cast<int>(c) : -1;
  }
  const auto& t = tables().to_char;
  if (c >= 256 && c < 256 + 68) {
    for (int b = 0; b < 256; ++b) {
      if (t[b] == c) return b;
    }
  }
  return -1;
}

}  // namespace tesk_privacy::inference
