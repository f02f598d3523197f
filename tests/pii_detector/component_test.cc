// The keyword entry points of the analyzer and anonymizer components.
#include <gtest/gtest.h>

#include "tesk_privacy/pii_detector/analyzer.h"
#include "tesk_privacy/pii_detector/anonymizer.h"

namespace tesk_privacy::pii_detector {
namespace {

using core::Kwargs;

class RecordingAnalyzer : public BaseTextAnalyzer {
 public:
  std::vector<recognition::RecognizerResult> analyze(const Utf8Text& text, const std::string& language,
                                                     const AnalyzeOptions& options) const override {
    last_text = text.str();
    last_language = language;
    last_options = options;
    return {{"PERSON", 0, 1, 0.5}};
  }
  mutable std::string last_text, last_language;
  mutable AnalyzeOptions last_options;
};

const char* kTextMessage = "The input kwargs for analyzer must include a non-empty `text` key of type `str`.";
const char* kLanguageMessage = "The input kwargs for analyzer must include a non-empty `language` key of type `str`.";

void expect_error(const std::function<void()>& call, const std::string& message) {
  try {
    call();
    ADD_FAILURE() << "no error, expected: " << message;
  } catch (const std::invalid_argument& e) {
    EXPECT_EQ(e.what(), message);
  }
}

TEST(BaseTextAnalyzer, ExecuteValidatesTextThenLanguage) {
  RecordingAnalyzer a;
  const std::string lang = "id";
  expect_error([&] { a.execute({}); }, kTextMessage);
  expect_error([&] { a.execute({{"text", std::string(" \n\t\u00a0")}, {"language", lang}}); }, kTextMessage);
  expect_error([&] { a.execute({{"text", int64_t{123}}, {"language", lang}}); }, kTextMessage);
  expect_error([&] { a.execute({{"text", std::string("Budi")}}); }, kLanguageMessage);
  expect_error([&] { a.execute({{"text", std::string("Budi")}, {"language", std::string("  ")}}); }, kLanguageMessage);
  EXPECT_TRUE(a.last_text.empty());  // nothing ran
}

TEST(BaseTextAnalyzer, ExecuteForwardsEveryOption) {
  RecordingAnalyzer a;
  auto results = a.execute({{"text", std::string("Budi")},
                            {"language", std::string("en")},
                            {"entities", std::vector<std::string>{"PERSON"}},
                            {"score_threshold", int64_t{1}},
                            {"allow_list", std::vector<std::string>{"x"}},
                            {"allow_list_match", std::string("regex")},
                            {"regex_flags", int64_t{2}},
                            {"context", std::vector<std::string>{"nama"}},
                            {"correlation_id", std::monostate{}}});
  EXPECT_EQ(results.size(), 1u);
  EXPECT_EQ(a.last_text, "Budi");
  EXPECT_EQ(a.last_language, "en");
  EXPECT_EQ(a.last_options.entities, std::vector<std::string>{"PERSON"});
  EXPECT_EQ(a.last_options.score_threshold, 1.0);
  EXPECT_EQ(a.last_options.allow_list_match, "regex");
  EXPECT_EQ(a.last_options.regex_flags, 2);
  EXPECT_EQ(a.last_options.context, std::vector<std::string>{"nama"});
  EXPECT_THROW(a.execute({{"text", std::string("x")}, {"language", std::string("id")}, {"bogus", true}}),
               std::invalid_argument);
  EXPECT_THROW(a.execute({{"text", std::string("x")}, {"language", std::string("id")}, {"entities", true}}),
               std::invalid_argument);
}

class RecordingAnonymizer : public BaseTextAnonymizer {
 public:
  std::string anonymize(const std::string& text, const std::optional<std::vector<std::string>>& entities,
                        const std::string& language,
                        std::optional<anonymization::ConflictResolutionStrategy> conflict_resolution,
                        double threshold) override {
    calls.push_back("anonymize");
    last = {text, entities, language, conflict_resolution, threshold};
    return "A:" + text;
  }
  std::string deanonymize(const std::string& text) override {
    calls.push_back("deanonymize");
    return "D:" + text;
  }
  struct Call {
    std::string text;
    std::optional<std::vector<std::string>> entities;
    std::string language;
    std::optional<anonymization::ConflictResolutionStrategy> conflict_resolution;
    double threshold = 0;
  } last;
  std::vector<std::string> calls;
};

TEST(BaseTextAnonymizer, ExecuteDispatchesOnOperation) {
  RecordingAnonymizer a;
  expect_error([&] { a.execute({{"text", std::string("   ")}}); },
               "The input kwargs for anonymizer must include a non-empty `text` key of type `str`.");
  EXPECT_EQ(a.execute({{"text", std::string("Budi")}}), "A:Budi");
  EXPECT_EQ(a.last.entities, std::nullopt);
  EXPECT_EQ(a.last.language, "id");
  EXPECT_EQ(a.last.conflict_resolution, std::nullopt);
  EXPECT_EQ(a.last.threshold, 0.46);

  EXPECT_EQ(a.execute({{"text", std::string("x")}, {"operation", std::string("deanonymize")}}), "D:x");
  EXPECT_EQ(a.execute({{"text", std::string("x")}, {"operation", std::string("shred")}}), "D:x");
  EXPECT_EQ(a.execute({{"text", std::string("x")}, {"operation", int64_t{7}}}), "D:x");

  a.execute({{"text", std::string("x")},
             {"operation", std::string(Operation::ANONYMIZE)},
             {"language", std::string("")},
             {"conflict_resolution", std::string("REMOVE_INTERSECTIONS")},
             {"analyzer_score_threshold", 0.7},
             {"unrelated", true}});
  EXPECT_EQ(a.last.language, "");
  EXPECT_EQ(a.last.conflict_resolution, anonymization::ConflictResolutionStrategy::REMOVE_INTERSECTIONS);
  EXPECT_EQ(a.last.threshold, 0.7);
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
