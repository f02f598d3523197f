#include "recognition/predefined/validators.h"

#include <arpa/inet.h>
#include <openssl/evp.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <vector>

namespace tesk_privacy::recognition::validators {
namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_ascii_alpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char to_upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
char to_lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// The digits of `text`, or nothing when a character other than a digit or
// one of `separators` occurs.
std::string digits_only(std::string_view text, std::string_view separators) {
  std::string digits;
  for (char c : text) {
    if (is_digit(c)) {
      digits += c;
    } else if (separators.find(c) == std::string_view::npos) {
      return {};
    }
  }
  return digits;
}

std::array<unsigned char, 32> sha256(const unsigned char* data, size_t size) {
  std::array<unsigned char, 32> out{};
  unsigned int length = 0;
  EVP_Digest(data, size, out.data(), &length, EVP_sha256(), nullptr);
  return out;
}

// Bech32 checksum polynomial (BIP 173).
uint32_t bech32_polymod(const std::vector<uint8_t>& values) {
  static constexpr uint32_t kGenerator[5] = {0x3b6a57b2, 0x26508e6d, 0x1ea119fa, 0x3d4233dd, 0x2a1462b3};
  uint32_t chk = 1;
  for (uint8_t v : values) {
    uint8_t top = static_cast<uint8_t>(chk >> 25);
    chk = ((chk & 0x1ffffff) << 5) ^ v;
    for (int i = 0; i < 5; ++i) {
      if ((top >> i) & 1) chk ^= kGenerator[i];
    }
  }
  return chk;
}

bool leap_year(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

bool calendar_date(int year, int month, int day) {
  static constexpr int kDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1) return false;
  if (month == 2 && day == 29) return leap_year(year);
  return day <= kDays[month - 1];
}

}  // namespace

bool luhn_valid(std::string_view number) {
  std::string digits = digits_only(number, " -");
  if (digits.size() < 12 || digits.size() > 19) return false;
  int sum = 0;
  bool double_it = false;
  for (auto it = digits.rbegin(); it != digits.rend(); ++it) {
    int d = *it - '0';
    if (double_it) {
      d *= 2;
      if (d > 9) d -= 9;
    }
    sum += d;
    double_it = !double_it;
  }
  return sum % 10 == 0;
}

const std::map<std::string, int>& iban_country_lengths() {
  static const std::map<std::string, int> kLengths = {
      {"AD", 24}, {"AE", 23}, {"AL", 28}, {"AT", 20}, {"AZ", 28}, {"BA", 20}, {"BE", 16},
      {"BG", 22}, {"BH", 22}, {"BI", 27}, {"BR", 29}, {"BY", 28}, {"CH", 21}, {"CR", 22},
      {"CY", 28}, {"CZ", 24}, {"DE", 22}, {"DJ", 27}, {"DK", 18}, {"DO", 28}, {"EE", 20},
      {"EG", 29}, {"ES", 24}, {"FI", 18}, {"FK", 18}, {"FO", 18}, {"FR", 27}, {"GB", 22},
      {"GE", 22}, {"GI", 23}, {"GL", 18}, {"GR", 27}, {"GT", 28}, {"HR", 21}, {"HU", 28},
      {"IE", 22}, {"IL", 23}, {"IQ", 23}, {"IS", 26}, {"IT", 27}, {"JO", 30}, {"KW", 30},
      {"KZ", 20}, {"LB", 28}, {"LC", 32}, {"LI", 21}, {"LT", 20}, {"LU", 20}, {"LV", 21},
      {"LY", 25}, {"MC", 27}, {"MD", 24}, {"ME", 22}, {"MK", 19}, {"MN", 20}, {"MR", 27},
      {"MT", 31}, {"MU", 30}, {"NI", 28}, {"NL", 18}, {"NO", 15}, {"OM", 23}, {"PK", 24},
      {"PL", 28}, {"PS", 29}, {"PT", 25}, {"QA", 29}, {"RO", 24}, {"RS", 22}, {"RU", 33},
      {"SA", 24}, {"SC", 31}, {"SD", 18}, {"SE", 24}, {"SI", 19}, {"SK", 24}, {"SM", 27},
      {"SO", 23}, {"ST", 25}, {"SV", 28}, {"TL", 23}, {"TN", 24}, {"TR", 26}, {"UA", 29},
      {"VA", 22}, {"VG", 24}, {"XK", 20}, {"YE", 30},
  };
  return kLengths;
}

bool iban_valid(std::string_view iban) {
  std::string compact;
  for (char c : iban) {
    if (c == ' ') continue;
    if (!is_digit(c) && !is_ascii_alpha(c)) return false;
    compact += to_upper(c);
  }
  if (compact.size() < 5) return false;
  auto it = iban_country_lengths().find(compact.substr(0, 2));
  if (it == iban_country_lengths().end() || static_cast<int>(compact.size()) != it->second) return false;
  if (!is_digit(compact[2]) || !is_digit(compact[3])) return false;
  // Move the first four characters to the end, read letters as 10..35 and
  // take the remainder mod 97 digit by digit.
  std::string rearranged = compact.substr(4) + compact.substr(0, 4);
  int remainder = 0;
  for (char c : rearranged) {
    int value = is_digit(c) ? c - '0' : c - 'A' + 10;
    remainder = (value >= 10 ? remainder * 100 : remainder * 10) + value;
    remainder %= 97;
  }
  return remainder == 1;
}

bool bitcoin_base58check_valid(std::string_view address) {
  static constexpr std::string_view kAlphabet =
      "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
  if (address.size() < 26 || address.size() > 35) return false;
  // Big-endian base-256 number, built digit by digit.
  std::vector<unsigned char> bytes;
  for (char c : address) {
    size_t value = kAlphabet.find(c);
    if (value == std::string_view::npos) return false;
    unsigned carry = static_cast<unsigned>(value);
    for (auto b = bytes.rbegin(); b != bytes.rend(); ++b) {
      carry += 58u * *b;
      *b = static_cast<unsigned char>(carry & 0xff);
      carry >>= 8;
    }
    while (carry > 0) {
      bytes.insert(bytes.begin(), static_cast<unsigned char>(carry & 0xff));
      carry >>= 8;
    }
  }
  // Every leading "1" stands for one leading zero byte.
  size_t zeros = 0;
  while (zeros < address.size() && address[zeros] == '1') ++zeros;
  bytes.insert(bytes.begin(), zeros, 0);
  if (bytes.size() != 25) return false;
  if (bytes[0] != 0x00 && bytes[0] != 0x05) return false;
  auto first = sha256(bytes.data(), 21);
  auto second = sha256(first.data(), first.size());
  return std::equal(second.begin(), second.begin() + 4, bytes.begin() + 21);
}

bool bitcoin_bech32_valid(std::string_view address) {
  static constexpr std::string_view kCharset = "qpzry9x8gf2tvdw0s3jn54khce6mua7l";
  static constexpr uint32_t kBech32 = 1;
  static constexpr uint32_t kBech32m = 0x2bc830a3;
  if (address.size() < 14 || address.size() > 90) return false;
  bool lower = false, upper = false;
  std::string text;
  for (char c : address) {
    if (c >= 'a' && c <= 'z') lower = true;
    if (c >= 'A' && c <= 'Z') upper = true;
    text += to_lower(c);
  }
  if (lower && upper) return false;
  size_t separator = text.rfind('1');
  if (separator == std::string::npos || text.substr(0, separator) != "bc") return false;
  if (text.size() - separator - 1 < 6) return false;
  std::vector<uint8_t> values = {3, 3, 0, 2, 3};  // "bc" expanded: high bits, 0, low bits
  std::vector<uint8_t> data;
  for (size_t i = separator + 1; i < text.size(); ++i) {
    size_t v = kCharset.find(text[i]);
    if (v == std::string_view::npos) return false;
    data.push_back(static_cast<uint8_t>(v));
  }
  values.insert(values.end(), data.begin(), data.end());
  uint32_t constant = bech32_polymod(values);
  data.resize(data.size() - 6);  // drop the checksum
  if (data.empty()) return false;
  int version = data[0];
  if (version > 16) return false;
  if (constant != (version == 0 ? kBech32 : kBech32m)) return false;
  // Regroup the 5-bit program into bytes; leftover bits must be zero padding.
  std::vector<uint8_t> program;
  uint32_t acc = 0;
  int bits = 0;
  for (size_t i = 1; i < data.size(); ++i) {
    acc = (acc << 5) | data[i];
    bits += 5;
    if (bits >= 8) {
      bits -= 8;
      program.push_back(static_cast<uint8_t>((acc >> bits) & 0xff));
    }
  }
  if (bits >= 5 || ((acc << (8 - bits)) & 0xff) != 0) return false;
  if (program.size() < 2 || program.size() > 40) return false;
  if (version == 0 && program.size() != 20 && program.size() != 32) return false;
  return true;
}

bool bitcoin_address_valid(std::string_view address) {
  if (address.size() > 3 && (address.substr(0, 3) == "bc1" || address.substr(0, 3) == "BC1")) {
    return bitcoin_bech32_valid(address);
  }
  return bitcoin_base58check_valid(address);
}

bool ip_address_valid(std::string_view address) {
  if (address.size() > 45) return false;
  std::string text(address);
  unsigned char buffer[16];
  if (text.find(':') == std::string::npos) return inet_pton(AF_INET, text.c_str(), buffer) == 1;
  if (std::none_of(text.begin(), text.end(), [](char c) { return c != ':'; })) return false;
  return inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}

bool email_domain_valid(std::string_view address) {
  size_t at = address.rfind('@');
  if (at == std::string_view::npos || at == 0 || at > 64) return false;
  std::string_view domain = address.substr(at + 1);
  if (domain.empty() || domain.size() > 253) return false;
  std::string_view last_label;
  size_t start = 0;
  while (true) {
    size_t dot = domain.find('.', start);
    std::string_view label = domain.substr(start, dot == std::string_view::npos ? std::string_view::npos : dot - start);
    if (label.empty() || label.size() > 63 || label.front() == '-' || label.back() == '-') return false;
    for (char c : label) {
      bool ok = is_digit(c) || is_ascii_alpha(c) || c == '-' || static_cast<unsigned char>(c) >= 0x80;
      if (!ok) return false;
    }
    last_label = label;
    if (dot == std::string_view::npos) break;
    start = dot + 1;
  }
  if (last_label.size() == domain.size()) return false;  // a single label is no internet domain
  std::string tld;
  for (char c : last_label) tld += to_lower(c);
  if (tld.rfind("xn--", 0) == 0) return tld.size() > 4;
  if (tld.size() < 2) return false;
  return std::none_of(tld.begin(), tld.end(), [](char c) { return is_digit(c) || c == '-'; });
}

bool us_ssn_plausible(std::string_view ssn) {
  std::string digits = digits_only(ssn, " -.");
  if (digits.size() != 9) return false;
  if (std::all_of(digits.begin(), digits.end(), [&](char c) { return c == digits[0]; })) return false;
  int area = std::stoi(digits.substr(0, 3));
  if (area == 0 || area == 666 || area >= 900) return false;
  if (digits.substr(3, 2) == "00" || digits.substr(5, 4) == "0000") return false;
  static constexpr std::string_view kAdvertised[] = {"078051120", "219099999", "123456789"};
  return std::find(std::begin(kAdvertised), std::end(kAdvertised), digits) == std::end(kAdvertised);
}

bool dea_number_valid(std::string_view number) {
  if (number.size() != 9 || !is_ascii_alpha(number[0]) || !(is_ascii_alpha(number[1]) || number[1] == '9')) {
    return false;
  }
  int d[7];
  for (int i = 0; i < 7; ++i) {
    if (!is_digit(number[2 + i])) return false;
    d[i] = number[2 + i] - '0';
  }
  return (d[0] + d[2] + d[4] + 2 * (d[1] + d[3] + d[5])) % 10 == d[6];
}

bool numeric_date_plausible(std::string_view date) {
  std::vector<std::string> fields(1);
  for (char c : date) {
    if (c == '/' || c == '.' || c == '-') {
      fields.emplace_back();
    } else if (is_digit(c)) {
      fields.back() += c;
    } else {
      return false;
    }
  }
  if (fields.size() != 3) return false;
  for (const auto& f : fields) {
    if (f.empty() || f.size() > 4) return false;
  }
  int a = std::stoi(fields[0]), b = std::stoi(fields[1]), c = std::stoi(fields[2]);
  if (fields[0].size() == 4) return fields[2].size() <= 2 && calendar_date(a, b, c);
  if (fields[0].size() > 2 || fields[1].size() > 2 || (fields[2].size() != 2 && fields[2].size() != 4)) {
    return false;
  }
  int year = fields[2].size() == 2 ? 2000 + c : c;
  return calendar_date(year, b, a) || calendar_date(year, a, b);
}

}  // namespace tesk_privacy::recognition::validators
