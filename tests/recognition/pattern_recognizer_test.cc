#include "tesk_privacy/recognition/pattern_recognizer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tesk_privacy::recognition {
namespace {

std::vector<std::string> texts(const Utf8Text& text, const std::vector<RecognizerResult>& results) {
  std::vector<std::string> out;
  for (const auto& r : results) out.emplace_back(text.slice(r.start, r.end));
  return out;
}

TEST(PatternRecognizer, RequiresPatternsOrDenyList) {
  EXPECT_THROW(PatternRecognizer("X"), std::invalid_argument);
  EXPECT_NO_THROW(PatternRecognizer("X", {}, "en", {}, {"term"}));
}

TEST(PatternRecognizer, ReportsMatchesWithExplanationAndMetadata) {
  PatternRecognizer r("EMPLOYEE_ID", {Pattern("Employee ID", R"(\b0\d{7}\b)", 0.5)}, "id",
                      {"karyawan"}, {}, "EmployeeRecognizer");
  Utf8Text text("Karyawan — 01234567 dan 07654321");
  auto results = r.analyze(text, {}, nullptr);
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(texts(text, results), (std::vector<std::string>{"01234567", "07654321"}));
  EXPECT_EQ(results[0].start, 11);  // code points: the dash is one character
  const auto& ex = *results[0].analysis_explanation;
  EXPECT_EQ(ex.recognizer, "EmployeeRecognizer");
  EXPECT_EQ(ex.pattern_name, "Employee ID");
  EXPECT_EQ(ex.original_score, 0.5);
  const auto& md = *results[0].recognition_metadata;
  EXPECT_EQ(std::get<std::string>(md.at(RecognizerResult::RECOGNIZER_IDENTIFIER_KEY)), r.id());
  EXPECT_EQ(std::get<std::string>(md.at(RecognizerResult::RECOGNIZER_NAME_KEY)), r.name());
  EXPECT_TRUE(r.analyze(text, {"PERSON"}, nullptr).empty());
  EXPECT_EQ(r.analyze(text, {"PERSON", "EMPLOYEE_ID"}, nullptr).size(), 2u);
}

TEST(PatternRecognizer, FlagsArePassedPerCall) {
  PatternRecognizer r("CODE", {Pattern("code", R"(\bab\d$)", 0.6)});
  Utf8Text text("AB1\nab2");
  EXPECT_EQ(texts(text, r.analyze(text, {}, nullptr)), (std::vector<std::string>{"AB1", "ab2"}));
  EXPECT_EQ(texts(text, r.analyze(text, {}, nullptr, regex::MULTILINE)), (std::vector<std::string>{"ab2"}));
  EXPECT_EQ(texts(text, r.analyze(text, {}, nullptr, regex::IGNORECASE)), (std::vector<std::string>{"ab2"}));
  EXPECT_TRUE(r.analyze(Utf8Text("AB1\nx"), {}, nullptr, 0).empty());
  EXPECT_THROW(r.analyze(text, {}, nullptr, regex::LOCALE), regex::RegexError);
}

TEST(PatternRecognizer, DenyListMatchesWholeWordsAndEscapesTerms) {
  PatternRecognizer r("PROJECT", {}, "en", {}, {"Morvale", "C++", "Project E", "Project"});
  Utf8Text text("Morvale, morvale, Morvales, C++ dan Project E. Projects");
  auto results = r.analyze(text, {}, nullptr);
  EXPECT_EQ(texts(text, results), (std::vector<std::string>{"Morvale", "morvale", "C++", "Project E"}));
  for (const auto& res : results) EXPECT_EQ(res.score, PatternRecognizer::DENY_LIST_SCORE);
}

class ChecksumRecognizer : public PatternRecognizer {
 public:
  ChecksumRecognizer() : PatternRecognizer("NUM", {Pattern("n", R"(\d+)", 0.3)}) {}

 protected:
  std::optional<bool> validate_result(std::string_view s) const override {
    if (s.size() == 1) return std::nullopt;
    return (s.back() - '0') % 2 == 0;
  }
  std::optional<bool> invalidate_result(std::string_view s) const override { return s == "00"; }
};

TEST(PatternRecognizer, ValidationConfirmsOrRejects) {
  ChecksumRecognizer r;
  Utf8Text text("7 12 13 00 5 14");
  auto results = r.analyze(text, {}, nullptr);
  ASSERT_EQ(texts(text, results), (std::vector<std::string>{"7", "12", "5", "14"}));
  // Confirmed and unchecked results alternate; each explanation tells its own.
  const std::optional<bool> unchecked, confirmed(true);
  const std::vector<std::pair<double, std::optional<bool>>> expected = {
      {0.3, unchecked}, {EntityRecognizer::MAX_SCORE, confirmed}, {0.3, unchecked},
      {EntityRecognizer::MAX_SCORE, confirmed}};
  for (size_t i = 0; i < results.size(); ++i) {
    EXPECT_EQ(results[i].score, expected[i].first) << i;
    EXPECT_EQ(results[i].analysis_explanation->score, expected[i].first) << i;
    EXPECT_EQ(results[i].analysis_explanation->original_score, 0.3) << i;
    EXPECT_EQ(results[i].analysis_explanation->validation_result, expected[i].second) << i;
  }
}

TEST(PatternRecognizer, SkipsEmptyMatches) {
  PatternRecognizer r("X", {Pattern("maybe", R"(\d*)", 0.5)});
  Utf8Text text("a12b");
  EXPECT_EQ(texts(text, r.analyze(text, {}, nullptr)), (std::vector<std::string>{"12"}));
}

// A recognizer's results share the metadata naming it and their pattern's
// explanation: a caller that marks or rewrites one result's changes neither
// the recognizer, nor the other results, nor the results of later calls.
TEST(PatternRecognizer, ChangingAResultLeavesOtherAndLaterResultsAlone) {
  PatternRecognizer r("CODE", {Pattern("code", R"(\bab\d\b)", 0.6)}, "en", {}, {}, "CodeRecognizer");
  const Utf8Text text("ab1 ab2 ab3");
  auto first = r.analyze(text, {}, nullptr);
  ASSERT_EQ(first.size(), 3u);
  first[0].recognition_metadata->insert_or_assign(RecognizerResult::RECOGNIZER_NAME_KEY, std::string("Other"));
  first[0].recognition_metadata->emplace(RecognizerResult::IS_SCORE_ENHANCED_BY_CONTEXT_KEY, true);
  first[1].recognition_metadata->erase(RecognizerResult::RECOGNIZER_IDENTIFIER_KEY);
  first[0].analysis_explanation.edit().set_improved_score(0.95);
  first[1].analysis_explanation.edit().set_supportive_context_word("kode");
  EXPECT_EQ(first[0].analysis_explanation->score_context_improvement, 0.95 - 0.6);
  EXPECT_EQ(first[1].analysis_explanation->supportive_context_word, "kode");
  EXPECT_EQ(first[2].analysis_explanation->score, 0.6);
  EXPECT_EQ(first[2].analysis_explanation->supportive_context_word, "");
  for (const auto& later : r.analyze(text, {}, nullptr)) {
    EXPECT_EQ(later.analysis_explanation->score, 0.6);
    EXPECT_EQ(later.analysis_explanation->supportive_context_word, "");
    const auto& md = *later.recognition_metadata;
    EXPECT_EQ(md.size(), 2u);
    EXPECT_EQ(std::get<std::string>(md.at(RecognizerResult::RECOGNIZER_NAME_KEY)), "CodeRecognizer");
    EXPECT_EQ(std::get<std::string>(md.at(RecognizerResult::RECOGNIZER_IDENTIFIER_KEY)), r.id());
  }
}

TEST(PatternRecognizer, IdsDifferBetweenInstances) {
  PatternRecognizer a("X", {Pattern("p", "x", 0.5)}, "en", {}, {}, "Same");
  PatternRecognizer b("X", {Pattern("p", "x", 0.5)}, "en", {}, {}, "Same");
  EXPECT_NE(a.id(), b.id());
  EXPECT_EQ(a.name(), b.name());
}

}  // namespace
}  // namespace tesk_privacy::recognition
