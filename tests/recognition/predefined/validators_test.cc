// Checksum and syntax validators on published valid numbers and on the
// near misses a typo makes of them.
#include "recognition/predefined/validators.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace tesk_privacy::recognition::validators {
namespace {

struct Verdict {
  std::string input;
  bool valid;
};

void check(const char* what, const std::function<bool(std::string_view)>& validator,
           const std::vector<Verdict>& table) {
  for (const Verdict& v : table) EXPECT_EQ(validator(v.input), v.valid) << what << ": " << v.input;
}

TEST(Validators, Luhn) {
  check("luhn", luhn_valid, {
      {"4111111111111111", true},        // Visa test number
      {"4111 1111 1111 1111", true},
      {"4111-1111-1111-1111", true},
      {"5555555555554444", true},        // Mastercard
      {"378282246310005", true},         // American Express
      {"30569309025904", true},          // Diners Club
      {"6011111111111117", true},        // Discover
      {"3530111333300000", true},        // JCB
      {"4111111111111112", false},       // last digit off by one
      {"4111111111111121", false},       // two digits swapped
      {"41111111111", false},            // too short even though the sum fits
      {"4111111111111111110", true},     // 19 digits, the longest card number
      {"41111111111111111115", false},   // 20 digits, though the sum fits
      {"4111.1111.1111.1111", false},    // dots are no card separator
      {"", false},
  });
}

TEST(Validators, Iban) {
  check("iban", iban_valid, {
      {"DE89370400440532013000", true},
      {"DE89 3704 0044 0532 0130 00", true},
      {"de89 3704 0044 0532 0130 00", true},
      {"GB82 WEST 1234 5698 7654 32", true},
      {"NL91ABNA0417164300", true},
      {"FR1420041010050500013M02606", true},
      {"BE68539007547034", true},
      {"NO9386011117947", true},           // the shortest registered length
      {"DE89 3704 0044 0532 0130 01", false},  // wrong check
      {"DE88370400440532013000", false},       // wrong check digits
      {"DE8937040044053201300", false},        // one character short for DE
      {"DE5137040044053201300", false},        // check digits right, length wrong for DE
      {"XX89370400440532013000", false},       // no such country
      {"DE8937040044053201300!", false},
      {"DE", false},
  });
  EXPECT_EQ(iban_country_lengths().at("DE"), 22);
  EXPECT_EQ(iban_country_lengths().count("ID"), 0u);  // Indonesia does not use IBANs
}

TEST(Validators, BitcoinAddresses) {
  check("bitcoin", bitcoin_address_valid, {
      {"1A1zP1eP5QGefi2DMPTfTL5SLmv7DivfNa", true},   // P2PKH
      {"1BvBMSEYstWetqTFn5Au4m4GFg7xJaNVN2", true},
      {"3J98t1WpEZ73CNmQviecrnyiWrnqRhWNLy", true},   // P2SH
      {"1A1zP1eP5QGefi2DMPTfTL5SLmv7DivfNb", false},  // checksum
      {"1A1zP1eP5QGefi2DMPTfTL5SLmv7DivfN", false},   // one character short
      {"1A1zP1eP5QGefi2DMPTfTL5SLmv7DivfN0", false},  // 0 is not base58
      {"bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq", true},                       // v0, bech32
      {"BC1QAR0SRRR7XFKVY5L643LYDNW9RE59GTZZWF5MDQ", true},                       // upper case
      {"bc1p5d7rjq7g6rdk2yhzks9smlaqtedr4dekq08ge8ztwac72sfr9rusxg3297", true},   // v1, bech32m
      {"bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdp", false},                      // checksum
      {"bc1QAR0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq", false},                      // mixed case
      {"tb1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq", false},                      // testnet prefix
  });
}

TEST(Validators, IpAddresses) {
  check("ip", ip_address_valid, {
      {"192.168.1.1", true},
      {"0.0.0.0", true},
      {"255.255.255.255", true},
      {"256.1.1.1", false},
      {"01.2.3.4", false},
      {"1.2.3", false},
      {"2001:db8::1", true},
      {"2001:0db8:85a3:0000:0000:8a2e:0370:7334", true},
      {"::1", true},
      {"::ffff:192.0.2.1", true},
      {"1:2:3:4:5:6:7::", true},
      {"::", false},
      {"12:30:45", false},
      {"1:2:3:4:5:6:7:8:9", false},
      {"2001:db8::g", false},
  });
}

TEST(Validators, EmailDomain) {
  check("email", email_domain_valid, {
      {"budi@example.co.id", true},
      {"budi.santoso+kantor@mail.example.com", true},
      {"budi@bücher.de", true},
      {"budi@xn--p1ai.xn--p1ai", true},
      {"budi@localhost", false},
      {"budi@example.c", false},
      {"budi@example.123", false},
      {"budi@-example.com", false},
      {"budi@example-.com", false},
      {"budi@exa_mple.com", false},
      {"budi@example..com", false},
      {"@example.com", false},
      {std::string(65, 'a') + "@example.com", false},
      {"budi@" + std::string(64, 'a') + ".com", false},
  });
}

TEST(Validators, UsSsn) {
  check("ssn", us_ssn_plausible, {
      {"536-22-1234", true},
      {"536221234", true},
      {"000-12-3456", false},
      {"666-12-3456", false},
      {"900-12-3456", false},
      {"536-00-1234", false},
      {"536-22-0000", false},
      {"111-11-1111", false},
      {"078-05-1120", false},
      {"123-45-6789", false},
      {"53622123", false},
  });
}

TEST(Validators, DeaNumber) {
  check("dea", dea_number_valid, {
      {"AB1234563", true},
      {"A91234563", true},
      {"AB1234564", false},
      {"AB123456", false},
      {"1B1234563", false},
  });
}

TEST(Validators, NumericDate) {
  check("date", numeric_date_plausible, {
      {"17/08/1945", true},
      {"08/17/1945", true},   // month first
      {"17-08-45", true},
      {"29/02/2024", true},   // leap year
      {"29/02/2023", false},
      {"29.02.00", true},     // 2000 was a leap year
      {"31/02/2024", false},
      {"13/13/2024", false},
      {"00/12/2024", false},
      {"2024-12-31", true},
      {"2024-02-30", false},
      {"2024/1/5", true},
      {"17/08/194", false},
  });
}

}  // namespace
}  // namespace tesk_privacy::recognition::validators
