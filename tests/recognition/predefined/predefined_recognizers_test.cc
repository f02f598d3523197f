// The predefined recognizers: which spans each reports on a table of texts
// (checksum failures and parse failures included), and what the registry
// loads.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "recognition/predefined/credit_card_recognizer.h"
#include "recognition/predefined/crypto_recognizer.h"
#include "recognition/predefined/date_recognizer.h"
#include "recognition/predefined/email_recognizer.h"
#include "recognition/predefined/iban_recognizer.h"
#include "recognition/predefined/ip_recognizer.h"
#include "recognition/predefined/medical_license_recognizer.h"
#include "recognition/predefined/phone_recognizer.h"
#include "recognition/predefined/predefined_recognizer_table.h"
#include "recognition/predefined/span_table.h"
#include "recognition/predefined/url_recognizer.h"
#include "recognition/predefined/us_bank_recognizer.h"
#include "recognition/predefined/us_itin_recognizer.h"
#include "recognition/predefined/us_license_recognizer.h"
#include "recognition/predefined/us_passport_recognizer.h"
#include "recognition/predefined/us_ssn_recognizer.h"
#include "tesk_privacy/recognition/recognizer_registry.h"

namespace tesk_privacy::recognition {
namespace {

using testing::check_table;

TEST(EmailRecognizer, DomainValidationConfirmsOrDrops) {
  check_table(EmailRecognizer(), {
      {"address in a sentence", "Kirim ke budi.santoso@example.co.id.", {{"budi.santoso@example.co.id", 1.0}}},
      {"plus and underscore", "user_name+tag@sub.example.org", {{"user_name+tag@sub.example.org", 1.0}}},
      {"non-ASCII local part", "Surel Dédé: dédé@example.com", {{"dédé@example.com", 1.0}}},
      {"no dot in the domain", "budi@localhost", {}},
      {"one-letter top-level label", "budi@example.c", {}},
      {"numeric top-level label", "budi@10.0.0.1", {}},
      {"two at signs", "budi@@example.com", {}},
      {"after mailto:", "mailto:budi@example.com", {{"budi@example.com", 1.0}}},
  });
}

TEST(PhoneRecognizer, ValidNumbersOfTheRegions) {
  check_table(PhoneRecognizer(), {
      {"Indonesian mobile, international form", "Hubungi +62 812-3456-7890 segera", {{"+62 812-3456-7890", 0.4}}},
      {"Indonesian mobile, national form", "Nomor ponsel Dédé: 0812 3456 7890", {{"0812 3456 7890", 0.4}}},
      {"Jakarta landline", "Telepon (021) 5551234", {{"(021) 5551234", 0.4}}},
      {"US number", "Call +1 650-253-0000", {{"+1 650-253-0000", 0.4}}},
      {"UK number in national form", "Ring 020 7946 0000 today", {{"020 7946 0000", 0.4}}},
      {"short and identity numbers are no phone numbers", "1234 dan 3171011205900001 dan 01.234.567.8-901.000",
       {}},
  });
}

TEST(PhoneRecognizer, RegionsAndExplanation) {
  EXPECT_THROW(PhoneRecognizer("en", {"ID", "XX"}), std::invalid_argument);
  const PhoneRecognizer only_id("id", {"ID"});
  EXPECT_EQ(only_id.supported_regions(), std::vector<std::string>{"ID"});
  EXPECT_EQ(testing::spans(only_id, "Ring 020 7946 0000"), std::vector<testing::Span>{});
  auto results = only_id.analyze(Utf8Text("Call +1 650-253-0000"), {}, nullptr);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].analysis_explanation->textual_explanation,
            "Recognized as US region phone number, using PhoneRecognizer");
  EXPECT_TRUE(only_id.analyze(Utf8Text("Call +1 650-253-0000"), {"EMAIL_ADDRESS"}, nullptr).empty());
}

TEST(CreditCardRecognizerBase, PatternsAndLuhn) {
  check_table(CreditCardRecognizer(), {
      {"Visa in groups of four", "card 4111 1111 1111 1111.", {{"4111 1111 1111 1111", 1.0}}},
      {"hyphens", "4111-1111-1111-1111", {{"4111-1111-1111-1111", 1.0}}},
      {"compact", "4111111111111111", {{"4111111111111111", 1.0}}},
      {"Amex 4-6-5", "3782 822463 10005", {{"3782 822463 10005", 1.0}}},
      {"Amex compact", "378282246310005", {{"378282246310005", 1.0}}},
      {"Diners compact", "30569309025904", {{"30569309025904", 1.0}}},
      {"Luhn failure", "4111 1111 1111 1112", {}},
      {"mixed separators", "4111 1111-1111 1111", {}},
      {"twenty digits", "41111111111111111111", {}},
      {"no issuer prefix", "1111 1111 1111 1117", {}},
      {"followed by a date", "4111 1111 1111 1111 12/26", {{"4111 1111 1111 1111", 1.0}}},
  });
}

TEST(IbanRecognizer, CountryLengthAndMod97) {
  check_table(IbanRecognizer(), {
      {"grouped, followed by a word", "IBAN: DE89 3704 0044 0532 0130 00 BANK",
       {{"DE89 3704 0044 0532 0130 00", 1.0}}},
      {"a following four-letter word stays out", "BE68 5390 0754 7034 ABCD", {{"BE68 5390 0754 7034", 1.0}}},
      {"compact", "NL91ABNA0417164300", {{"NL91ABNA0417164300", 1.0}}},
      {"lower case under IGNORECASE", "gb82 west 1234 5698 7654 32", {{"gb82 west 1234 5698 7654 32", 1.0}}},
      {"wrong check", "DE89 3704 0044 0532 0130 01", {}},
      {"too long for its country", "DE89370400440532013000123", {}},
      {"unknown country", "ID89370400440532013000", {}},
  });
}

TEST(CryptoRecognizer, Base58AndBech32) {
  check_table(CryptoRecognizer(), {
      {"legacy address", "kirim ke 1A1zP1eP5QGefi2DMPTfTL5SLmv7DivfNa", {{"1A1zP1eP5QGefi2DMPTfTL5SLmv7DivfNa", 1.0}}},
      {"P2SH address", "3J98t1WpEZ73CNmQviecrnyiWrnqRhWNLy", {{"3J98t1WpEZ73CNmQviecrnyiWrnqRhWNLy", 1.0}}},
      {"segwit v0", "bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq",
       {{"bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdq", 1.0}}},
      {"taproot", "bc1p5d7rjq7g6rdk2yhzks9smlaqtedr4dekq08ge8ztwac72sfr9rusxg3297",
       {{"bc1p5d7rjq7g6rdk2yhzks9smlaqtedr4dekq08ge8ztwac72sfr9rusxg3297", 1.0}}},
      {"base58 checksum failure", "1A1zP1eP5QGefi2DMPTfTL5SLmv7DivfNb", {}},
      {"bech32 checksum failure", "bc1qar0srrr7xfkvy5l643lydnw9re59gtzzwf5mdp", {}},
      {"long word starting with 1", "1aaaaaaaaaaaaaaaaaaaaaaaaaaaaa", {}},
  });
}

TEST(IpRecognizer, ParsedNotJustMatched) {
  check_table(IpRecognizer(), {
      {"IPv4 before a full stop", "server 192.168.1.1.", {{"192.168.1.1", 0.6}}},
      {"octet over 255", "256.1.1.1", {}},
      {"leading zero", "192.168.01.1", {}},
      {"five-part version number", "versi 1.2.3.4.5", {}},
      {"IPv6 compressed", "host 2001:db8::1", {{"2001:db8::1", 0.6}}},
      {"IPv6 loopback", "::1", {{"::1", 0.6}}},
      {"IPv4-mapped IPv6", "::ffff:192.0.2.1", {{"::ffff:192.0.2.1", 0.6}}},
      {"a time of day", "pukul 10:30:00", {}},
      {"a MAC address", "MAC 00:1A:2B:3C:4D:5E", {}},
      {"the unspecified address", "::", {}},
  });
}

TEST(UrlRecognizer, SchemeWwwAndDomain) {
  check_table(UrlRecognizer(), {
      {"scheme, trailing full stop outside", "Buka https://example.com/path?q=1.",
       {{"https://example.com/path?q=1", 0.6}}},
      {"www with path", "lihat www.example.co.id/halaman", {{"www.example.co.id/halaman", 0.5}}},
      {"bare domain", "kunjungi tokopedia.com sekarang", {{"tokopedia.com", 0.3}}},
      {"e-mail domain is no URL", "budi@example.com", {}},
      {"unknown top-level domain", "file.txt", {}},
      {"missing blank after a full stop", "di Jakarta.Ini kantor", {}},
      {"in parentheses", "(https://example.com)", {{"https://example.com", 0.6}}},
  });
}

TEST(UsIdentifierRecognizers, Tables) {
  check_table(MedicalLicenseRecognizer(), {
      {"DEA number", "DEA AB1234563", {{"AB1234563", 1.0}}},
      {"DEA check digit wrong", "AB1234564", {}},
      {"registrant letter not in use", "IB1234563", {}},
  });
  check_table(UsBankRecognizer(), {
      {"account number", "account 12345678", {{"12345678", 0.05}}},
      {"seven digits", "1234567", {}},
      {"eighteen digits", "123456789012345678", {}},
  });
  check_table(UsLicenseRecognizer(), {
      {"letter and digits", "DL A1234567", {{"A1234567", 0.3}}},
      {"digits only", "12345678", {{"12345678", 0.01}}},
  });
  check_table(UsItinRecognizer(), {
      {"delimited", "ITIN 912-78-1234", {{"912-78-1234", 0.5}}},
      {"bare", "912781234", {{"912781234", 0.3}}},
      {"group not issued", "912-40-1234", {}},
      {"inconsistent separators", "912-78 1234", {}},
  });
  check_table(UsPassportRecognizer(), {
      {"nine digits", "paspor 123456789", {{"123456789", 0.05}}},
      {"next generation", "A12345678", {{"A12345678", 0.1}}},
  });
  check_table(UsSsnRecognizer(), {
      {"delimited", "SSN 536-22-1234", {{"536-22-1234", 0.5}}},
      {"dots", "536.22.1234", {{"536.22.1234", 0.5}}},
      {"bare", "536221234", {{"536221234", 0.05}}},
      {"advertised number", "078-05-1120", {}},
      {"area 666", "666-22-1234", {}},
      {"area 9xx", "936-22-1234", {}},
      {"group 00", "536-00-1234", {}},
      {"inconsistent separators", "536-22 1234", {}},
  });
}

TEST(DateRecognizer, IndonesianAndEnglish) {
  check_table(DateRecognizer(), {
      {"numeric day first", "lahir 17/08/1945", {{"17/08/1945", 0.6}}},
      {"numeric month first", "08-17-1945", {{"08-17-1945", 0.6}}},
      {"short year", "17.08.45", {{"17.08.45", 0.3}}},
      {"no calendar date", "31/02/2024", {}},
      {"ISO with time", "2024-05-17T10:30:00Z", {{"2024-05-17T10:30:00Z", 0.6}}},
      {"ISO day 30 of February", "2024-02-30", {}},
      {"Indonesian day and month names", "Senin, 17 Agustus 1945",
       {{"Senin, 17 Agustus 1945", 0.7}, {"Agustus 1945", 0.5}, {"Senin", 0.1}}},
      {"day and month without year", "tanggal 17 Agustus", {{"17 Agustus", 0.5}}},
      {"Indonesian abbreviation", "5 Okt 2023", {{"5 Okt 2023", 0.7}, {"Okt 2023", 0.5}}},
      {"English month first", "May 5, 2024", {{"May 5, 2024", 0.7}}},
      {"month and year", "Desember 2026", {{"Desember 2026", 0.5}}},
      {"pukul with dot and zone", "pukul 14.30 WIB", {{"pukul 14.30 WIB", 0.6}}},
      {"jam and clock", "jam 10:30", {{"jam 10:30", 0.6}, {"10:30", 0.4}}},
      {"clock alone", "10:30", {{"10:30", 0.4}}},
      {"seconds and zone", "14.30.00 WITA", {{"14.30.00 WITA", 0.6}}},
      {"hour and meridiem", "3 PM", {{"3 PM", 0.6}}},
      {"money is no date", "Rp 1.500.000", {}},
      {"IP address is no date", "10.10.10.10", {}},
      {"modal verb", "you may go", {}},
  });
}

TEST(PredefinedRecognizerTable, CoversTheFrameworkEntities) {
  std::set<std::string> entities, names;
  for (const auto& entry : predefined_recognizer_table()) {
    entities.insert(entry.entity);
    names.insert(entry.name);
    EXPECT_FALSE(entry.context.empty()) << entry.name;
    EXPECT_FALSE(entry.validation.empty()) << entry.name;
    for (const auto& p : entry.patterns) EXPECT_TRUE(p.score > 0.0 && p.score <= 1.0) << p.name;
  }
  EXPECT_EQ(entities, (std::set<std::string>{"EMAIL_ADDRESS", "PHONE_NUMBER", "CREDIT_CARD", "IBAN_CODE", "CRYPTO",
                                             "IP_ADDRESS", "URL", "MEDICAL_LICENSE", "US_BANK_NUMBER",
                                             "US_DRIVER_LICENSE", "US_ITIN", "US_PASSPORT", "US_SSN", "DATE_TIME"}));
  EXPECT_EQ(names.size(), predefined_recognizer_table().size());
  EXPECT_THROW(predefined_recognizer_spec("NoSuchRecognizer"), std::invalid_argument);
}

TEST(RecognizerRegistry, LoadPredefinedRecognizers) {
  RecognizerRegistry registry;
  registry.load_predefined_recognizers();
  const size_t per_language = predefined_recognizer_table().size();
  // The table's recognizers for "en", then the NLP-based one for "en" and "id".
  ASSERT_EQ(registry.recognizers().size(), per_language + 2);
  for (size_t i = 0; i < per_language; ++i) EXPECT_EQ(registry.recognizers()[i]->supported_language(), "en");
  EXPECT_EQ(registry.recognizers()[per_language]->name(), "NlpEntityRecognizer");
  EXPECT_EQ(registry.recognizers()[per_language + 1]->supported_language(), "id");
  EXPECT_EQ(registry.supported_languages, std::vector<std::string>{"en"});
  EXPECT_EQ(registry.get_supported_entities({"en"}).size(), per_language + 4);  // PERSON LOCATION ORGANIZATION NRP

  RecognizerRegistry both({}, {"en", "id"});
  both.load_predefined_recognizers(std::vector<std::string>{"en", "id"});
  EXPECT_EQ(both.get_recognizers("id").size(), per_language + 1);
  EXPECT_EQ(both.get_recognizers("en", {"EMAIL_ADDRESS"}).size(), 1u);
  EXPECT_EQ(both.get_recognizers("id", {"PHONE_NUMBER"}).front()->name(), "PhoneRecognizer");
}

}  // namespace
}  // namespace tesk_privacy::recognition
