// The remote recognizers against a scripted service on the loopback address.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "http/loopback_server.h"
#include "log_capture.h"
#include "pii_detector/recognizer/halvern_ner_api_remote_recognizer.h"
#include "pii_detector/recognizer/prosa_remote_recognizer.h"
#include "tesk_privacy/pii_detector/constants.h"
#include "tesk_privacy/recognition/analyzer_engine.h"

namespace tesk_privacy::pii_detector {
namespace {

using tesk_privacy::testing::LogCapture;
using tesk_privacy::testing::LoopbackServer;
using tesk_privacy::testing::Reply;

struct Found {
  std::string type;
  int64_t start, end;
  double score;
  bool operator==(const Found&) const = default;
};

std::vector<Found> found(const std::vector<recognition::RecognizerResult>& results) {
  std::vector<Found> out;
  for (const auto& r : results) out.push_back({r.entity_type, r.start, r.end, r.score});
  return out;
}

LoopbackServer answering(int status, std::string body) {
  return LoopbackServer([status, body](const auto&) { return Reply::json(status, body); });
}

constexpr const char* kPersonAnswer =
    R"({"entities": [{"entity_type": "PERSON", "start": 0, "end": 4, "score": 0.9, "extra": 1}]})";

TEST(HalvernNerApiRemoteRecognizer, ConvertsAndFilters) {
  LoopbackServer server = answering(200, kPersonAnswer);
  HalvernNerApiRemoteRecognizer ner(server.url(), std::nullopt, std::map<std::string, std::string>{{"Authorization", "Bearer t"}});
  auto results = ner.analyze(Utf8Text("Budi pergi"));
  ASSERT_EQ(found(results), (std::vector<Found>{{"PERSON", 0, 4, 0.9}}));
  EXPECT_EQ(std::get<std::string>(results[0].recognition_metadata->at("name")), "PERSON");
  EXPECT_EQ(results[0].analysis_explanation->original_score, 0.9);
  EXPECT_EQ(results[0].analysis_explanation->textual_explanation,
            "Identified as PERSON by HalvernNerApiRemoteRecognizer's Named Entity Recognition");
  EXPECT_EQ(server.requests().at(0).body, R"({"text":"Budi pergi"})");
  EXPECT_EQ(server.requests().at(0).headers.at("authorization"), "Bearer t");

  EXPECT_TRUE(ner.analyze(Utf8Text("Budi"), std::vector<std::string>{"LOCATION"}).empty());
  EXPECT_EQ(ner.analyze(Utf8Text("Budi"), std::vector<std::string>{}).size(), 1u);
}

TEST(HalvernNerApiRemoteRecognizer, Construction) {
  HalvernNerApiRemoteRecognizer all("http://x", std::vector<std::string>{});
  EXPECT_EQ(all.get_supported_entities().size(), TESK_PRIVACY_ENTITIES.size());
  EXPECT_EQ(all.supported_language(), "en");
  EXPECT_EQ(all.version(), "0.1.0");
  EXPECT_EQ(all.name(), "HalvernNerApiRemoteRecognizer");
  EXPECT_EQ(all.api_timeout, 60);
  EXPECT_TRUE(all.api_headers.empty());
  EXPECT_TRUE(all.context().empty());
}

TEST(HalvernNerApiRemoteRecognizer, MalformedEntitiesAreSkippedOneByOne) {
  LoopbackServer server = answering(200, R"({"entities": [
      {"entity_type": "PERSON", "start": 0, "end": 4},
      {"entity_type": "LOCATION", "start": 5, "end": "x", "score": 0.5},
      {"entity_type": "PERSON", "start": 0, "end": 4, "score": 1e308},
      {"entity_type": "PERSON", "start": 0, "end": 4, "score": -0.5},
      {"entity_type": "LOCATION", "start": 11, "end": 18, "score": 0.8}]})");
  LogCapture logs;
  HalvernNerApiRemoteRecognizer ner(server.url());
  EXPECT_EQ(found(ner.analyze(Utf8Text("Budi pergi ke Bandung"))), (std::vector<Found>{{"LOCATION", 11, 18, 0.8}}));
  auto errors = logs.at("ERROR");
  ASSERT_EQ(errors.size(), 4u);
  EXPECT_EQ(errors[2], "Error processing entity: a score outside 0..1");
  EXPECT_EQ(errors[0], "Error processing entity: 'score'");
}

TEST(HalvernNerApiRemoteRecognizer, FailuresBecomeOneErrorLineAndNoResults) {
  struct Case {
    std::string name;
    std::function<Reply(const tesk_privacy::testing::RecordedRequest&)> reply;
    std::string log_prefix;
  };
  const std::vector<Case> cases = {
      {"500", [](const auto&) { return Reply::json(500, "{}"); }, "HTTP error occurred while calling NER API: "},
      {"401", [](const auto&) { return Reply::json(401, "{}"); }, "HTTP error occurred while calling NER API: "},
      {"silence", [](const auto&) { return Reply::silence(); }, "Timeout occurred while calling NER API: "},
      {"hang-up", [](const auto&) { return Reply::close(); }, "Error calling NER API: "},
      {"list answer", [](const auto&) { return Reply::json(200, "[1, 2]"); }, "Error during text analysis: "},
      {"not JSON", [](const auto&) { return Reply::json(200, "<html>"); }, "Error during text analysis: "},
  };
  for (const Case& c : cases) {
    LoopbackServer server(c.reply);
    LogCapture logs;
    HalvernNerApiRemoteRecognizer ner(server.url(), std::nullopt, std::nullopt, 1);
    EXPECT_TRUE(ner.analyze(Utf8Text("Budi")).empty()) << c.name;
    auto errors = logs.at("ERROR");
    ASSERT_EQ(errors.size(), 1u) << c.name;
    EXPECT_EQ(errors[0].rfind(c.log_prefix, 0), 0u) << c.name << ": " << errors[0];
  }
  LogCapture logs;
  HalvernNerApiRemoteRecognizer refused("http://127.0.0.1:" + std::to_string(tesk_privacy::testing::closed_port()));
  EXPECT_TRUE(refused.analyze(Utf8Text("Budi")).empty());
  ASSERT_EQ(logs.at("ERROR").size(), 1u);
  EXPECT_EQ(logs.at("ERROR")[0].rfind("Connection error occurred while calling NER API: ", 0), 0u);
}

TEST(HalvernNerApiRemoteRecognizer, NoEntitiesMemberIsQuietlyEmpty) {
  LoopbackServer server = answering(200, R"({"other": []})");
  LogCapture logs;
  EXPECT_TRUE(HalvernNerApiRemoteRecognizer(server.url()).analyze(Utf8Text("Budi")).empty());
  EXPECT_TRUE(logs.at("ERROR").empty());
}

constexpr const char* kProsaAnswer = R"({"entities": [
    {"begin_offset": 0, "length": 4, "type": "PER", "text": "Budi"},
    {"begin_offset": 14, "length": 2, "type": "NUM"},
    {"begin_offset": 17, "length": 7, "type": "ORG"},
    {"begin_offset": 25, "length": 3, "type": "XYZ"},
    {"begin_offset": 30, "length": null, "type": "LOC"}],
  "more": [{"begin_offset": 29, "length": 7, "type": "LOC"}]})";

TEST(ProsaRemoteRecognizer, ConvertsMapsAndFilters) {
  LoopbackServer server = answering(200, kProsaAnswer);
  ProsaRemoteRecognizer prosa(server.url(), "secret-key");
  Utf8Text text("Budi bekerja, 12 Telkomsel dan di Bandung sekarang");
  EXPECT_EQ(found(prosa.analyze(text)),
            (std::vector<Found>{{"PERSON", 0, 4, 0.5}, {"ORGANIZATION", 17, 24, 0.5}, {"LOCATION", 29, 36, 0.5}}));
  EXPECT_EQ(found(prosa.analyze(text, std::vector<std::string>{"NUMBER"})), (std::vector<Found>{{"NUMBER", 14, 16, 0.5}}));
  EXPECT_TRUE(prosa.analyze(text, std::vector<std::string>{}).empty());

  auto request = server.requests().at(0);
  EXPECT_EQ(request.body, R"({"text":"Budi bekerja, 12 Telkomsel dan di Bandung sekarang","version":"v2"})");
  EXPECT_EQ(request.headers.at("x-api-key"), "secret-key");
  EXPECT_EQ(request.headers.at("user-agent"), "TESK-Privacy");
  EXPECT_EQ(request.headers.at("content-type"), "application/json");

  ProsaRemoteRecognizer wide(server.url(), "k", std::vector<std::string>{"NUMBER"});
  EXPECT_EQ(found(wide.analyze(text)), (std::vector<Found>{{"NUMBER", 14, 16, 0.5}}));
  EXPECT_EQ(wide.supported_language(), "id");
  EXPECT_EQ(wide.version(), "1.0");
}

TEST(ProsaRemoteRecognizer, FailuresAreLoggedWithoutTheKey) {
  struct Case {
    std::string name;
    std::function<Reply(const tesk_privacy::testing::RecordedRequest&)> reply;
    std::string expected_log;  // prefix
  };
  const std::vector<Case> cases = {
      {"401", [](const auto&) { return Reply::json(401, "{}"); }, "Prosa API returned 401"},
      {"hang-up", [](const auto&) { return Reply::close(); }, "Failed to connect to Prosa API at http://127.0.0.1:"},
      {"empty object", [](const auto&) { return Reply::json(200, "{}"); }, ""},
      // An unreadable answer spoils only this recognizer's contribution.
      {"not JSON", [](const auto&) { return Reply::json(200, "nope"); }, "Prosa API at http://127.0.0.1:"},
      {"list", [](const auto&) { return Reply::json(200, "[]"); }, "Prosa API at http://127.0.0.1:"},
      {"missing member", [](const auto&) { return Reply::json(200, R"({"e": [{"begin_offset": 1, "type": "PER"}]})"); },
       "Prosa API at http://127.0.0.1:"},
  };
  for (const Case& c : cases) {
    LoopbackServer server(c.reply);
    LogCapture logs;
    EXPECT_TRUE(ProsaRemoteRecognizer(server.url(), "secret-key").analyze(Utf8Text("Budi")).empty()) << c.name;
    auto errors = logs.at("ERROR");
    if (c.expected_log.empty()) {
      EXPECT_TRUE(errors.empty()) << c.name;
      continue;
    }
    ASSERT_EQ(errors.size(), 1u) << c.name;
    EXPECT_EQ(errors[0].rfind(c.expected_log, 0), 0u) << c.name << ": " << errors[0];
    EXPECT_EQ(errors[0].find("secret-key"), std::string::npos);
  }
  LogCapture logs;
  const std::string url = "http://127.0.0.1:" + std::to_string(tesk_privacy::testing::closed_port()) + "/ner";
  EXPECT_TRUE(ProsaRemoteRecognizer(url, "k").analyze(Utf8Text("Budi")).empty());
  EXPECT_EQ(logs.at("ERROR"), std::vector<std::string>{"Failed to connect to Prosa API at " + url});
}

TEST(RemoteRecognizers, SpansOutsideTheTextAreDroppedByTheEngine) {
  LoopbackServer server = answering(200, R"({"entities": [
      {"entity_type": "PERSON", "start": 0, "end": 4, "score": 0.9},
      {"entity_type": "PERSON", "start": 3, "end": 99, "score": 0.9},
      {"entity_type": "PERSON", "start": 4, "end": 2, "score": 0.9},
      {"entity_type": "PERSON", "start": -1, "end": 2, "score": 0.9}]})");
  auto registry = std::make_shared<recognition::RecognizerRegistry>(
      std::vector<std::shared_ptr<recognition::EntityRecognizer>>{}, std::vector<std::string>{"id"});
  registry->add_recognizer(std::make_shared<HalvernNerApiRemoteRecognizer>(server.url(), std::nullopt, std::nullopt, 5, "id"));
  recognition::AnalyzerEngine engine(registry, nullptr, {"id"});
  auto results = engine.analyze("Budi pergi", "id");
  EXPECT_EQ(found(results), (std::vector<Found>{{"PERSON", 0, 4, 0.9}}));
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
