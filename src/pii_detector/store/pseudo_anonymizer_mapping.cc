#include "tesk_privacy/pii_detector/store/pseudo_anonymizer_mapping.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <memory>

#include "pii_detector/store/faker_provider/faker_company_provider.h"
#include "pii_detector/store/faker_provider/faker_ktp_provider.h"
#include "tesk_privacy/faker/faker.h"
#include "tesk_privacy/pii_detector/constants.h"

namespace tesk_privacy::pii_detector {
namespace {

using faker::Faker;
using Value = std::function<std::string(Faker&)>;

std::string to_upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// A number of exactly n digits, the first not 0.
Value digits(int n) {
  return [n](Faker& fake) { return std::to_string(fake.random_number(n, true)); };
}

Value bothify(std::string pattern) {
  return [pattern](Faker& fake) { return fake.bothify(pattern); };
}

Value bothify_upper(std::string pattern) {
  return [pattern](Faker& fake) { return to_upper(fake.bothify(pattern)); };
}

// A bech32-looking Bitcoin address: "bc1" and 26 characters drawn with
// repetition from a-z and 0-9.
std::string crypto_address(Faker& fake) {
  static const std::vector<char> ALPHABET = [] {
    std::vector<char> out;
    for (char c = 'a'; c <= 'z'; ++c) out.push_back(c);
    for (char c = '0'; c <= '9'; ++c) out.push_back(c);
    return out;
  }();
  const std::vector<char> chosen = fake.random_choices(ALPHABET, 26);
  return "bc1" + std::string(chosen.begin(), chosen.end());
}

}  // namespace

PseudoAnonymizerMapping get_pseudoanonymizer_mapping(std::optional<uint64_t> seed,
                                                     const std::string& locale, bool follow_seed) {
  auto fake = std::make_shared<Faker>(locale);
  fake->add_provider<CompanyProvider>().follow_seed(follow_seed);
  fake->add_provider<KTPProvider>().follow_seed(follow_seed);
  fake->seed_instance(seed);

  const std::vector<std::pair<std::string, Value>> table = {
      {Entities::PERSON, [](Faker& f) { return f.name(); }},
      {Entities::EMAIL_ADDRESS, [](Faker& f) { return f.email(); }},
      {Entities::PHONE_NUMBER, [](Faker& f) { return f.phone_number(); }},
      {Entities::IBAN_CODE, [](Faker& f) { return f.iban(); }},
      {Entities::CREDIT_CARD, [](Faker& f) { return f.credit_card_number(); }},
      {Entities::CRYPTO, crypto_address},
      {Entities::IP_ADDRESS, [](Faker& f) { return f.ipv4_public(); }},
      {Entities::LOCATION, [](Faker& f) { return f.city(); }},
      {Entities::DATE_TIME, [](Faker& f) { return f.date(); }},
      {Entities::NRP, digits(8)},
      {Entities::MEDICAL_LICENSE, bothify_upper("??######")},
      {Entities::URL, [](Faker& f) { return f.url(); }},
      {"NIK", digits(16)},
      {Entities::NPWP, bothify("##.###.###.#-###.###")},
      {Entities::ORGANIZATION_NAME, [](Faker& f) { return f.provider<CompanyProvider>().custom_company(); }},
      {Entities::KTP, [](Faker& f) { return f.provider<KTPProvider>().ktp(); }},
      {Entities::EMPLOYEE_ID, digits(8)},
      {Entities::US_BANK_NUMBER, [](Faker& f) { return f.bban(); }},
      {Entities::US_DRIVER_LICENSE, digits(9)},
      {Entities::US_ITIN, bothify("9##-7#-####")},
      {Entities::US_PASSPORT, bothify_upper("#####??")},
      {Entities::US_SSN, [](Faker& f) { return f.ssn(); }},
      {"UK_NHS", digits(10)},
      {"ES_NIF", bothify_upper("########?")},
      {"IT_FISCAL_CODE", bothify_upper("??????##?##?###?")},
      {"IT_DRIVER_LICENSE", bothify_upper("?A#######?")},
      {"IT_VAT_CODE", bothify("IT???????????")},
      {"IT_PASSPORT", digits(9)},
      {"IT_IDENTITY_CARD", digits(7)},
      {"SG_NRIC_FIN", bothify_upper("????####?")},
      {"AU_ABN", digits(11)},
      {"AU_ACN", digits(9)},
      {"AU_TFN", digits(9)},
      {"AU_MEDICARE", digits(10)},
  };

  PseudoAnonymizerMapping mapping;
  mapping.reserve(table.size());
  for (const auto& row : table) {
    // A copy, not the structured binding: clang before 16 cannot capture one.
    const auto& value = row.second;
    mapping.emplace_back(row.first, [fake, value](const std::string&) { return value(*fake); });
  }
  return mapping;
}

}  // namespace tesk_privacy::pii_detector
