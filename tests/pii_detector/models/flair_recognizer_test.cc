// FlairRecognizer: label groups, grouping by requested entity, rounding and
// explanations on taggers made here; the failure log line; the class-wide
// model cache, with a hub-format model in a scratch hub cache.
#include "pii_detector/models/flair_recognizer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "flair/tiny_tagger.h"
#include "inference/model_resolver.h"
#include "tesk_privacy/core/logger.h"

namespace tesk_privacy::pii_detector {
namespace {

using flair::Sentence;
using flair::SequenceTagger;
using Groups = FlairRecognizer::CheckLabelGroups;

struct FixedSpan {
  size_t start, end;
  std::string tag;
  double score;
};

// Attaches the same "ner" spans to every sentence.
class FixedTagger : public SequenceTagger {
 public:
  explicit FixedTagger(std::vector<FixedSpan> spans) : spans_(std::move(spans)) {}
  void predict(Sentence& sentence) const override {
    for (const FixedSpan& s : spans_) sentence.add_span(flair::kNerLabelType, s.start, s.end, s.tag, s.score);
  }

 private:
  std::vector<FixedSpan> spans_;
};

class ThrowingTagger : public SequenceTagger {
 public:
  void predict(Sentence&) const override { throw std::runtime_error("model exploded"); }
};

std::shared_ptr<SequenceTagger> fixed(std::vector<FixedSpan> spans) {
  return std::make_shared<FixedTagger>(std::move(spans));
}

// "TYPE start-end score (label)" per result, checking the explanation record.
std::vector<std::string> describe(const std::vector<RecognizerResult>& results) {
  std::vector<std::string> out;
  for (const RecognizerResult& r : results) {
    std::string label = "?";
    if (r.analysis_explanation) {
      const std::string& text = r.analysis_explanation->textual_explanation;
      const std::string head = "Identified as ", tail = " by Flair's Named Entity Recognition";
      if (text.rfind(head, 0) == 0 && text.size() > head.size() + tail.size()) {
        label = text.substr(head.size(), text.size() - head.size() - tail.size());
      }
      EXPECT_EQ(r.analysis_explanation->recognizer, "FlairRecognizer");
      EXPECT_EQ(r.analysis_explanation->original_score, r.score);
    }
    EXPECT_FALSE(r.recognition_metadata);
    char score[16];
    std::snprintf(score, sizeof(score), "%g", r.score);
    out.push_back(r.entity_type + " " + std::to_string(r.start) + "-" + std::to_string(r.end) + " " + score + " (" +
                  label + ")");
  }
  return out;
}

using Lines = std::vector<std::string>;

TEST(FlairRecognizer, ReportsSpansGroupedByRequestedEntity) {
  // "Budi Santoso bekerja di PT Maju, Jakarta, dan Bandung."
  FlairRecognizer recognizer("id", std::nullopt, std::nullopt,
                             fixed({{0, 12, "PER", 0.98765}, {24, 31, "ORG", 0.871}, {33, 40, "LOC", 0.5},
                                    {46, 53, "LOC", 0.66666}, {42, 45, "MISC", 0.9}}));
  const std::string per = "PERSON 0-12 0.99 (PER)", org = "ORGANIZATION 24-31 0.87 (ORG)",
                    jakarta = "LOCATION 33-40 0.5 (LOC)", bandung = "LOCATION 46-53 0.67 (LOC)";
  const std::vector<std::pair<Lines, Lines>> cases = {
      {{}, {jakarta, bandung, per, org}},  // every supported entity, locations first
      {{Entities::LOCATION}, {jakarta, bandung}},
      {{Entities::ORGANIZATION_NAME, Entities::PERSON}, {org, per}},
      {{Entities::EMAIL_ADDRESS}, {}},
      {{Entities::EMAIL_ADDRESS, Entities::PERSON}, {per}},
      {{"PER"}, {}},  // a model label is not an entity
  };
  const std::string text = "Budi Santoso bekerja di PT Maju, Jakarta, dan Bandung.";
  for (const auto& [entities, expected] : cases) {
    EXPECT_EQ(describe(recognizer.analyze(text, entities, nullptr)), expected) << entities.size();
  }
  EXPECT_EQ(recognizer.name(), "Flair Recognizer");
  EXPECT_EQ(recognizer.get_supported_entities(), FlairRecognizer::ENTITIES);
  EXPECT_EQ(recognizer.check_label_groups, FlairRecognizer::DEFAULT_CHECK_LABEL_GROUPS);
}

TEST(FlairRecognizer, MapsLabelsThroughTheLabelGroups) {
  struct Case {
    Groups groups;
    Lines supported, requested;
    FixedSpan span;
    Lines expected;
  };
  const std::vector<Case> cases = {
      // Labels without an equivalence keep their own name.
      {{}, {}, {}, {0, 4, "LOCATION", 0.9}, {"LOCATION 0-4 0.9 (LOCATION)"}},
      {{}, {}, {}, {0, 4, "PERSON", 0.9}, {"PERSON 0-4 0.9 (PERSON)"}},
      {{}, {}, {}, {0, 4, "MISC", 0.9}, {}},
      {{}, {}, {Entities::PERSON}, {0, 4, "ORG", 0.9}, {}},
      {{{{"TITLE"}, {"MISC"}}}, {"TITLE"}, {}, {0, 4, "MISC", 0.9}, {"MISC 0-4 0.9 (MISC)"}},
      {{{{"TITLE"}, {"MISC"}}}, {}, {}, {0, 4, "PER", 0.9}, {}},  // custom groups replace the defaults
      // One group serving two requested entities reports the span for each.
      {{{{Entities::PERSON, Entities::NRP}, {"PER"}}},
       {Entities::PERSON, Entities::NRP},
       {Entities::NRP, Entities::PERSON},
       {0, 4, "PER", 0.9},
       {"PERSON 0-4 0.9 (PER)", "PERSON 0-4 0.9 (PER)"}},
  };
  for (const Case& c : cases) {
    FlairRecognizer recognizer("en", c.supported, c.groups, fixed({c.span}));
    EXPECT_EQ(describe(recognizer.analyze("Budi Santoso", c.requested, nullptr)), c.expected) << c.span.tag;
  }
  EXPECT_FALSE(FlairRecognizer::_check_label(Entities::PERSON, "PER", {}));
}

TEST(FlairRecognizer, RoundsScoresAsPythonRoundsToTwoDecimals) {
  // Exact binary ties go to even; 0.985 is stored just below, 0.675 just above.
  const std::vector<std::pair<double, double>> cases = {
      {0.98765, 0.99}, {0.125, 0.12}, {0.375, 0.38}, {0.985, 0.98}, {0.675, 0.68}, {0.004, 0.0}, {1.0, 1.0}};
  for (const auto& [score, rounded] : cases) {
    FlairRecognizer recognizer("en", std::nullopt, std::nullopt, fixed({{0, 4, "PER", score}}));
    auto got = recognizer.analyze("Budi", {}, nullptr);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].score, rounded) << score;
  }
}

TEST(FlairRecognizer, FailedPredictionIsLoggedAndYieldsNothing) {
  const std::vector<std::pair<std::shared_ptr<SequenceTagger>, std::string>> cases = {
      {std::make_shared<ThrowingTagger>(), "model exploded"},
      // A span past the text's end is refused when the tagger attaches it.
      {fixed({{0, 4, "PER", 0.9}, {2, 99, "LOC", 0.9}}), "span [2, 99) does not lie inside a text of 4 characters"},
  };
  for (const auto& [tagger, message] : cases) {
    std::mutex mutex;
    Lines errors;
    core::LoggerManager().set_sink([&](const core::LogRecord& r) {
      std::lock_guard lock(mutex);
      if (r.level == core::LogLevel::kError) errors.emplace_back(r.message);
    });
    FlairRecognizer recognizer("en", std::nullopt, std::nullopt, tagger);
    EXPECT_TRUE(recognizer.analyze("Budi", {}, nullptr).empty());
    core::LoggerManager().set_sink(nullptr);
    EXPECT_EQ(errors, Lines{"Error during Flair model prediction: " + message});
  }
}

TEST(FlairRecognizer, CallerTaggersServeAnyLanguageWithoutTheCache) {
  const auto before = FlairRecognizer::MODEL_CACHE();
  auto tagger = fixed({});
  FlairRecognizer mine("fr", Lines{}, Groups{}, tagger);  // empty lists mean the defaults
  EXPECT_EQ(mine.model, tagger);
  EXPECT_EQ(mine.get_supported_entities(), FlairRecognizer::ENTITIES);
  EXPECT_EQ(mine.check_label_groups, FlairRecognizer::DEFAULT_CHECK_LABEL_GROUPS);
  for (const std::string language : {"fr", "", "ID"}) {
    try {
      FlairRecognizer unsupported(language);
      ADD_FAILURE() << language << ": constructed";
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(std::string(e.what()), "Unsupported language: " + language);
    }
  }
  EXPECT_EQ(FlairRecognizer::MODEL_CACHE(), before);
}

// The only test that fills the process-wide cache.
TEST(FlairRecognizer, LoadsEachModelOnceForAllLanguagesAndThreads) {
  inference::testing::ScratchDir hub;
  const char* old = std::getenv("HF_HUB_CACHE");
  const std::string saved = old ? old : "";
  ::setenv("HF_HUB_CACHE", hub.path().string().c_str(), 1);
  const std::string name = FlairRecognizer::MODEL_LANGUAGES.at("en");

  // Nothing to load: the error reaches the caller and nothing is cached.
  EXPECT_THROW(FlairRecognizer("en"), inference::ModelNotFoundError);
  EXPECT_EQ(FlairRecognizer::MODEL_CACHE().count(name), 0u);

  const auto repo = hub / "models--flair--ner-english-large";
  flair::testing::write_tiny_tagger(repo / "snapshots" / "0123abc");
  inference::testing::write_file(repo / "refs" / "main", "0123abc");

  // Recognizers for both languages built on several threads at once share one model.
  std::vector<std::unique_ptr<FlairRecognizer>> recognizers(6);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < recognizers.size(); ++i) {
    threads.emplace_back([&, i] { recognizers[i] = std::make_unique<FlairRecognizer>(i % 2 ? "id" : "en"); });
  }
  for (auto& t : threads) t.join();
  const auto cached = FlairRecognizer::MODEL_CACHE();
  ASSERT_EQ(cached.count(name), 1u);
  for (const auto& r : recognizers) EXPECT_EQ(r->model, cached.at(name));

  // Later recognizers take the cached model even with the files gone.
  std::filesystem::remove_all(repo);
  FlairRecognizer later("id");
  EXPECT_EQ(later.model, cached.at(name));
  char c[16];
  std::snprintf(c, sizeof(c), "%g", std::round(flair::testing::tiny_tagger_confidence() * 100) / 100);
  EXPECT_EQ(describe(later.analyze("Budi tinggal di ibu kota Jakarta", {}, nullptr)),
            (Lines{"LOCATION 16-32 " + std::string(c) + " (LOC)", "PERSON 0-4 " + std::string(c) + " (PER)"}));

  if (old) ::setenv("HF_HUB_CACHE", saved.c_str(), 1);
  else ::unsetenv("HF_HUB_CACHE");
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
