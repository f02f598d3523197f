// Identity-number recognizers: which spans each reports on a table of texts.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "pii_detector/recognizer/bpjs_number_recognizer.h"
#include "pii_detector/recognizer/family_card_number_recognizer.h"
#include "pii_detector/recognizer/halvern_employee_id_recognizer.h"
#include "pii_detector/recognizer/ktp_recognizer.h"
#include "pii_detector/recognizer/npwp_recognizer.h"
#include "tesk_privacy/pii_detector/constants.h"

namespace tesk_privacy::pii_detector {
namespace {

struct Span {
  std::string text;
  double score;
  bool operator==(const Span&) const = default;
};

struct Case {
  std::string name;
  std::string text;
  std::vector<Span> expected;  // every span the recognizer reports, in order
};

std::vector<Span> spans(const recognition::PatternRecognizer& r, const std::string& input) {
  Utf8Text text(input);
  std::vector<Span> out;
  for (const auto& result : r.analyze(text, {}, nullptr)) {
    out.push_back({std::string(text.slice(result.start, result.end)), result.score});
  }
  return out;
}

void check_table(const recognition::PatternRecognizer& r, const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    EXPECT_EQ(spans(r, c.text), c.expected) << c.name << ": " << c.text;
  }
}

TEST(KTPRecognizer, BirthDateAndBoundaries) {
  check_table(KTPRecognizer(), {
      {"man born on the 12th of May", "NIK 3171011205900001.", {{"3171011205900001", 0.5}}},
      {"woman: day plus 40", "NIK 3171014505900001", {{"3171014505900001", 0.5}}},
      {"day 31 and 71 pass", "3171013105900001 3171017105900001",
       {{"3171013105900001", 0.5}, {"3171017105900001", 0.5}}},
      {"day 32", "3171013205900001", {}},
      {"day 40", "3171014005900001", {}},
      {"day 72", "3171017205900001", {}},
      {"day 00", "3171010005900001", {}},
      {"month 13", "3171011213900001", {}},
      {"month 00", "3171011200900001", {}},
      {"followed by a letter", "3171011205900001a", {}},
      {"seventeenth digit", "31710112059000011", {}},
      {"preceded by a letter", "x3171011205900001", {}},
      {"preceded by a digit", "93171011205900001", {}},
      {"followed by a non-ASCII letter is still reported", "3171011205900001é",
       {{"3171011205900001", 0.5}}},
      {"after non-ASCII text", "Nomor kependudukan — 3171011205900001",
       {{"3171011205900001", 0.5}}},
  });
}

TEST(NPWPRecognizer, PunctuatedFormOnly) {
  check_table(NPWPRecognizer(), {
      {"punctuated", "NPWP: 01.234.567.8-901.000", {{"01.234.567.8-901.000", 0.5}}},
      {"branch status", "npwp 09.876.543.2-123.001.", {{"09.876.543.2-123.001", 0.5}}},
      {"hyphen and dot exchanged", "01.234.567.8.901-000", {}},
      {"bare 15 digits", "012345678901000", {}},
      {"glued to a word", "x01.234.567.8-901.000", {}},
  });
}

TEST(HalvernEmployeeIdRecognizer, EightDigitsLeadingZero) {
  check_table(HalvernEmployeeIdRecognizer(), {
      {"eight digits starting with 0", "ID karyawan 01234567", {{"01234567", 0.5}}},
      {"eight digits starting with 1", "12345678", {}},
      {"nine digits starting with 0", "012345678", {}},
      {"seven digits", "0123456", {}},
      {"inside a word", "A01234567", {}},
  });
}

TEST(BPJSNumberRecognizer, ThirteenDigitsLowScore) {
  check_table(BPJSNumberRecognizer(), {
      {"bare 13 digits", "0001234567890", {{"0001234567890", 0.01}}},
      {"12 digits", "000123456789", {}},
      {"14 digits", "00012345678901", {}},
  });
}

TEST(FamilyCardNumberRecognizer, SixteenDigitsLowScore) {
  check_table(FamilyCardNumberRecognizer(), {
      {"bare 16 digits", "KK 3171010101090005", {{"3171010101090005", 0.1}}},
      {"15 digits", "317101010109000", {}},
  });
}

TEST(IdentityRecognizers, SixteenDigitsAreBothKtpAndFamilyCard) {
  const std::string text = "3171011205900001";
  EXPECT_EQ(spans(KTPRecognizer(), text), (std::vector<Span>{{text, 0.5}}));
  EXPECT_EQ(spans(FamilyCardNumberRecognizer(), text), (std::vector<Span>{{text, 0.1}}));
}

TEST(IdentityRecognizers, ConstructionFixesEntityLanguageAndTables) {
  struct Expect {
    std::shared_ptr<recognition::PatternRecognizer> recognizer;
    const char* entity;
    const char* pattern_name;
    size_t context_size;
  };
  const std::vector<Expect> table = {
      {std::make_shared<KTPRecognizer>(), Entities::KTP, "KTP (medium)", 5},
      {std::make_shared<NPWPRecognizer>(), Entities::NPWP, "NPWP (medium)", 3},
      {std::make_shared<BPJSNumberRecognizer>(), Entities::ID_BPJS_NUMBER, "BPJS_NUMBER", 4},
      {std::make_shared<FamilyCardNumberRecognizer>(), Entities::FAMILY_CARD_NUMBER, "FAMILY_CARD_NUMBER", 6},
      {std::make_shared<HalvernEmployeeIdRecognizer>(), Entities::EMPLOYEE_ID, "Employee ID (low)", 9},
  };
  for (const auto& e : table) {
    EXPECT_EQ(e.recognizer->supported_language(), "id");
    EXPECT_EQ(e.recognizer->supported_entities(), std::vector<std::string>{e.entity});
    ASSERT_EQ(e.recognizer->patterns().size(), 1u);
    EXPECT_EQ(e.recognizer->patterns()[0].name, e.pattern_name);
    EXPECT_EQ(e.recognizer->context().size(), e.context_size);
  }
  EXPECT_EQ(KTPRecognizer("en").supported_language(), "en");
}

TEST(Entities, ValuesAndOrder) {
  EXPECT_STREQ(Entities::KTP, "ID_KTP");
  EXPECT_STREQ(Entities::NPWP, "ID_NPWP");
  EXPECT_STREQ(Entities::ORGANIZATION_NAME, "ORGANIZATION");
  ASSERT_EQ(TESK_PRIVACY_ENTITIES.size(), 36u);
  EXPECT_STREQ(TESK_PRIVACY_ENTITIES.front(), "ID_KTP");
  EXPECT_STREQ(TESK_PRIVACY_ENTITIES.back(), "MEASUREMENT");
  EXPECT_STREQ(TESK_PRIVACY_ENTITIES[9], "ID_BPJS_NUMBER");
  EXPECT_STREQ(TESK_PRIVACY_ENTITIES[22], "MONEY");
  std::set<std::string> distinct(TESK_PRIVACY_ENTITIES.begin(), TESK_PRIVACY_ENTITIES.end());
  EXPECT_EQ(distinct.size(), 36u);
  RecognizerResult from_member(Entities::KTP, 0, 16, 0.5);
  EXPECT_EQ(from_member, RecognizerResult("ID_KTP", 0, 16, 0.5));
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
