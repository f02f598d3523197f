#include "tesk_privacy/pii_detector/text_analyzer.h"

#include <gtest/gtest.h>

#include <set>

#include "pii_detector/recognizer/project_name_recognizer.h"

namespace tesk_privacy::pii_detector {
namespace {

struct Found {
  std::string type;
  std::string text;
  bool operator<(const Found& o) const { return std::tie(type, text) < std::tie(o.type, o.text); }
  bool operator==(const Found&) const = default;
};

std::set<Found> found(const TextAnalyzer& analyzer, const std::string& input, const std::string& language = "id") {
  Utf8Text text(input);
  std::set<Found> out;
  for (const auto& r : analyzer.analyze(text, language)) out.insert({r.entity_type, std::string(text.slice(r.start, r.end))});
  return out;
}

const TextAnalyzer& shared_analyzer() {
  static const TextAnalyzer analyzer;
  return analyzer;
}

TEST(TextAnalyzer, CustomerSupportChatEndToEnd) {
  const std::string chat =
      "Halo, saya mau update data. NIK saya 3171011205900001, nomor HP 0812-3456-7890, "
      "email budi.santoso@gmail.com. Gaji saya Rp 7.500.000 per bulan, ditransfer ke "
      "nomor rekening 5210987654 di bank. Saya bekerja di PT Sinar Mas Agro.";
  const std::set<Found> expected = {
      {"ID_KTP", "3171011205900001"},
      {"PHONE_NUMBER", "0812-3456-7890"},
      {"EMAIL_ADDRESS", "budi.santoso@gmail.com"},
      {"MONEY", "Rp 7.500.000"},
      {"BANK_ACCOUNT", "5210987654"},
      {"ORGANIZATION", "PT Sinar Mas Agro"},
  };
  std::set<Found> got = found(shared_analyzer(), chat);
  for (const Found& f : expected) EXPECT_TRUE(got.count(f)) << f.type << " " << f.text;
  for (const Found& f : got) {
    EXPECT_TRUE(expected.count(f) || f.type == "PERSON" || f.type == "LOCATION" || f.type == "DATE_TIME")
        << "unexpected " << f.type << " " << f.text;
  }
}

TEST(TextAnalyzer, RegistersTheBuiltInRecognizersInOrder) {
  const auto& recognizers = shared_analyzer().registry().recognizers();
  std::vector<std::string> names;
  for (const auto& r : recognizers) names.push_back(r->name() + "/" + r->supported_language());
  // The last registration of a name: the framework's own credit-card
  // recognizer, loaded first, shares its name with ours.
  auto at = [&](const std::string& n) { return names.rend() - std::find(names.rbegin(), names.rend(), n); };
  EXPECT_LT(at("BankAccountNumberRecognizer/en"), at("BankAccountNumberRecognizer/id"));
  EXPECT_LT(at("BankAccountNumberRecognizer/id"), at("BPJSNumberRecognizer/en"));
  EXPECT_LT(at("ProjectNameRecognizer/id"), at("CreditCardRecognizer/en"));
  EXPECT_LT(at("CreditCardRecognizer/id"), at("EmailRecognizer/id"));
  EXPECT_EQ(names.back(), "PhoneRecognizer/id");
  EXPECT_EQ(shared_analyzer().registry().supported_languages, (std::vector<std::string>{"en", "id"}));
}

TEST(TextAnalyzer, ThresholdContextAndLengthFilter) {
  const TextAnalyzer& a = shared_analyzer();
  // A bare 13-digit number is only reported with a context word near it.
  EXPECT_FALSE(found(a, "0001234567890").count({"ID_BPJS_NUMBER", "0001234567890"}));
  EXPECT_TRUE(found(a, "nomor bpjs saya 0001234567890").count({"ID_BPJS_NUMBER", "0001234567890"}));
  AnalyzeOptions with_context;
  with_context.context = std::vector<std::string>{"BPJS"};
  bool boosted = false;
  for (const auto& r : a.analyze("0001234567890", "id", with_context)) boosted |= r.entity_type == "ID_BPJS_NUMBER";
  EXPECT_TRUE(boosted);

  using R = recognition::RecognizerResult;
  auto kept = TextAnalyzer::_filter_entities_based_on_the_text_length(
      {R("A", 0, 1, 1), R("B", 0, 2, 1), R("C", 0, 138, 1), R("D", 0, 139, 1), R("E", 5, 5, 1)});
  ASSERT_EQ(kept.size(), 2u);
  EXPECT_EQ(kept[0].entity_type, "B");
  EXPECT_EQ(kept[1].entity_type, "C");
}

TEST(TextAnalyzer, AdditionalRecognizersAndExecute) {
  TextAnalyzer a({std::make_shared<ProjectNameRecognizer>("id", std::vector<std::string>{"Nebula"})});
  EXPECT_TRUE(found(a, "Proyek Nebula dimulai").count({"PROJECT", "Nebula"}));
  EXPECT_EQ(a.registry().recognizers().back()->name(), "ProjectNameRecognizer");
  auto results = a.execute({{"text", std::string("NIK 3171011205900001")}, {"language", std::string("en")}});
  ASSERT_FALSE(results.empty());
  EXPECT_THROW(a.analyze("x", "fr"), std::invalid_argument);
}

TEST(TextAnalyzer, ConfigurationWithoutModelsIsRefusedByTheEngine) {
  recognition::NlpConfiguration no_models;
  no_models.models.clear();
  EXPECT_THROW(TextAnalyzer({}, no_models), std::invalid_argument);
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
