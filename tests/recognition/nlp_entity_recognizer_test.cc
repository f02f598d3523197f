// NlpEntityRecognizer over the NLP engine's artifacts: model entities with
// their confidences, NRP from the word lists, and the whole analysis with the
// default threshold.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "recognition/nlp_entity_recognizer.h"
#include "recognition/simple_nlp_engine.h"
#include "tesk_privacy/recognition/analyzer_engine.h"

namespace tesk_privacy::recognition {
namespace {

struct Span {
  std::string text;
  std::string type;
  bool operator==(const Span&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Span& s) { return os << s.text << "/" << s.type; }

struct Case {
  std::string language;
  std::string text;
  std::vector<Span> expected;  // results scored at least 0.46, in text order
};

std::vector<Span> analyze(const SimpleNlpEngine& engine, const Case& c, const std::vector<std::string>& entities = {}) {
  const Utf8Text text(c.text);
  const NlpArtifacts artifacts = engine.process_text(text, c.language);
  const NlpEntityRecognizer recognizer(c.language);
  std::vector<Span> out;
  for (const RecognizerResult& r : recognizer.analyze(text, entities, &artifacts)) {
    EXPECT_GT(r.score, 0.0);
    EXPECT_LE(r.score, 1.0);
    EXPECT_TRUE(r.analysis_explanation.has_value());
    if (r.score >= 0.46) out.push_back({std::string(text.slice(r.start, r.end)), r.entity_type});
  }
  return out;
}

TEST(NlpEntityRecognizer, ModelEntitiesAndGroups) {
  const SimpleNlpEngine engine;
  const std::vector<Case> cases = {
      {"id", "Halo, saya Budi Santoso dari Surabaya, kerja di Telkom",
       {{"Budi Santoso", "PERSON"}, {"Surabaya", "LOCATION"}, {"Telkom", "ORGANIZATION"}}},
      {"id", "Saya orang Jawa dan beragama Islam.", {{"Jawa", "NRP"}, {"Islam", "NRP"}}},
      {"id", "Komunitas Muslim dan Kristen di Ambon hidup rukun.",
       {{"Muslim", "NRP"}, {"Kristen", "NRP"}, {"Ambon", "LOCATION"}}},
      {"id", "Dia warga negara Amerika Serikat.", {{"Amerika Serikat", "NRP"}}},
      {"en", "The Indonesian delegation met Buddhist monks in Yogyakarta.",
       {{"Indonesian", "NRP"}, {"Buddhist", "NRP"}, {"Yogyakarta", "LOCATION"}}},
      {"id", "Ini hanya kalimat biasa tanpa nama.", {}},
      {"id", "email budi.santoso@gmail.com, situs https://www.telkom.co.id/karir, kode 12345.", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(analyze(engine, c), c.expected) << c.text;

  // Offsets are code points.
  const Case accented{"id", "Cépat: saya Budi Santoso dari Surabaya", {{"Budi Santoso", "PERSON"}, {"Surabaya", "LOCATION"}}};
  EXPECT_EQ(analyze(engine, accented), accented.expected);
  // Only the requested entity types.
  EXPECT_EQ(analyze(engine, cases[0], {"LOCATION"}), (std::vector<Span>{{"Surabaya", "LOCATION"}}));
}

TEST(NlpEntityRecognizer, NothingWithoutArtifacts) {
  const NlpEntityRecognizer recognizer("id");
  EXPECT_TRUE(recognizer.analyze(Utf8Text("Budi Santoso"), {}, nullptr).empty());
  EXPECT_EQ(recognizer.supported_language(), "id");
  EXPECT_EQ(recognizer.supported_entities(), (std::vector<std::string>{"PERSON", "LOCATION", "ORGANIZATION", "NRP"}));
}

TEST(NlpEntityRecognizer, InTheAnalyzerEngine) {
  auto registry = std::make_shared<RecognizerRegistry>(std::vector<std::shared_ptr<EntityRecognizer>>{},
                                                       std::vector<std::string>{"en", "id"});
  registry->add_recognizer(std::make_shared<NlpEntityRecognizer>("id"));
  registry->add_recognizer(std::make_shared<NlpEntityRecognizer>("en"));
  const AnalyzerEngine engine(registry, std::make_shared<SimpleNlpEngine>(), {"en", "id"});
  AnalyzeOptions options;
  options.score_threshold = 0.46;
  const std::string input = "Halo, saya Budi Santoso dari Surabaya, kerja di Telkom";
  std::vector<std::string> types;
  for (const RecognizerResult& r : engine.analyze(input, "id", options)) types.push_back(r.entity_type);
  std::sort(types.begin(), types.end());
  EXPECT_EQ(types, (std::vector<std::string>{"LOCATION", "ORGANIZATION", "PERSON"}));
}

}  // namespace
}  // namespace tesk_privacy::recognition
