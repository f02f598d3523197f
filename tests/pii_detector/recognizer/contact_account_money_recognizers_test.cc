// Phone, bank-account, social-profile and money recognizers: which spans each
// reports on a table of texts, under the analysis's default flags.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "pii_detector/recognizer/bank_account_number_recognizer.h"
#include "pii_detector/recognizer/facebook_account_recognizer.h"
#include "pii_detector/recognizer/indonesian_phone_number_recognizer.h"
#include "pii_detector/recognizer/linkedin_account_recognizer.h"
#include "pii_detector/recognizer/money_recognizer.h"
#include "recognition/predefined/span_table.h"
#include "tesk_privacy/pii_detector/constants.h"

namespace tesk_privacy::pii_detector {
namespace {

using testing::check_table;
using testing::spans;

TEST(IndonesianPhoneNumberRecognizer, PrefixesCodesAndSeparators) {
  check_table(IndonesianPhoneNumberRecognizer(), {
      {"trunk prefix 0, code 81, ten digits", "hubungi 0812345678901", {{"0812345678901", 0.7}}},
      {"country prefix +62", "hubungi +62812345678901", {{"+62812345678901", 0.7}}},
      {"bare 62", "hubungi 62812345678901", {{"62812345678901", 0.7}}},
      {"three groups of four with hyphens", "HP: 0812-3456-7890", {{"0812-3456-7890", 0.7}}},
      {"Jakarta landline with blanks", "Telp. 021 555 1234", {{"021 555 1234", 0.7}}},
      {"+62 and a blank before the code", "+62 812-3456-7890", {{"+62 812-3456-7890", 0.7}}},
      {"seven digits after the code", "0812345678", {{"0812345678", 0.7}}},
      {"six digits after the code", "081234567", {}},
      {"eleven digits after the code", "08123456789012", {}},
      {"code 11 is no operator or area code", "0112345678901", {}},
      {"glued to a preceding letter", "a0812345678901", {}},
      {"glued to a preceding digit", "10812345678901", {}},
      {"mixed separators", "0812-3456 7890", {{"0812-3456 7890", 0.7}}},
      {"two blanks between groups", "0812  3456  7890", {}},
  });
}

TEST(BankAccountNumberRecognizer, ExactDigitRunLengths) {
  check_table(BankAccountNumberRecognizer(), {
      {"10 digits", "rekening 1234567890", {{"1234567890", 0.01}}},
      {"12 digits", "123456789012", {{"123456789012", 0.01}}},
      {"13 digits", "1234567890123", {{"1234567890123", 0.01}}},
      {"15 digits", "123456789012345", {{"123456789012345", 0.01}}},
      {"16 digits", "1234567890123456", {{"1234567890123456", 0.01}}},
      {"11 digits", "12345678901", {}},
      {"14 digits", "12345678901234", {}},
      {"17 digits", "12345678901234567", {}},
      {"inside a word", "ACC1234567890", {}},
      {"two accounts, reported in pattern order", "1234567890 dan 123456789012345",
       {{"123456789012345", 0.01}, {"1234567890", 0.01}}},
  });
}

TEST(FacebookAccountRecognizer, SchemeWwwAndProfileName) {
  check_table(FacebookAccountRecognizer(), {
      {"with scheme", "https://www.facebook.com/budi.santoso", {{"https://www.facebook.com/budi.santoso", 0.8}}},
      {"http without www", "http://facebook.com/budi", {{"http://facebook.com/budi", 0.8}}},
      {"www only", "lihat www.facebook.com/budi99", {{"www.facebook.com/budi99", 0.8}}},
      {"neither", "facebook.com/budi", {{"facebook.com/budi", 0.8}}},
      {"a closing full stop belongs to the name", "Profil saya facebook.com/budi.santoso.",
       {{"facebook.com/budi.santoso.", 0.8}}},
      {"upper-case domain under IGNORECASE", "FACEBOOK.COM/Budi", {{"FACEBOOK.COM/Budi", 0.8}}},
      {"no profile name", "facebook.com/", {}},
      {"another domain", "facebookxcom/budi", {}},
      {"not anchored at a word boundary", "myfacebook.com/budi", {{"facebook.com/budi", 0.8}}},
  });
}

TEST(LinkedinAccountRecognizer, InOrEnPathOnly) {
  check_table(LinkedinAccountRecognizer(), {
      {"in path with scheme", "https://www.linkedin.com/in/budi-santoso",
       {{"https://www.linkedin.com/in/budi-santoso", 0.8}}},
      {"en path without scheme", "linkedin.com/en/budi", {{"linkedin.com/en/budi", 0.8}}},
      {"the name stops at a full stop", "Lihat linkedin.com/in/budi-santoso.",
       {{"linkedin.com/in/budi-santoso", 0.8}}},
      {"company page", "https://www.linkedin.com/company/acme", {}},
      {"no name", "linkedin.com/in/", {}},
  });
}

TEST(MoneyRecognizer, WithAndWithoutSymbol) {
  check_table(MoneyRecognizer(), {
      {"Rp with blank", "Rp 1.500.000", {{"Rp 1.500.000", 0.7}, {"1.500.000", 0.01}}},
      {"Rp glued", "Rp1.500.000", {{"Rp1.500.000", 0.7}, {"500.000", 0.01}}},
      {"dollar with cents", "$1,234.56", {{"$1,234.56", 0.7}, {"1,234.56", 0.01}}},
      {"currency code", "USD 50", {{"USD 50", 0.7}, {"50", 0.01}}},
      {"lower-case code under IGNORECASE", "usd 50", {{"usd 50", 0.7}, {"50", 0.01}}},
      {"comma decimals stay out of the symbol span", "Rp 1.500.000,00",
       {{"Rp 1.500.000", 0.7}, {"1.500.000,00", 0.01}}},
      {"euro and pound signs", "€20 £30", {{"€20", 0.7}, {"£30", 0.7}, {"20", 0.01}, {"30", 0.01}}},
      {"zero at the end of the text", "Rp 0", {}},
      {"zero with decimals at the end of a line", "USD 0.00\nberikutnya", {}},
      {"zero followed by more text", "Rp 0 saja", {{"Rp 0", 0.7}, {"0", 0.01}}},
      {"a single digit", "5", {{"5", 0.01}}},
      {"preceded by a digit", "1Rp 500", {{"500", 0.01}}},
      {"bare amount", "gaji 7.250.000", {{"7.250.000", 0.01}}},
  });
}

TEST(MoneyRecognizer, ZeroRuleFollowsMultiline) {
  const MoneyRecognizer r;
  // Without MULTILINE "$" means the end of the text only.
  constexpr int kNoMultiline = regex::IGNORECASE | regex::DOTALL;
  EXPECT_EQ(spans(r, "Rp 0\nlagi", kNoMultiline), (std::vector<testing::Span>{{"Rp 0", 0.7}, {"0", 0.01}}));
  EXPECT_EQ(spans(r, "Rp 0\nlagi"), (std::vector<testing::Span>{}));
}

TEST(ContactAccountMoneyRecognizers, EntityAndLanguage) {
  const std::vector<std::pair<std::shared_ptr<recognition::PatternRecognizer>, const char*>> table = {
      {std::make_shared<IndonesianPhoneNumberRecognizer>(), Entities::PHONE_NUMBER},
      {std::make_shared<BankAccountNumberRecognizer>(), Entities::BANK_ACCOUNT},
      {std::make_shared<FacebookAccountRecognizer>(), Entities::FACEBOOK_ACCOUNT},
      {std::make_shared<LinkedinAccountRecognizer>(), Entities::LINKEDIN_ACCOUNT},
      {std::make_shared<MoneyRecognizer>(), Entities::MONEY},
  };
  for (const auto& [recognizer, entity] : table) {
    EXPECT_EQ(recognizer->supported_language(), "id");
    EXPECT_EQ(recognizer->supported_entities(), std::vector<std::string>{entity});
  }
  EXPECT_EQ(MoneyRecognizer("en").supported_language(), "en");
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
