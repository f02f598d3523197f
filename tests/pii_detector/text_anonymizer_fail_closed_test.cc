// Detection that cannot complete must never yield text reported as safe.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "http/loopback_server.h"
#include "log_capture.h"
#include "pii_detector/recognizer/halvern_ner_api_remote_recognizer.h"
#include "pii_detector/recognizer/indonesian_phone_number_recognizer.h"
#include "pii_detector/recognizer/money_recognizer.h"
#include "pii_detector/recognizer/prosa_remote_recognizer.h"
#include "tesk_privacy/pii_detector/text_anonymizer.h"
#include "tesk_privacy/recognition/pattern_recognizer.h"
#include "tesk_privacy/regex/regex.h"

namespace tesk_privacy::pii_detector {
namespace {

using recognition::EntityRecognizer;
using recognition::RecognizerResult;

// Reports "(a+)+$" matches with a tiny backtracking bound, so a run of "a"
// followed by anything else exhausts it.
class CatastrophicRecognizer : public EntityRecognizer {
 public:
  CatastrophicRecognizer() : EntityRecognizer({"SECRET"}, "CatastrophicRecognizer", "id"), re_("(a+)+$", 0, 10'000) {}
  std::vector<RecognizerResult> analyze(const Utf8Text& text, const std::vector<std::string>&,
                                        const recognition::NlpArtifacts*, std::optional<int>) const override {
    std::vector<RecognizerResult> out;
    for (const auto& m : re_.find_all(text)) out.emplace_back("SECRET", m.start, m.end, 1.0);
    return out;
  }

 private:
  regex::Regex re_;
};

class ThrowingRecognizer : public EntityRecognizer {
 public:
  ThrowingRecognizer() : EntityRecognizer({"PERSON"}, "ThrowingRecognizer", "id") {}
  std::vector<RecognizerResult> analyze(const Utf8Text&, const std::vector<std::string>&,
                                        const recognition::NlpArtifacts*, std::optional<int>) const override {
    throw std::runtime_error("model weights missing");
  }
};

// "Budi" as PERSON (deny list) plus the given extra recognizers.
class TestAnalyzer : public BaseTextAnalyzer {
 public:
  explicit TestAnalyzer(std::vector<std::shared_ptr<EntityRecognizer>> extra) {
    auto registry = std::make_shared<recognition::RecognizerRegistry>(
        std::vector<std::shared_ptr<EntityRecognizer>>{}, std::vector<std::string>{"id"});
    registry->add_recognizer(std::make_shared<recognition::PatternRecognizer>(
        "PERSON", std::vector<recognition::Pattern>{}, "id", std::vector<std::string>{},
        std::vector<std::string>{"Budi"}));
    for (auto& r : extra) registry->add_recognizer(std::move(r));
    engine_ = std::make_shared<recognition::AnalyzerEngine>(registry, nullptr, std::vector<std::string>{"id"});
  }
  std::vector<RecognizerResult> analyze(const Utf8Text& text, const std::string& language,
                                        const AnalyzeOptions& options) const override {
    return engine_->analyze(text, language, options);
  }

 private:
  std::shared_ptr<recognition::AnalyzerEngine> engine_;
};

TEST(TextAnonymizerFailClosed, FailingDetectionThrowsAndLeavesTheStoreAlone) {
  const std::string hostile = "Budi " + std::string(40, 'a') + "!";
  struct Case {
    std::string name;
    std::shared_ptr<EntityRecognizer> recognizer;
    std::function<void(TextAnonymizer&)> call;
  };
  const std::vector<Case> cases = {
      {"backtracking bound", std::make_shared<CatastrophicRecognizer>(),
       [&](TextAnonymizer& a) { EXPECT_THROW(a.anonymize(hostile), regex::MatchLimitError); }},
      {"recognizer error", std::make_shared<ThrowingRecognizer>(),
       [&](TextAnonymizer& a) { EXPECT_THROW(a.anonymize(hostile), std::runtime_error); }},
  };
  for (const Case& c : cases) {
    TextAnonymizer anonymizer(std::make_shared<TestAnalyzer>(std::vector<std::shared_ptr<EntityRecognizer>>{c.recognizer}));
    if (c.name == "backtracking bound") {
      EXPECT_EQ(anonymizer.anonymize("Budi pergi"), "<PERSON_1> pergi") << c.name;
    }
    const auto before = anonymizer.deanonymizer_mapping();
    c.call(anonymizer);
    EXPECT_EQ(anonymizer.deanonymizer_mapping(), before) << c.name;
    EXPECT_EQ(anonymizer.detection_failures(), 0u) << c.name;
  }
}

TEST(TextAnonymizerFailClosed, KeepGoingSkipsTheFailingRecognizerAndCountsIt) {
  testing::LogCapture logs;
  TextAnonymizerOptions options;
  options.keep_going = true;
  TextAnonymizer anonymizer(std::make_shared<TestAnalyzer>(std::vector<std::shared_ptr<EntityRecognizer>>{
                                std::make_shared<CatastrophicRecognizer>(), std::make_shared<ThrowingRecognizer>()}),
                            options);
  const std::string tail = std::string(40, 'a') + "!";
  EXPECT_EQ(anonymizer.anonymize("Budi " + tail), "<PERSON_1> " + tail);
  EXPECT_EQ(anonymizer.detection_failures(), 2u);
  const auto errors = logs.at("ERROR");
  ASSERT_EQ(errors.size(), 2u);
  EXPECT_EQ(errors[0].rfind("recognizer CatastrophicRecognizer failed, going on without it: ", 0), 0u) << errors[0];
  EXPECT_EQ(errors[1], "recognizer ThrowingRecognizer failed, going on without it: model weights missing");
}

TEST(TextAnonymizerFailClosed, TextOverTheLengthLimitIsRefused) {
  TextAnonymizerOptions options;
  options.max_text_length = 10;
  TextAnonymizer anonymizer(std::make_shared<TestAnalyzer>(std::vector<std::shared_ptr<EntityRecognizer>>{}), options);
  EXPECT_EQ(anonymizer.anonymize("Budi ééééé"), "<PERSON_1> ééééé");  // 10 code points, 15 bytes
  try {
    anonymizer.anonymize("Budi éééééé");
    FAIL() << "an 11-character text passed a limit of 10";
  } catch (const InputTooLargeError& e) {
    EXPECT_STREQ(e.what(), "text of 11 characters is longer than the limit of 10");
  }
  EXPECT_EQ(anonymizer.deanonymizer_mapping().at("PERSON").size(), 1u);
}

TEST(TextAnonymizerFailClosed, SpansTouchingWordCharactersAreReplacedToo) {
  // Whole-word rewriting alone would record these spans and leave them in the text.
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"Gaji Rp 500.000an sebulan", "Gaji <MONEY_1>an sebulan"},
      {"Budi dibayar xRp 7.500, Budi senang", "<PERSON_1> dibayar x<MONEY_1>, <PERSON_1> senang"},
      {"Rp 1.000an dan Rp 1.000an lagi", "<MONEY_1>an dan <MONEY_1>an lagi"},
      {"Rp 2.000 dan Rp 2.000an", "<MONEY_1> dan <MONEY_1>an"},
  };
  for (const auto& [text, expected] : cases) {
    TextAnonymizer anonymizer(std::make_shared<TestAnalyzer>(std::vector<std::shared_ptr<EntityRecognizer>>{
        std::make_shared<MoneyRecognizer>(), std::make_shared<IndonesianPhoneNumberRecognizer>()}));
    AnonymizeOptions options;
    options.analyzer_score_threshold = 0.5;
    EXPECT_EQ(anonymizer.anonymize(text, options), expected) << text;
  }
}

TEST(RemoteRecognizerFailures, EveryUnusableAnswerIsCounted) {
  using tesk_privacy::testing::LoopbackServer;
  using tesk_privacy::testing::Reply;
  testing::LogCapture quiet;
  const std::vector<std::pair<std::string, Reply>> replies = {
      {"ok", Reply::json(200, R"({"entities": []})")},
      {"500", Reply::json(500, "{}")},
      {"not JSON", Reply::json(200, "<html>")},
      {"hang-up", Reply::close()},
  };
  for (const auto& [name, reply] : replies) {
    LoopbackServer server([reply = reply](const auto&) { return reply; });
    HalvernNerApiRemoteRecognizer halvern(server.url(), std::nullopt, std::nullopt, 2);
    ProsaRemoteRecognizer prosa(server.url(), "k");
    halvern.analyze(Utf8Text("Budi"));
    prosa.analyze(Utf8Text("Budi"));
    prosa.analyze(Utf8Text("Siti"));
    EXPECT_EQ(halvern.failed_requests(), name == "ok" ? 0u : 1u) << name;
    EXPECT_EQ(prosa.failed_requests(), name == "ok" ? 0u : 2u) << name;
  }
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
