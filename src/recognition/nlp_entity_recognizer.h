// NlpEntityRecognizer: reports the named entities that the NLP engine's
// model found (NlpArtifacts::entities) — PERSON, LOCATION, ORGANIZATION,
// each scored with the model's calibrated confidence — and NRP (nationality,
// religious or ethnic group) from word lists in Indonesian and English:
// demonyms and religion words on their own ("Indonesian", "Muslim",
// "Kristen", "Buddha") and group names after a word that introduces a group
// ("orang Jawa", "suku Batak", "warga negara Amerika", "umat Hindu").
// A model LOCATION or ORGANIZATION with the same span as an NRP is dropped
// in its favour.
//
//   NlpEntityRecognizer recognizer("id");
//   auto results = recognizer.analyze(text, {}, &nlp_artifacts);
//
// Immutable; analyze may run on several threads at once.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tesk_privacy/recognition/entity_recognizer.h"

namespace tesk_privacy::recognition {

class NlpEntityRecognizer : public EntityRecognizer {
 public:
  // The score of an NRP found in the word lists.
  static constexpr double kNrpScore = 0.85;

  explicit NlpEntityRecognizer(std::string supported_language = "en");

  // Without NLP artifacts there is nothing to report.
  std::vector<RecognizerResult> analyze(const Utf8Text& text, const std::vector<std::string>& entities,
                                        const NlpArtifacts* nlp_artifacts,
                                        std::optional<int> regex_flags = std::nullopt) const override;
};

}  // namespace tesk_privacy::recognition
