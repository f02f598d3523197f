// FlairRecognizer: persons, locations and organizations found by a
// sequence-tagging NER model (flair::SequenceTagger), reported as results.
//
// The model's labels map onto the requested entities through label groups
// ({LOCATION} <- {"LOCATION", "LOC"}, {PERSON} <- {"PER", "PERSON"},
// {ORGANIZATION_NAME} <- {"ORG"} by default); results are grouped by
// requested entity, in the order requested, and scored with the span's
// confidence rounded to two decimals.
//
//   FlairRecognizer english;                 // loads "flair/ner-english-large"
//   FlairRecognizer indonesian("id");        // the same model, loaded once
//   FlairRecognizer mine("id", std::nullopt, std::nullopt, my_tagger);
//   auto results = english.analyze(text, {Entities::PERSON}, nullptr);
//
// Loaded models are kept, per model name, in one cache for the whole
// process and never dropped; a caller-supplied tagger never enters it.
// A failed prediction is logged at error level and yields no results.
// Immutable after construction; analyze() may run on several threads when
// the tagger's predict() may.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "flair/sequence_tagger.h"
#include "tesk_privacy/core/ordered_map.h"
#include "tesk_privacy/pii_detector/constants.h"
#include "tesk_privacy/recognition/entity_recognizer.h"

namespace tesk_privacy::pii_detector {

class FlairRecognizer : public recognition::EntityRecognizer {
 public:
  // (entity group, label group): labels of the second set may stand for
  // the entities of the first.
  using CheckLabelGroups = std::vector<std::pair<std::set<std::string>, std::set<std::string>>>;
  using ModelCache = std::map<std::string, std::shared_ptr<flair::SequenceTagger>>;

  inline static const std::vector<std::string> ENTITIES = {Entities::LOCATION, Entities::PERSON,
                                                           Entities::ORGANIZATION_NAME};
  static constexpr const char* DEFAULT_EXPLANATION = "Identified as {} by Flair's Named Entity Recognition";
  inline static const CheckLabelGroups DEFAULT_CHECK_LABEL_GROUPS = {
      {{Entities::LOCATION}, {"LOCATION", "LOC"}},
      {{Entities::PERSON}, {"PER", "PERSON"}},
      {{Entities::ORGANIZATION_NAME}, {"ORG"}},
  };
  inline static const std::map<std::string, std::string> MODEL_LANGUAGES = {
      {"en", "flair/ner-english-large"},
      {"id", "flair/ner-english-large"},  // Indonesian text is tagged with the English model
  };
  inline static const OrderedMap<std::string> PRESIDIO_EQUIVALENCES = {
      {"PER", Entities::PERSON},
      {"LOC", Entities::LOCATION},
      {"ORG", Entities::ORGANIZATION_NAME},
  };

  // Absent or empty `supported_entities` / `check_label_groups` mean ENTITIES
  // / DEFAULT_CHECK_LABEL_GROUPS. Without a `model` the language's model is
  // taken from the cache or loaded into it: std::invalid_argument
  // "Unsupported language: <language>" for a language MODEL_LANGUAGES lacks;
  // a load failure reaches the caller and caches nothing.
  explicit FlairRecognizer(std::string supported_language = "en",
                           std::optional<std::vector<std::string>> supported_entities = std::nullopt,
                           std::optional<CheckLabelGroups> check_label_groups = std::nullopt,
                           std::shared_ptr<flair::SequenceTagger> model = nullptr);

  // Does nothing: the model is loaded by the constructor.
  void load() override {}

  // `entities` empty means every supported entity; `nlp_artifacts` and
  // `regex_flags` are not used.
  std::vector<recognition::RecognizerResult> analyze(const Utf8Text& text, const std::vector<std::string>& entities,
                                                     const recognition::NlpArtifacts* nlp_artifacts,
                                                     std::optional<int> regex_flags = std::nullopt) const override;

  // The model of `language`, from the cache or loaded into it.
  static std::shared_ptr<flair::SequenceTagger> _load_model(const std::string& language);
  // True when some group has `entity` among its entities and `label` among its labels.
  static bool _check_label(const std::string& entity, const std::string& label,
                           const CheckLabelGroups& check_label_groups);
  static recognition::AnalysisExplanation build_flair_explanation(double original_score,
                                                                  const std::string& explanation);
  static recognition::RecognizerResult _convert_to_recognizer_result(const flair::Span& entity,
                                                                     const recognition::AnalysisExplanation& explanation);
  // A copy of the class-wide model cache.
  static ModelCache MODEL_CACHE();

  const CheckLabelGroups check_label_groups;
  const std::shared_ptr<flair::SequenceTagger> model;

 private:
  struct Settings {
    CheckLabelGroups check_label_groups;
    std::vector<std::string> supported_entities;
    std::shared_ptr<flair::SequenceTagger> model;
  };
  FlairRecognizer(Settings settings, std::string supported_language);
};

}  // namespace tesk_privacy::pii_detector
