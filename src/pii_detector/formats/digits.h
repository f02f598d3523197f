// Digits as people write identity numbers: ASCII or full-width, in groups,
// and the structure checks of the Indonesian numbers built from them.
#pragma once

#include <string>
#include <string_view>

namespace tesk_privacy::pii_detector::formats {

// The decimal digits of `s` as ASCII ("３１７１ 0112" gives "31710112"):
// ASCII and full-width digits count, everything else is skipped.
std::string ascii_digits(std::string_view s);

// Whether `code` is the two-digit code of an Indonesian province, as the
// population register numbers them (11 Aceh ... 97 Papua Barat Daya).
bool is_province_code(int code);

// A 16-digit NIK (citizen identity number) or KK (family-card number) that
// can exist: a province code, a regency or city and a district other than
// 00, a date (day 01-31, or 41-71 for women on a NIK; month 01-12) and a
// serial other than 0000. `digits` holds ASCII digits only.
bool is_plausible_nik(std::string_view digits);
bool is_plausible_kk(std::string_view digits);

// Luhn check and a card brand's leading digits (Visa, Mastercard with its
// 2-series, American Express, JCB, Discover, UnionPay, Diners) and length.
bool is_card_number(std::string_view digits);

}  // namespace tesk_privacy::pii_detector::formats
