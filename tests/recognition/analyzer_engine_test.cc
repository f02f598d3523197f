#include "tesk_privacy/recognition/analyzer_engine.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "recognition/simple_nlp_engine.h"
#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::recognition {
namespace {

std::shared_ptr<PatternRecognizer> digits(const std::string& entity, const std::string& regex, double score,
                                          const std::string& language = "id",
                                          std::vector<std::string> context = {}) {
  return std::make_shared<PatternRecognizer>(entity, std::vector<Pattern>{Pattern(entity, regex, score)},
                                             language, std::move(context));
}

// Raises every result that has context words by a fixed amount, recording
// what it was given, so the engine's hand-over can be checked.
class FixedBoostEnhancer : public ContextAwareEnhancer {
 public:
  FixedBoostEnhancer() : ContextAwareEnhancer(0.45, 0.46, 5, 0) {}
  std::vector<RecognizerResult> enhance_using_context(
      const Utf8Text&, std::vector<RecognizerResult> out, const NlpArtifacts& artifacts,
      const std::vector<std::shared_ptr<EntityRecognizer>>& recognizers,
      const std::optional<std::vector<std::string>>& context) const override {
    seen_tokens = artifacts.tokens.size();
    seen_recognizers = recognizers.size();
    seen_context = context;
    for (auto& r : out) {
      for (const auto& rec : recognizers) {
        const auto& id = std::get<std::string>(r.recognition_metadata->at(RecognizerResult::RECOGNIZER_IDENTIFIER_KEY));
        if (rec->id() == id && !rec->context().empty()) r.score = std::min(MAX_SCORE, r.score + 0.45);
      }
    }
    return out;
  }
  mutable size_t seen_tokens = 0;
  mutable size_t seen_recognizers = 0;
  mutable std::optional<std::vector<std::string>> seen_context;
};

struct Fixture {
  Fixture() {
    registry = std::make_shared<RecognizerRegistry>(std::vector<std::shared_ptr<EntityRecognizer>>{},
                                                    std::vector<std::string>{"en", "id"});
    registry->add_recognizer(digits("BPJS", R"(\b\d{13}\b)", 0.01, "id", {"bpjs"}));
    registry->add_recognizer(digits("EMP", R"(\b0\d{7}\b)", 0.5, "id"));
    registry->add_recognizer(digits("EMP", R"(\b0\d{7}\b)", 0.5, "en"));
    registry->add_recognizer(digits("LONG", R"(\b\d{8,}\b)", 0.3, "id"));
    enhancer = std::make_shared<FixedBoostEnhancer>();
  }
  std::shared_ptr<RecognizerRegistry> registry;
  std::shared_ptr<FixedBoostEnhancer> enhancer;
};

TEST(AnalyzerEngine, RunsOnlyTheLanguagesRecognizers) {
  Fixture f;
  AnalyzerEngine engine(f.registry, nullptr, {"en", "id"});
  EXPECT_EQ(engine.analyze("kode 01234567", "id").size(), 2u);  // EMP and LONG
  EXPECT_EQ(engine.analyze("kode 01234567", "en").size(), 1u);
  EXPECT_THROW(engine.analyze("x", "fr"), std::invalid_argument);
  // What is added or removed later is what the engine runs next.
  f.registry->add_recognizer(digits("PIN", R"(\b\d{4}\b)", 0.4, "en"));
  EXPECT_EQ(engine.analyze("kode 01234567 pin 1234", "en").size(), 2u);
  EXPECT_EQ(f.registry->remove_recognizer(f.registry->get_recognizers("en", {"EMP"}).at(0)->name()), 2u);
  EXPECT_EQ(engine.analyze("kode 01234567", "id").size(), 1u);  // LONG
  EXPECT_EQ(engine.analyze("kode 01234567 pin 1234", "en").size(), 1u);
  EXPECT_EQ(f.registry->recognizers_for("id").size(), 2u);
  EXPECT_EQ(f.registry->get_recognizers("id").size(), 2u);
}

TEST(AnalyzerEngine, EnhancerThresholdAndEntities) {
  Fixture f;
  AnalyzerEngine engine(f.registry, std::make_shared<SimpleNlpEngine>(), {"en", "id"}, f.enhancer);
  AnalyzeOptions options;
  options.score_threshold = 0.46;
  options.context = std::vector<std::string>{"Rekening"};
  auto results = engine.analyze("bpjs 0001234567890", "id", options);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].entity_type, "BPJS");
  EXPECT_DOUBLE_EQ(results[0].score, 0.46);
  EXPECT_EQ(f.enhancer->seen_tokens, 2u);
  EXPECT_EQ(f.enhancer->seen_recognizers, 3u);
  EXPECT_EQ(f.enhancer->seen_context, options.context);

  options.entities = std::vector<std::string>{"EMP"};
  results = engine.analyze("bpjs 0001234567890 01234567", "id", options);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].entity_type, "EMP");
}

TEST(AnalyzerEngine, AllowListExactAndRegex) {
  Fixture f;
  AnalyzerEngine engine(f.registry, nullptr, {"en", "id"});
  AnalyzeOptions options;
  options.entities = std::vector<std::string>{"EMP"};
  options.allow_list = std::vector<std::string>{"01234567"};
  auto results = engine.analyze("01234567 07654321", "id", options);
  ASSERT_EQ(results.size(), 1u);
  EXPECT_EQ(results[0].start, 9);

  options.allow_list_match = "regex";
  options.allow_list = std::vector<std::string>{R"(0765\d+)", "0123"};
  results = engine.analyze("01234567 07654321", "id", options);
  ASSERT_EQ(results.size(), 1u);  // "0123" must match the whole span, so 01234567 stays
  EXPECT_EQ(results[0].start, 0);

  options.allow_list_match = "fuzzy";
  EXPECT_THROW(engine.analyze("x", "id", options), std::invalid_argument);
}

TEST(RemoveDuplicates, SameTypeContainedOrEqualSpans) {
  const std::vector<RecognizerResult> in = {
      {"A", 0, 10, 0.5},  // kept: contains the next one
      {"A", 2, 5, 0.5},   // dropped: inside, not higher
      {"A", 2, 6, 0.9},   // kept: inside, but higher
      {"B", 2, 5, 0.1},   // kept: other type
      {"C", 20, 25, 0.4},
      {"C", 20, 25, 0.7},  // kept: equal span, higher
      {"D", 30, 35, 0.4},
      {"D", 30, 35, 0.4},  // dropped: exact duplicate
  };
  const std::vector<RecognizerResult> expected = {
      {"A", 0, 10, 0.5}, {"A", 2, 6, 0.9}, {"B", 2, 5, 0.1}, {"C", 20, 25, 0.7}, {"D", 30, 35, 0.4}};
  EXPECT_EQ(remove_duplicates(in), expected);
}

// The rule, written out over all pairs, against the sweep on random spans
// dense enough to give many equal, nested and overlapping ones.
TEST(RemoveDuplicates, SameAsComparingAllPairs) {
  std::mt19937 random(3);
  for (int round = 0; round < 300; ++round) {
    std::vector<RecognizerResult> in;
    const int n = static_cast<int>(random() % 40);
    for (int k = 0; k < n; ++k) {
      const int64_t start = random() % 12;
      in.push_back({random() % 3 ? "A" : "B", start, start + static_cast<int64_t>(random() % 6),
                    static_cast<double>(random() % 4) / 4});
    }
    std::vector<RecognizerResult> expected;
    for (size_t i = 0; i < in.size(); ++i) {
      bool dominated = false;
      for (size_t j = 0; j < in.size(); ++j) {
        const RecognizerResult& r = in[i];
        const RecognizerResult& o = in[j];
        if (i == j || o.entity_type != r.entity_type || !r.contained_in(o)) continue;
        dominated |= r.equal_indices(o) ? o.score > r.score || (o.score == r.score && j < i) : o.score >= r.score;
      }
      if (!dominated) expected.push_back(in[i]);
    }
    ASSERT_EQ(remove_duplicates(in), expected) << "round " << round;
  }
}

TEST(SimpleNlpEngine, TokensLemmasAndKeywords) {
  SimpleNlpEngine nlp;
  auto a = nlp.process_text("Nomor rekening saya adalah 0123, Bu Dédé.", "id");
  EXPECT_EQ(a.tokens, (std::vector<std::string>{"Nomor", "rekening", "saya", "adalah", "0123", ",", "Bu", "Dédé", "."}));
  EXPECT_EQ(a.tokens_indices, (std::vector<int64_t>{0, 6, 15, 20, 27, 31, 33, 36, 40}));
  EXPECT_EQ(a.lemmas[7], "dédé");
  EXPECT_EQ(a.keywords, (std::vector<std::string>{"nomor", "rekening", "0123", "bu", "dédé"}));
}

}  // namespace
}  // namespace tesk_privacy::recognition

namespace tesk_privacy::recognition {
namespace {

TEST(AnalyzerEngine, EntityTypesThatCouldFormPlaceholdersAreRefused) {
  for (const char* type : {"PERSON_1", "PER SON", "PERSON>", "<PERSON", "1PERSON", "PER\nSON", "", "PERSON_"}) {
    auto registry = std::make_shared<RecognizerRegistry>(std::vector<std::shared_ptr<EntityRecognizer>>{},
                                                         std::vector<std::string>{"id"});
    registry->add_recognizer(std::make_shared<PatternRecognizer>(
        type, std::vector<Pattern>{Pattern("x", "Budi", 0.9)}, "id", std::vector<std::string>{}));
    AnalyzerEngine engine(registry, nullptr, {"id"});
    const bool refused = [&] {
      try {
        engine.analyze(Utf8Text("Budi"), "id");
        return false;
      } catch (const std::invalid_argument&) {
        return true;
      }
    }();
    EXPECT_EQ(refused, std::string(type) != "PERSON_") << type;
  }
}

}  // namespace
}  // namespace tesk_privacy::recognition
