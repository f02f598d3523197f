// The results' JSON form: what is written reads back the same, spans are
// code points, text needing escapes stays valid JSON, and malformed input is
// refused with a message instead of half a list.
#include "tesk_privacy/recognition/results_json.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace tesk_privacy::recognition {
namespace {

TEST(ResultsJson, WritesCodePointSpansAndReadsThemBack) {
  const Utf8Text text("Nama: Dédé \"si\" Budi\n, NIK 3171011205900001");
  AnalysisExplanation ex("KTPRecognizer", 0.5, "pattern", "\\d{16}", "KTP (medium)");
  ex.set_supportive_context_word("nik");
  ex.set_improved_score(0.95);
  std::vector<RecognizerResult> results = {RecognizerResult("PERSON", 6, 20, 0.85),
                                           RecognizerResult("ID_KTP", 27, 43, 0.95, ex)};
  ResultsJsonOptions options;
  options.explain = true;
  const std::string json = results_to_json(text, results, options);
  EXPECT_NE(json.find("\"text\":\"Dédé \\\"si\\\" Budi\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"supportive_context_word\":\"nik\""), std::string::npos) << json;
  const std::vector<RecognizerResult> back = results_from_json(json);
  ASSERT_EQ(back.size(), 2u);
  for (size_t i = 0; i < back.size(); ++i) {
    EXPECT_EQ(back[i].entity_type, results[i].entity_type);
    EXPECT_EQ(back[i].start, results[i].start);
    EXPECT_EQ(back[i].end, results[i].end);
    EXPECT_DOUBLE_EQ(back[i].score, results[i].score);
  }
  ASSERT_TRUE(back[1].analysis_explanation);
  EXPECT_EQ(back[1].analysis_explanation->recognizer, "KTPRecognizer");
  EXPECT_DOUBLE_EQ(back[1].analysis_explanation->original_score, 0.5);
  EXPECT_EQ(back[1].analysis_explanation->pattern_name, "KTP (medium)");
}

TEST(ResultsJson, RemovedSpansCarryTheirReasonAndNoText) {
  const Utf8Text text("abc");
  ResultsJsonOptions options;
  options.removed_reason = "too long";
  EXPECT_EQ(results_to_json(text, {}, options, {RecognizerResult("ADDRESS", 0, 3, 0.5)}),
            "{\"results\":[],\"removed\":[{\"end\":3,\"entity_type\":\"ADDRESS\",\"reason\":\"too long\","
            "\"score\":0.5,\"start\":0}]}");
  // A span outside the text is written without its text rather than cut.
  EXPECT_EQ(results_to_json(text, {RecognizerResult("X", 2, 9, 0.5)}),
            "{\"results\":[{\"end\":9,\"entity_type\":\"X\",\"score\":0.5,\"start\":2}]}");
}

TEST(ResultsJson, RefusesWhatIsNotAResultList) {
  EXPECT_TRUE(results_from_json("[]").empty());
  for (const char* bad : {"", "{", "{}", "{\"results\":{}}", "[1]", "[{\"entity_type\":\"X\",\"start\":0,\"end\":1}]",
                          "[{\"entity_type\":\"X\",\"start\":\"0\",\"end\":1,\"score\":1}]"}) {
    EXPECT_THROW(results_from_json(bad), std::invalid_argument) << bad;
  }
}

}  // namespace
}  // namespace tesk_privacy::recognition
