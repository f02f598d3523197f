// get_pseudoanonymizer_mapping: the table's order and value formats, one
// shared seeded generator behind all entries, ignored arguments, locales.
#include "tesk_privacy/pii_detector/store/pseudo_anonymizer_mapping.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include "tesk_privacy/faker/faker.h"

namespace tesk_privacy::pii_detector {
namespace {

// Entity type and the whole-value pattern of its fake values, in table order.
const std::vector<std::pair<std::string, std::string>> kTable = {
    {"PERSON", R"([A-Za-z].*)"},
    {"EMAIL_ADDRESS", R"([a-z0-9._]+@[a-z0-9.]+)"},
    {"PHONE_NUMBER", R"([-+()0-9. x]{10,})"},
    {"IBAN_CODE", R"(GB\d{2}[A-Z]{4}\d{14})"},
    {"CREDIT_CARD", R"(\d{14,16})"},
    {"CRYPTO", R"(bc1[a-z0-9]{26})"},
    {"IP_ADDRESS", R"(\d{1,3}(\.\d{1,3}){3})"},
    {"LOCATION", R"([A-Z].*)"},
    {"DATE_TIME", R"((19[7-9]\d|20[0-2]\d)-(0[1-9]|1[0-2])-(0[1-9]|[12]\d|3[01]))"},
    {"NRP", R"([1-9]\d{7})"},
    {"MEDICAL_LICENSE", R"([A-Z]{2}\d{6})"},
    {"URL", R"(https?://[a-z0-9.]+/)"},
    {"NIK", R"([1-9]\d{15})"},
    {"ID_NPWP", R"(\d{2}\.\d{3}\.\d{3}\.\d-\d{3}\.\d{3})"},
    {"ORGANIZATION", R"((PT .+( Tbk)?|CV .+))"},
    {"ID_KTP", R"([1-9]\d{5}(0[1-9]|[12]\d|3[01])(0[1-9]|1[0-2])\d{2}(?!0000)\d{4})"},
    {"EMPLOYEE_ID", R"([1-9]\d{7})"},
    {"US_BANK_NUMBER", R"([A-Z]{4}\d{14})"},
    {"US_DRIVER_LICENSE", R"([1-9]\d{8})"},
    {"US_ITIN", R"(9\d{2}-7\d-\d{4})"},
    {"US_PASSPORT", R"(\d{5}[A-Z]{2})"},
    {"US_SSN", R"(\d{3}-\d{2}-\d{4})"},
    {"UK_NHS", R"([1-9]\d{9})"},
    {"ES_NIF", R"(\d{8}[A-Z])"},
    {"IT_FISCAL_CODE", R"([A-Z]{6}\d{2}[A-Z]\d{2}[A-Z]\d{3}[A-Z])"},
    {"IT_DRIVER_LICENSE", R"([A-Z]A\d{7}[A-Z])"},
    {"IT_VAT_CODE", R"(IT[A-Za-z]{11})"},
    {"IT_PASSPORT", R"([1-9]\d{8})"},
    {"IT_IDENTITY_CARD", R"([1-9]\d{6})"},
    {"SG_NRIC_FIN", R"([A-Z]{4}\d{4}[A-Z])"},
    {"AU_ABN", R"([1-9]\d{10})"},
    {"AU_ACN", R"([1-9]\d{8})"},
    {"AU_TFN", R"([1-9]\d{8})"},
    {"AU_MEDICARE", R"([1-9]\d{9})"},
};

// One value from every entry, in table order.
std::vector<std::string> one_round(const PseudoAnonymizerMapping& mapping, const std::string& argument = "") {
  std::vector<std::string> values;
  for (const auto& [entity_type, generator] : mapping) values.push_back(generator(argument));
  return values;
}

TEST(PseudoAnonymizerMapping, TableOrderAndValueFormats) {
  for (const char* locale : {"en_US", "id_ID"}) {
    const PseudoAnonymizerMapping mapping = get_pseudoanonymizer_mapping(42, locale);
    ASSERT_EQ(mapping.size(), kTable.size());
    bool mixed_case_vat = false;
    for (size_t i = 0; i < kTable.size(); ++i) {
      ASSERT_EQ(mapping[i].first, kTable[i].first) << "entry " << i;
      const std::regex pattern(kTable[i].second);
      for (int draw = 0; draw < 300; ++draw) {
        const std::string value = mapping[i].second("Budi Santoso");
        ASSERT_TRUE(std::regex_match(value, pattern)) << locale << " " << kTable[i].first << ": " << value;
        if (kTable[i].first == "IT_VAT_CODE") {
          mixed_case_vat = mixed_case_vat || (std::regex_search(value.substr(2), std::regex("[a-z]")) &&
                                              std::regex_search(value.substr(2), std::regex("[A-Z]")));
        }
      }
    }
    EXPECT_TRUE(mixed_case_vat) << "IT_VAT_CODE letters keep their mixed case";
  }
}

TEST(PseudoAnonymizerMapping, EntriesShareOneSeededGenerator) {
  // A generator seeded alike, called in the same order, yields the same
  // values: every entry draws from the one generator of the table.
  const PseudoAnonymizerMapping mapping = get_pseudoanonymizer_mapping(7, "id_ID");
  const std::map<std::string, std::function<std::string()>> entry = [&] {
    std::map<std::string, std::function<std::string()>> out;
    for (const auto& item : mapping) out[item.first] = [generator = item.second] { return generator("x"); };
    return out;
  }();
  faker::Faker twin("id_ID");
  twin.seed_instance(7);
  for (int round = 0; round < 5; ++round) {
    EXPECT_EQ(entry.at("PERSON")(), twin.name());
    EXPECT_EQ(entry.at("IBAN_CODE")(), twin.iban());
    EXPECT_EQ(entry.at("NIK")(), std::to_string(twin.random_number(16, true)));
    EXPECT_EQ(entry.at("EMAIL_ADDRESS")(), twin.email());
    EXPECT_EQ(entry.at("IT_VAT_CODE")(), twin.bothify("IT???????????"));
    EXPECT_EQ(entry.at("LOCATION")(), twin.city());
  }
}

TEST(PseudoAnonymizerMapping, SameSeedSameValuesExceptProcessWideDraws) {
  auto ktp_index = 15, organization_index = 14;
  const auto first = get_pseudoanonymizer_mapping(42), second = get_pseudoanonymizer_mapping(42);
  std::vector<std::string> a, b;
  for (int round = 0; round < 3; ++round) {
    for (const std::string& v : one_round(first, "Budi")) a.push_back(v);
    for (const std::string& v : one_round(second, "a different argument")) b.push_back(v);
  }
  auto bare = [](std::string company) {
    company.erase(0, 3);
    return company.ends_with(" Tbk") ? company.substr(0, company.size() - 4) : company;
  };
  for (size_t i = 0; i < a.size(); ++i) {
    const size_t entry = i % kTable.size();
    if (entry == size_t(ktp_index)) continue;
    if (entry == size_t(organization_index)) {
      EXPECT_EQ(bare(a[i]), bare(b[i]));
    } else {
      EXPECT_EQ(a[i], b[i]) << kTable[entry].first;
    }
  }
  EXPECT_NE(one_round(get_pseudoanonymizer_mapping(std::nullopt)),
            one_round(get_pseudoanonymizer_mapping(std::nullopt)));
  EXPECT_NE(one_round(get_pseudoanonymizer_mapping(1)), one_round(get_pseudoanonymizer_mapping(2)));
}

TEST(PseudoAnonymizerMapping, LocaleChoosesTheData) {
  const auto indonesian = get_pseudoanonymizer_mapping(3, "id_ID");
  for (int i = 0; i < 200; ++i) {
    const std::string phone = indonesian[2].second("");
    EXPECT_TRUE(phone.starts_with("+62") || phone.starts_with("0") || phone.starts_with("(0")) << phone;
  }
  EXPECT_THROW(get_pseudoanonymizer_mapping(3, "xx_XX"), std::invalid_argument);
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
