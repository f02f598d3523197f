// RecognizerRegistry: the recognizers an analyzer engine may run, each for
// one language. Filled once (add_recognizer), then only read.
//
//   RecognizerRegistry registry;
//   registry.supported_languages = {"en", "id"};
//   registry.add_recognizer(std::make_shared<KTPRecognizer>("id"));
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tesk_privacy/recognition/entity_recognizer.h"

namespace tesk_privacy::recognition {

class RecognizerRegistry {
 public:
  explicit RecognizerRegistry(std::vector<std::shared_ptr<EntityRecognizer>> recognizers = {},
                              std::vector<std::string> supported_languages = {"en"});

  void add_recognizer(std::shared_ptr<EntityRecognizer> recognizer);
  // Adds the predefined recognizers (recognition/predefined/: e-mail, phone,
  // credit card, IBAN, crypto, IP, URL, medical license, the US identifiers
  // and date/time), one set per language, for "en" when `languages` is
  // absent; then the NLP-based NlpEntityRecognizer (persons, locations,
  // organisations, NRP) for each of `languages`, or for "en" and "id", the
  // languages of the built-in NLP engine, when absent. supported_languages
  // is left as it is.
  void load_predefined_recognizers(std::optional<std::vector<std::string>> languages = std::nullopt);
  // Removes every recognizer of that name; returns how many were removed.
  size_t remove_recognizer(const std::string& name);

  // Recognizers serving `language` that support at least one of `entities`
  // (every recognizer of the language when `entities` is empty), in the
  // order they were added. Throws std::invalid_argument when the language is
  // not one of supported_languages.
  std::vector<std::shared_ptr<EntityRecognizer>> get_recognizers(
      const std::string& language, const std::vector<std::string>& entities = {}) const;
  // Every recognizer serving `language`, as get_recognizers() with no
  // entities gives them, without copying: an engine analyzing on several
  // threads then touches no shared reference count per call.
  const std::vector<std::shared_ptr<EntityRecognizer>>& recognizers_for(const std::string& language) const;

  // Entity types reported by the recognizers of the given languages, each
  // once, in first-seen order.
  std::vector<std::string> get_supported_entities(const std::vector<std::string>& languages) const;

  const std::vector<std::shared_ptr<EntityRecognizer>>& recognizers() const { return recognizers_; }

  std::vector<std::string> supported_languages;

 private:
  std::vector<std::shared_ptr<EntityRecognizer>> recognizers_;
  std::map<std::string, std::vector<std::shared_ptr<EntityRecognizer>>, std::less<>> by_language_;
};

}  // namespace tesk_privacy::recognition
