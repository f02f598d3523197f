#include "pii_detector/formats/digits.h"

#include <gtest/gtest.h>

namespace tesk_privacy::pii_detector::formats {
namespace {

TEST(FormatDigits, FullWidthAndGroupedDigitsReadAsAscii) {
  EXPECT_EQ(ascii_digits("３１７１ 0112-05.90"), "317101120590");
  EXPECT_EQ(ascii_digits("+62 (21) 555"), "6221555");
  EXPECT_EQ(ascii_digits("é٣"), "");  // other scripts' digits are not read
}

TEST(FormatDigits, NikStructure) {
  struct Case {
    const char* digits;
    bool nik, kk;
  } cases[] = {
      {"3171011205900001", true, true},    // Jakarta, 12 May 1990
      {"3171015205900001", true, false},   // a woman: day + 40; no KK date
      {"3171011213900001", false, false},  // month 13
      {"3171013205900001", false, false},  // day 32
      {"3171017205900001", false, false},  // day 72
      {"2071011205900001", false, false},  // no province 20
      {"9771011205900001", true, true},    // Papua Barat Daya, the newest province
      {"3100011205900001", false, false},  // regency 00
      {"3171001205900001", false, false},  // district 00
      {"3171011205900000", false, false},  // serial 0000
      {"317101120590000", false, false},   // 15 digits
  };
  for (const Case& c : cases) {
    EXPECT_EQ(is_plausible_nik(c.digits), c.nik) << c.digits;
    EXPECT_EQ(is_plausible_kk(c.digits), c.kk) << c.digits;
  }
}

TEST(FormatDigits, CardBrandsAndLuhn) {
  EXPECT_TRUE(is_card_number("4111111111111111"));   // Visa
  EXPECT_TRUE(is_card_number("5500005555555559"));   // Mastercard 51-55
  EXPECT_TRUE(is_card_number("2221000000000009"));   // Mastercard 2-series
  EXPECT_TRUE(is_card_number("378282246310005"));    // American Express
  EXPECT_TRUE(is_card_number("3530111333300000"));   // JCB
  EXPECT_FALSE(is_card_number("4111111111111112"));  // Luhn fails
  EXPECT_FALSE(is_card_number("2821000000000002"));  // above the 2-series
  EXPECT_FALSE(is_card_number("37828224631000"));    // Amex of 14 digits
  EXPECT_FALSE(is_card_number("1234567812345670"));  // no brand starts with 1
}

}  // namespace
}  // namespace tesk_privacy::pii_detector::formats
