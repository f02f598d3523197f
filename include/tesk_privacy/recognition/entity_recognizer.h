// EntityRecognizer: the base of every recognizer. A recognizer reports spans
// of one or more entity types in texts of one language.
//
// Subclasses implement analyze(). The base cannot call a subclass's load()
// from its own constructor (C++ dispatches to the base there), so a subclass
// that needs loading calls load() at the end of its own constructor.
//
// Recognizers are built once and then only read: analyze() is const and may
// run on several threads at once.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tesk_privacy/recognition/nlp_artifacts.h"
#include "tesk_privacy/recognition/recognizer_result.h"
#include "tesk_privacy/text/utf8_text.h"

namespace tesk_privacy::recognition {

class EntityRecognizer {
 public:
  static constexpr double MIN_SCORE = 0.0;
  static constexpr double MAX_SCORE = 1.0;

  EntityRecognizer(std::vector<std::string> supported_entities, std::string name,
                   std::string supported_language = "en", std::string version = "0.0.1",
                   std::vector<std::string> context = {});
  virtual ~EntityRecognizer() = default;
  EntityRecognizer(const EntityRecognizer&) = delete;
  EntityRecognizer& operator=(const EntityRecognizer&) = delete;

  virtual void load() {}

  // Spans in `text` of the requested `entities` (empty: all supported ones).
  // `regex_flags` (Python `re` bits) applies to recognizers that match
  // regular expressions; absent means their default.
  virtual std::vector<RecognizerResult> analyze(const Utf8Text& text,
                                                const std::vector<std::string>& entities,
                                                const NlpArtifacts* nlp_artifacts,
                                                std::optional<int> regex_flags = std::nullopt) const = 0;

  const std::vector<std::string>& supported_entities() const { return supported_entities_; }
  std::vector<std::string> get_supported_entities() const { return supported_entities_; }
  const std::string& supported_language() const { return supported_language_; }
  const std::string& name() const { return name_; }
  const std::string& version() const { return version_; }
  // Unique among live recognizers; results carry it in their metadata.
  const std::string& id() const { return id_; }
  const std::vector<std::string>& context() const { return context_; }
  bool supports_entity(const std::string& entity) const;

 protected:
  // Subclasses may rewrite their context words while they are constructed.
  std::vector<std::string>& mutable_context() { return context_; }
  // Metadata naming this recognizer, for the results it reports: a copy of
  // its own for each call, which the results of that call share. Sharing
  // the recognizer's one copy would make threads analyzing at once contend
  // on its reference count for every result.
  RecognizerResult::Metadata recognizer_metadata() const { return RecognizerResult::Metadata(metadata_.map()); }

 private:
  std::vector<std::string> supported_entities_;
  std::string supported_language_;
  std::string name_;
  std::string version_;
  std::string id_;
  std::vector<std::string> context_;
  RecognizerResult::Metadata metadata_;
};

}  // namespace tesk_privacy::recognition
