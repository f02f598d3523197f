#include "pii_detector/models/flair_recognizer.h"

#include <algorithm>
#include <charconv>
#include <mutex>
#include <stdexcept>
#include <string_view>

#include "tesk_privacy/core/logger.h"

namespace tesk_privacy::pii_detector {
namespace {

const core::Logger& logger() {
  static const core::Logger& log =
      core::LoggerManager().get_logger("tesk_privacy.pii_detector.recognizer.flair_recognizer");
  return log;
}

// The class-wide cache. Loading happens under the lock, so recognizers
// constructed on several threads at once still load each model once and
// never touch the map while another thread changes it.
struct Cache {
  std::mutex mutex;
  FlairRecognizer::ModelCache models;
};

Cache& cache() {
  static Cache* instance = new Cache;  // never destroyed: recognizers may outlive static destruction
  return *instance;
}

// round(score, 2) as Python computes it: the two-decimal number nearest to
// the exact binary value, ties to even, which to_chars' correctly rounded
// fixed notation gives (in any locale).
double round2(double score) {
  char buffer[64];
  const auto written = std::to_chars(buffer, buffer + sizeof(buffer), score, std::chars_format::fixed, 2);
  double rounded = score;
  std::from_chars(buffer, written.ptr, rounded);
  return rounded;
}

// DEFAULT_EXPLANATION with `label` in place of its "{}".
std::string explanation_for(const std::string& label) {
  const std::string_view pattern = FlairRecognizer::DEFAULT_EXPLANATION;
  const size_t at = pattern.find("{}");
  std::string out(pattern.substr(0, at));
  out += label;
  out += pattern.substr(at + 2);
  return out;
}

}  // namespace

FlairRecognizer::FlairRecognizer(std::string supported_language,
                                 std::optional<std::vector<std::string>> supported_entities,
                                 std::optional<CheckLabelGroups> groups,
                                 std::shared_ptr<flair::SequenceTagger> given_model)
    : FlairRecognizer(
          Settings{groups && !groups->empty() ? std::move(*groups) : DEFAULT_CHECK_LABEL_GROUPS,
                   supported_entities && !supported_entities->empty() ? std::move(*supported_entities) : ENTITIES,
                   given_model ? std::move(given_model) : _load_model(supported_language)},
          supported_language) {}

FlairRecognizer::FlairRecognizer(Settings settings, std::string supported_language)
    : EntityRecognizer(std::move(settings.supported_entities), "Flair Recognizer", std::move(supported_language)),
      check_label_groups(std::move(settings.check_label_groups)),
      model(std::move(settings.model)) {}

std::shared_ptr<flair::SequenceTagger> FlairRecognizer::_load_model(const std::string& language) {
  auto entry = MODEL_LANGUAGES.find(language);
  if (entry == MODEL_LANGUAGES.end() || entry->second.empty()) {
    throw std::invalid_argument("Unsupported language: " + language);
  }
  const std::string& name = entry->second;
  Cache& c = cache();
  std::lock_guard lock(c.mutex);
  if (auto it = c.models.find(name); it != c.models.end()) return it->second;
  std::shared_ptr<flair::SequenceTagger> loaded = flair::SequenceTagger::load(name);
  if (!loaded) throw std::runtime_error("no tagger loaded for model '" + name + "'");
  c.models.emplace(name, loaded);
  return loaded;
}

FlairRecognizer::ModelCache FlairRecognizer::MODEL_CACHE() {
  Cache& c = cache();
  std::lock_guard lock(c.mutex);
  return c.models;
}

bool FlairRecognizer::_check_label(const std::string& entity, const std::string& label,
                                   const CheckLabelGroups& check_label_groups) {
  return std::any_of(check_label_groups.begin(), check_label_groups.end(), [&](const auto& group) {
    return group.first.count(entity) > 0 && group.second.count(label) > 0;
  });
}

recognition::AnalysisExplanation FlairRecognizer::build_flair_explanation(double original_score,
                                                                          const std::string& explanation) {
  return recognition::AnalysisExplanation("FlairRecognizer", original_score, explanation);
}

recognition::RecognizerResult FlairRecognizer::_convert_to_recognizer_result(
    const flair::Span& entity, const recognition::AnalysisExplanation& explanation) {
  const std::string* equivalent = PRESIDIO_EQUIVALENCES.find(entity.tag());
  std::string entity_type = equivalent == nullptr ? entity.tag() : *equivalent;
  return recognition::RecognizerResult(std::move(entity_type), static_cast<int64_t>(entity.start_position),
                                       static_cast<int64_t>(entity.end_position), explanation.original_score,
                                       explanation);
}

std::vector<recognition::RecognizerResult> FlairRecognizer::analyze(const Utf8Text& text,
                                                                    const std::vector<std::string>& entities,
                                                                    const recognition::NlpArtifacts*,
                                                                    std::optional<int>) const {
  std::vector<recognition::RecognizerResult> results;
  std::optional<flair::Sentence> sentence;
  try {
    sentence.emplace(text.str());
    model->predict(*sentence);
  } catch (const std::exception& e) {
    logger().error(std::string("Error during Flair model prediction: ") + e.what());
    return results;
  } catch (...) {
    logger().error("Error during Flair model prediction: unknown error");
    return results;
  }
  const std::vector<std::string>& wanted = entities.empty() ? supported_entities() : entities;
  const std::vector<flair::Span>& spans = sentence->get_spans(flair::kNerLabelType);
  for (const std::string& entity : wanted) {
    if (!supports_entity(entity)) continue;
    for (const flair::Span& span : spans) {
      const std::string& label = span.tag();
      if (!_check_label(entity, label, check_label_groups)) continue;
      results.push_back(
          _convert_to_recognizer_result(span, build_flair_explanation(round2(span.score()), explanation_for(label))));
    }
  }
  return results;
}

}  // namespace tesk_privacy::pii_detector
