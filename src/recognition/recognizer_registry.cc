#include "tesk_privacy/recognition/recognizer_registry.h"

#include <algorithm>
#include <stdexcept>

#include "recognition/nlp_entity_recognizer.h"
#include "recognition/predefined/credit_card_recognizer.h"
#include "recognition/predefined/crypto_recognizer.h"
#include "recognition/predefined/date_recognizer.h"
#include "recognition/predefined/email_recognizer.h"
#include "recognition/predefined/iban_recognizer.h"
#include "recognition/predefined/ip_recognizer.h"
#include "recognition/predefined/medical_license_recognizer.h"
#include "recognition/predefined/phone_recognizer.h"
#include "recognition/predefined/url_recognizer.h"
#include "recognition/predefined/us_bank_recognizer.h"
#include "recognition/predefined/us_itin_recognizer.h"
#include "recognition/predefined/us_license_recognizer.h"
#include "recognition/predefined/us_passport_recognizer.h"
#include "recognition/predefined/us_ssn_recognizer.h"

namespace tesk_privacy::recognition {

RecognizerRegistry::RecognizerRegistry(std::vector<std::shared_ptr<EntityRecognizer>> recognizers,
                                       std::vector<std::string> supported_languages)
    : supported_languages(std::move(supported_languages)) {
  for (auto& r : recognizers) add_recognizer(std::move(r));
}

void RecognizerRegistry::add_recognizer(std::shared_ptr<EntityRecognizer> recognizer) {
  if (!recognizer) throw std::invalid_argument("cannot add a null recognizer");
  by_language_[recognizer->supported_language()].push_back(recognizer);
  recognizers_.push_back(std::move(recognizer));
}

void RecognizerRegistry::load_predefined_recognizers(std::optional<std::vector<std::string>> languages) {
  for (const std::string& language : languages.value_or(std::vector<std::string>{"en"})) {
    // In the order of predefined_recognizer_table().
    add_recognizer(std::make_shared<EmailRecognizer>(language));
    add_recognizer(std::make_shared<PhoneRecognizer>(language));
    add_recognizer(std::make_shared<CreditCardRecognizer>(language));
    add_recognizer(std::make_shared<IbanRecognizer>(language));
    add_recognizer(std::make_shared<CryptoRecognizer>(language));
    add_recognizer(std::make_shared<IpRecognizer>(language));
    add_recognizer(std::make_shared<UrlRecognizer>(language));
    add_recognizer(std::make_shared<MedicalLicenseRecognizer>(language));
    add_recognizer(std::make_shared<UsBankRecognizer>(language));
    add_recognizer(std::make_shared<UsLicenseRecognizer>(language));
    add_recognizer(std::make_shared<UsItinRecognizer>(language));
    add_recognizer(std::make_shared<UsPassportRecognizer>(language));
    add_recognizer(std::make_shared<UsSsnRecognizer>(language));
    add_recognizer(std::make_shared<DateRecognizer>(language));
  }
  // The NLP-based recognizer: for the given languages, else for every
  // language of the built-in NLP engine.
  for (const std::string& language : languages.value_or(std::vector<std::string>{"en", "id"})) {
    add_recognizer(std::make_shared<NlpEntityRecognizer>(language));
  }
}

size_t RecognizerRegistry::remove_recognizer(const std::string& name) {
  size_t before = recognizers_.size();
  std::erase_if(recognizers_, [&](const auto& r) { return r->name() == name; });
  for (auto& [language, selected] : by_language_) {
    std::erase_if(selected, [&](const auto& r) { return r->name() == name; });
  }
  return before - recognizers_.size();
}

const std::vector<std::shared_ptr<EntityRecognizer>>& RecognizerRegistry::recognizers_for(
    const std::string& language) const {
  if (std::find(supported_languages.begin(), supported_languages.end(), language) ==
      supported_languages.end()) {
    std::string known;
    for (const auto& l : supported_languages) known += (known.empty() ? "" : ", ") + l;
    throw std::invalid_argument("language '" + language +
                                "' is not supported; supported languages: " + known);
  }
  static const std::vector<std::shared_ptr<EntityRecognizer>> none;
  const auto found = by_language_.find(language);
  return found == by_language_.end() ? none : found->second;
}

std::vector<std::shared_ptr<EntityRecognizer>> RecognizerRegistry::get_recognizers(
    const std::string& language, const std::vector<std::string>& entities) const {
  std::vector<std::shared_ptr<EntityRecognizer>> selected;
  for (const auto& r : recognizers_for(language)) {
    bool wanted = entities.empty() ||
                  std::any_of(entities.begin(), entities.end(),
                              [&](const std::string& e) { return r->supports_entity(e); });
    if (wanted) selected.push_back(r);
  }
  return selected;
}

std::vector<std::string> RecognizerRegistry::get_supported_entities(
    const std::vector<std::string>& languages) const {
  std::vector<std::string> entities;
  for (const auto& r : recognizers_) {
    if (std::find(languages.begin(), languages.end(), r->supported_language()) == languages.end()) continue;
    for (const auto& e : r->supported_entities()) {
      if (std::find(entities.begin(), entities.end(), e) == entities.end()) entities.push_back(e);
    }
  }
  return entities;
}

}  // namespace tesk_privacy::recognition
