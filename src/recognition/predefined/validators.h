// Checksum and syntax validators of the predefined recognizers, kept apart
// from the patterns that find the candidates. Each takes the text a pattern
// matched (separators included where the format allows them) and says
// whether it is a well-formed instance of its format.
//
//   validators::luhn_valid("4111 1111 1111 1111");          // true
//   validators::iban_valid("DE89 3704 0044 0532 0130 00");  // true
//
// Pure functions without state; safe from any thread.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace tesk_privacy::recognition::validators {

// Luhn (mod 10) check over the digits; blanks and hyphens are skipped, any
// other character fails. Needs 12 to 19 digits.
bool luhn_valid(std::string_view number);

// IBAN lengths by ISO 3166 country code, as registered with SWIFT.
const std::map<std::string, int>& iban_country_lengths();

// IBAN: blanks skipped, letters of either case; known country, the length
// registered for it, check digits, and the ISO 7064 mod-97 remainder 1.
bool iban_valid(std::string_view iban);

// Bitcoin legacy address: base58 decoding to 25 bytes, version byte 0x00
// (P2PKH) or 0x05 (P2SH), and the first four bytes of SHA-256(SHA-256(...))
// as checksum.
bool bitcoin_base58check_valid(std::string_view address);

// Bitcoin segwit address with human-readable part "bc": bech32 checksum for
// witness version 0 (20- or 32-byte program), bech32m for versions 1 to 16;
// not mixed case, at most 90 characters.
bool bitcoin_bech32_valid(std::string_view address);

// Either of the two Bitcoin address forms.
bool bitcoin_address_valid(std::string_view address);

// An IPv4 (dotted quad, no leading zeros) or IPv6 address as inet_pton
// parses it. "::", which names no host, is refused.
bool ip_address_valid(std::string_view address);

// The domain of an e-mail address (the part after its last "@"): at most 253
// characters, labels of 1 to 63 letters, digits or hyphens (non-ASCII
// letters allowed) that neither start nor end with a hyphen, and a top-level
// label of at least two letters or an "xn--" label. The local part must hold
// 1 to 64 characters.
bool email_domain_valid(std::string_view address);

// A US social security number as issued: nine digits (separators ignored)
// whose area is not 000, 666 or 900-999, whose group is not 00 and whose
// serial is not 0000; the same digit nine times and numbers known from
// advertising (078-05-1120, 219-09-9999, 123-45-6789) are refused.
bool us_ssn_plausible(std::string_view ssn);

// A DEA registration number: two letters and seven digits whose last digit
// equals (d1 + d3 + d5 + 2 * (d2 + d4 + d6)) mod 10.
bool dea_number_valid(std::string_view number);

// Three numeric fields separated by "/", "." or "-": year first when the
// first field has four digits (year-month-day), otherwise day-month-year or
// month-day-year, whichever reading is a real calendar date. Two-digit years
// count as 20yy for leap years.
bool numeric_date_plausible(std::string_view date);

}  // namespace tesk_privacy::recognition::validators
