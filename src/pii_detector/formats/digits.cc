#include "digits.h"

#include <algorithm>

namespace tesk_privacy::pii_detector::formats {
namespace {

int two(std::string_view d, size_t at) { return (d[at] - '0') * 10 + (d[at + 1] - '0'); }

int prefix(std::string_view d, size_t n) {
  int v = 0;
  for (size_t i = 0; i < n && i < d.size(); ++i) v = v * 10 + (d[i] - '0');
  return v;
}

bool plausible_region_and_serial(std::string_view d) {
  return d.size() == 16 && std::all_of(d.begin(), d.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
         is_province_code(two(d, 0)) && two(d, 2) != 0 && two(d, 4) != 0 && d.substr(12) != "0000";
}

}  // namespace

std::string ascii_digits(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    if (c >= '0' && c <= '9') {
      out += static_cast<char>(c);
    } else if (c == 0xEF && i + 2 < s.size() && static_cast<unsigned char>(s[i + 1]) == 0xBC) {
      // Full-width digits U+FF10..U+FF19 are EF BC 90..99.
      const auto last = static_cast<unsigned char>(s[i + 2]);
      if (last >= 0x90 && last <= 0x99) {
        out += static_cast<char>('0' + (last - 0x90));
        i += 2;
      }
    }
  }
  return out;
}

bool is_province_code(int code) {
  static constexpr int kCodes[] = {11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 31, 32, 33, 34, 35, 36, 51, 52, 53,
                                   61, 62, 63, 64, 65, 71, 72, 73, 74, 75, 76, 81, 82, 91, 92, 93, 94, 95, 96, 97};
  return std::binary_search(std::begin(kCodes), std::end(kCodes), code);
}

bool is_plausible_nik(std::string_view d) {
  if (!plausible_region_and_serial(d)) return false;
  const int day = two(d, 6), month = two(d, 8);
  return ((day >= 1 && day <= 31) || (day >= 41 && day <= 71)) && month >= 1 && month <= 12;
}

bool is_plausible_kk(std::string_view d) {
  if (!plausible_region_and_serial(d)) return false;
  const int day = two(d, 6), month = two(d, 8);
  return day >= 1 && day <= 31 && month >= 1 && month <= 12;
}

bool is_card_number(std::string_view d) {
  const size_t n = d.size();
  if (n < 13 || n > 19) return false;
  int sum = 0;
  for (size_t i = 0; i < n; ++i) {
    int v = d[n - 1 - i] - '0';
    if (i % 2 == 1) v = v * 2 > 9 ? v * 2 - 9 : v * 2;
    sum += v;
  }
  if (sum % 10 != 0) return false;
  const int p2 = prefix(d, 2), p3 = prefix(d, 3), p4 = prefix(d, 4), p6 = prefix(d, 6);
  if (d[0] == '4') return n == 13 || n == 16 || n == 19;                                       // Visa
  if ((p2 >= 51 && p2 <= 55) || (p4 >= 2221 && p4 <= 2720)) return n == 16;                   // Mastercard
  if (p2 == 34 || p2 == 37) return n == 15;                                                     // American Express
  if (p4 >= 3528 && p4 <= 3589) return n >= 16;                                                 // JCB
  if (p4 == 6011 || p2 == 65 || (p3 >= 644 && p3 <= 649) || (p6 >= 622126 && p6 <= 622925)) {  // Discover
    return n >= 16;
  }
  if (p2 == 62) return n >= 16;                                             // UnionPay
  if (p2 == 36 || (p3 >= 300 && p3 <= 305) || p2 == 38 || p2 == 39) return n >= 14;  // Diners
  return false;
}

}  // namespace tesk_privacy::pii_detector::formats
