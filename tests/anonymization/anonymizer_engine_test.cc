#include "tesk_privacy/anonymization/anonymizer_engine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <stdexcept>

namespace tesk_privacy::anonymization {
namespace {

using recognition::AnalysisExplanation;
using recognition::RecognizerResult;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using Strategy = ConflictResolutionStrategy;
constexpr auto kMerge = Strategy::MERGE_SIMILAR_OR_CONTAINED;
constexpr auto kRemove = Strategy::REMOVE_INTERSECTIONS;

// "TYPE[start,end)@score", readable in failure output.
std::vector<std::string> spans(const std::vector<RecognizerResult>& results) {
  std::vector<std::string> out;
  for (const auto& r : results) {
    char score[16];
    std::snprintf(score, sizeof score, "%g", r.score);
    out.push_back(r.entity_type + "[" + std::to_string(r.start) + "," + std::to_string(r.end) +
                  ")@" + score);
  }
  return out;
}

const AnonymizerEngine engine;

TEST(AnonymizerEngineConflictTest, ResolvesConflictsPerStrategy) {
  struct Case {
    const char* what;
    Strategy strategy;
    std::vector<RecognizerResult> input;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"empty and inverted spans", kMerge, {{"A", 5, 5, 0.9}, {"A", 6, 4, 0.9}, {"B", 1, 2, 0.1}},
       {"B[1,2)@0.1"}},
      {"identical spans: best score", kMerge, {{"P", 0, 5, 0.6}, {"L", 0, 5, 0.9}}, {"L[0,5)@0.9"}},
      {"identical spans: tie keeps first", kMerge, {{"L", 0, 5, 0.7}, {"P", 0, 5, 0.7}},
       {"L[0,5)@0.7"}},
      {"contained, other type, higher score", kMerge, {{"L", 2, 5, 0.9}, {"P", 0, 10, 0.4}},
       {"P[0,10)@0.4"}},
      {"same type overlap merges", kMerge, {{"P", 4, 10, 0.8}, {"P", 0, 6, 0.5}},
       {"P[0,10)@0.8"}},
      {"same type adjacent stays apart", kMerge, {{"P", 4, 8, 0.5}, {"P", 0, 4, 0.5}},
       {"P[0,4)@0.5", "P[4,8)@0.5"}},
      {"merged span swallows other type", kMerge,
       {{"P", 0, 5, 0.9}, {"L", 3, 8, 0.5}, {"P", 4, 10, 0.6}}, {"P[0,10)@0.9"}},
      {"other types overlap kept under merge", kMerge, {{"L", 4, 10, 0.6}, {"P", 0, 6, 0.8}},
       {"P[0,6)@0.8", "L[4,10)@0.6"}},
      {"higher score keeps its span", kRemove, {{"P", 0, 6, 0.6}, {"L", 4, 10, 0.8}},
       {"P[0,4)@0.6", "L[4,10)@0.8"}},
      {"tie: earlier start keeps its span", kRemove, {{"L", 4, 10, 0.7}, {"P", 0, 6, 0.7}},
       {"P[0,6)@0.7", "L[6,10)@0.7"}},
      {"chain trimmed in score order", kRemove,
       {{"C", 8, 30, 0.7}, {"B", 5, 20, 0.8}, {"A", 0, 10, 0.9}},
       {"A[0,10)@0.9", "B[10,20)@0.8", "C[20,30)@0.7"}},
      {"nothing left after trimming", kRemove,
       {{"A", 0, 6, 0.9}, {"B", 4, 12, 0.5}, {"C", 5, 20, 0.8}}, {"A[0,6)@0.9", "C[6,20)@0.8"}},
  };
  for (const Case& c : cases) {
    auto out = engine._remove_conflicts_and_get_text_manipulation_data(c.input, c.strategy);
    EXPECT_EQ(spans(out), c.expected) << c.what;
    EXPECT_EQ(spans(engine._remove_conflicts_and_get_text_manipulation_data(out, c.strategy)),
              c.expected)
        << c.what << " (second pass)";
  }
}

TEST(AnonymizerEngineConflictTest, MergeKeepsExplanationOfHigherScore) {
  RecognizerResult low("P", 0, 6, 0.5, AnalysisExplanation("low", 0.5));
  RecognizerResult high("P", 4, 10, 0.8, AnalysisExplanation("high", 0.8),
                        RecognizerResult::Metadata{{"recognizer_name", std::string("high")}});
  auto out = engine._remove_conflicts_and_get_text_manipulation_data({low, high}, std::nullopt);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].analysis_explanation->recognizer, "high");
  EXPECT_EQ(out[0].recognition_metadata, high.recognition_metadata);
}

// Random spans: the output is idempotent, sorted, free of empty, contained
// and same-type overlapping spans, and fully disjoint under REMOVE_INTERSECTIONS.
TEST(AnonymizerEngineConflictTest, RandomInputsSatisfyInvariants) {
  std::mt19937 rng(7);
  for (int round = 0; round < 300; ++round) {
    std::vector<RecognizerResult> input;
    for (int i = rng() % 8; i > 0; --i) {
      int64_t s = rng() % 30, len = rng() % 10;
      input.emplace_back(std::string(1, "ABC"[rng() % 3]), s, s + len, (rng() % 4) / 4.0);
    }
    for (Strategy strategy : {kMerge, kRemove}) {
      auto out = engine._remove_conflicts_and_get_text_manipulation_data(input, strategy);
      ASSERT_EQ(spans(engine._remove_conflicts_and_get_text_manipulation_data(out, strategy)),
                spans(out));
      for (size_t i = 0; i < out.size(); ++i) {
        ASSERT_LT(out[i].start, out[i].end);
        if (i > 0) {
          ASSERT_LT(out[i - 1].start, out[i].start);
        }
        for (size_t j = 0; j < out.size(); ++j) {
          if (i == j) continue;
          ASSERT_FALSE(out[i].contained_in(out[j])) << spans(out)[i];
          bool may_overlap = strategy == kMerge && out[i].entity_type != out[j].entity_type;
          if (!may_overlap) {
            ASSERT_FALSE(out[i].intersects(out[j])) << spans(out)[i];
          }
        }
      }
    }
  }
}

TEST(AnonymizerEngineWhitespaceMergeTest, MergesSameTypeAcrossWhiteSpaceOnly) {
  // Code points: Budi 0-4, Santoso 5-12, "\n\t", Wijaya 14-20, NBSP, Putra 21-26,
  // U+3000, Jaya 27-31, ", " Ani 33-36, " dan " Ina 41-44.
  const Utf8Text text("Budi Santoso\n\tWijaya\u00A0Putra\u3000Jaya, Ani dan Ina");
  struct Case {
    const char* what;
    std::vector<RecognizerResult> input;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"space", {{"P", 0, 4, 0.3}, {"P", 5, 12, 0.9}}, {"P[0,12)@0.9"}},
      {"newline and tab, unsorted", {{"P", 14, 20, 0.9}, {"P", 5, 12, 0.4}}, {"P[5,20)@0.9"}},
      {"NBSP and ideographic space",
       {{"P", 14, 20, 0.5}, {"P", 21, 26, 0.6}, {"P", 27, 31, 0.4}}, {"P[14,31)@0.6"}},
      {"adjacent", {{"P", 0, 2, 0.5}, {"P", 2, 4, 0.5}}, {"P[0,4)@0.5"}},
      {"punctuation between", {{"P", 27, 31, 0.5}, {"P", 33, 36, 0.5}},
       {"P[27,31)@0.5", "P[33,36)@0.5"}},
      {"word between", {{"P", 33, 36, 0.5}, {"P", 41, 44, 0.5}}, {"P[33,36)@0.5", "P[41,44)@0.5"}},
      {"other type between", {{"P", 0, 4, 0.5}, {"L", 5, 12, 0.5}, {"P", 14, 20, 0.5}},
       {"P[0,4)@0.5", "L[5,12)@0.5", "P[14,20)@0.5"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(spans(engine._merge_entities_with_whitespace_between(text, c.input)), c.expected)
        << c.what;
  }
  EXPECT_THROW(engine._merge_entities_with_whitespace_between(text, {{"P", 40, 45, 0.5}}),
               std::invalid_argument);
  // Python's white space includes the information separators U+001C-U+001F.
  for (const char* separator : {"\x1c", "\x1d", "\x1e", "\x1f"}) {
    const Utf8Text separated(std::string("Budi") + separator + "Santoso");
    EXPECT_EQ(spans(engine._merge_entities_with_whitespace_between(separated, {{"P", 0, 4, 0.5}, {"P", 5, 12, 0.5}})),
              std::vector<std::string>{"P[0,12)@0.5"});
  }
}

// Code points: "Budi Santoso" 0-12, Bandung 24-31, café 34-38, ñ 39, 😀 41.
const Utf8Text kText("Budi Santoso tinggal di Bandung — café ñ 😀");
const std::vector<RecognizerResult> kFound = {
    {"EMOJI", 41, 42, 0.5}, {"PERSON", 0, 12, 0.9}, {"WORD", 34, 38, 0.7}};

// Every item's offsets must select its text in the output.
void expect_items_match_output(const EngineResult& r) {
  Utf8Text out(r.text);
  for (const OperatorResult& item : r.items) EXPECT_EQ(out.slice(item.start, item.end), item.text);
}

TEST(AnonymizerEngineOperatorsTest, EachOperatorOnMultiByteText) {
  struct Case {
    OperatorConfig config;
    std::string replacement;
  };
  auto mask = [](const char* c, int64_t n, bool from_end) {
    return OperatorConfig("mask",
                          {{"masking_char", c}, {"chars_to_mask", n}, {"from_end", from_end}});
  };
  const std::vector<Case> cases = {
      {OperatorConfig("replace"), "<WORD>"},
      {OperatorConfig("replace", {{"new_value", "«kata»"}}), "«kata»"},
      {OperatorConfig("redact"), ""},
      {OperatorConfig("keep"), "café"},
      {mask("✱", 3, false), "✱✱✱é"},
      {mask("#", 2, true), "ca##"},
      {mask("*", 10, false), "****"},
      {OperatorConfig("hash"), "850f7dc43910ff890f8879c0ed26fe697c93a067ad93a7d50f466a7028a9bf4e"},
      {OperatorConfig("hash", {{"hash_type", "md5"}}), "07117fe4a1ebd544965dc19573183da2"},
      {OperatorConfig("hash", {{"hash_type", "sha512"}}),
       "0c9dac7fe613719170790f08a5f7b9f5ef876c7b57ff429074bf417969c2c541"
       "07d924daf5e706568afca4712d91da1cfdf77588d76403a845177e23e3aeb8ce"},
      {OperatorConfig("custom", {{"lambda", [](const std::string& s) { return "[" + s + "]"; }}}),
       "[café]"},
      // See encryption_test.cc for how this value was made.
      {OperatorConfig("encrypt", {{"key", "0123456789abcdef"}}), "TSjC0ZHh7joWB8/QKpZl8kMDnW04ZtmnPeDI664TjGg="},
  };
  for (const Case& c : cases) {
    EngineResult r = engine.anonymize(kText, kFound, OperatorMap{{"WORD", c.config}});
    EXPECT_EQ(r.text, "<PERSON> tinggal di Bandung — " + c.replacement + " ñ <EMOJI>");
    ASSERT_EQ(r.items.size(), 3u);
    EXPECT_EQ(r.items[1].text, c.replacement);
    EXPECT_EQ(r.items[1].operator_name, c.config.operator_name);
    expect_items_match_output(r);
  }
}

TEST(AnonymizerEngineOperatorsTest, PicksOperatorByTypeThenDefault) {
  OperatorMap ops{{"PERSON", OperatorConfig("redact")},
                  {"DEFAULT", OperatorConfig("replace", {{"new_value", "∎"}})}};
  EngineResult r = engine.anonymize(kText, kFound, ops);
  EXPECT_EQ(r.text, " tinggal di Bandung — ∎ ñ ∎");
  EXPECT_THAT(r.items, ElementsAre(OperatorResult{"PERSON", 0, 0, "", "redact"},
                                   OperatorResult{"WORD", 22, 23, "∎", "replace"},
                                   OperatorResult{"EMOJI", 26, 27, "∎", "replace"}));
}

TEST(AnonymizerEngineOperatorsTest, OverlapsAreTrimmedAndAdjacentSpansStayIntact) {
  // LOCATION outscores PERSON and keeps its span; PERSON keeps "Budi", and
  // the space at the edge where it was cut stays text.
  EngineResult r = engine.anonymize(kText, {{"PERSON", 0, 12, 0.6}, {"LOCATION", 5, 20, 0.9}});
  EXPECT_EQ(r.text, "<PERSON> <LOCATION> di Bandung — café ñ 😀");
  expect_items_match_output(r);
  r = engine.anonymize(kText, {{"PERSON", 5, 12, 0.6}, {"PERSON", 0, 4, 0.6}, {"X", 4, 5, 0.1}});
  EXPECT_EQ(r.text, "<PERSON><X><PERSON> tinggal di Bandung — café ñ 😀");
}

// With "keep" the output must equal the input; with a replacement the text
// between items must be the input between the same spans, byte for byte.
// The second text has runs of blanks, which a cut span gives up at its edge.
TEST(AnonymizerEngineOperatorsTest, RandomSpansNeverCorruptOutput) {
  std::mt19937 rng(11);
  const Utf8Text spaced("Budi   Santoso  di \t Bandung —   café ñ  😀   ");
  for (const Utf8Text* text_of : {&kText, &spaced}) {
    const Utf8Text& text = *text_of;
    const auto n = static_cast<int64_t>(text.length());
    const OperatorMap keep{{"DEFAULT", OperatorConfig("keep")}};
    const OperatorMap replace{{"DEFAULT", OperatorConfig("replace", {{"new_value", "«𝕏»"}})}};
    for (int round = 0; round < 200; ++round) {
      std::vector<RecognizerResult> input;
      for (int i = rng() % 6; i > 0; --i) {
        int64_t s = static_cast<int64_t>(rng() % n), e = s + rng() % 12;
        input.emplace_back(std::string(1, "AB"[rng() % 2]), s, std::min<int64_t>(e, n),
                           (rng() % 3) / 3.0);
      }
      Strategy strategy = round % 2 ? kMerge : kRemove;
      EngineResult kept = engine.anonymize(text, input, keep, strategy);
      ASSERT_EQ(kept.text, text.str());
      expect_items_match_output(kept);
      EngineResult replaced = engine.anonymize(text, input, replace, strategy);
      ASSERT_EQ(replaced.items.size(), kept.items.size());
      std::string expected;
      int64_t pos = 0;
      for (const OperatorResult& item : kept.items) {
        ASSERT_LE(pos, item.start);
        expected += std::string(text.slice(pos, item.start)) + "«𝕏»";
        pos = item.end;
      }
      expected += text.slice(pos, text.length());
      ASSERT_EQ(replaced.text, expected);
      expect_items_match_output(replaced);
      // The replacements of settled results are the ones anonymize() makes.
      const auto settled = engine.replace_settled(
          text, engine._remove_conflicts_and_get_text_manipulation_data(input, strategy), replace);
      ASSERT_EQ(settled.size(), replaced.items.size());
      for (size_t k = 0; k < settled.size(); ++k) {
        EXPECT_EQ(settled[k].span.entity_type, replaced.items[k].entity_type);
        EXPECT_EQ(settled[k].text, replaced.items[k].text);
        EXPECT_EQ(settled[k].span.start, kept.items[k].start);
        EXPECT_EQ(settled[k].span.end, kept.items[k].end);
      }
    }
  }
}

TEST(AnonymizerEngineOperatorsTest, ReportsBadInputAndPropagatesLambdaErrors) {
  struct LambdaFailure {};
  auto custom = [](CustomFunction fn) {
    return OperatorMap{{"WORD", OperatorConfig("custom", {{"lambda", std::move(fn)}})}};
  };
  EXPECT_THROW(engine.anonymize(kText, kFound, custom([](const std::string&) -> std::string {
                                  throw LambdaFailure();
                                })),
               LambdaFailure);
  try {
    engine.anonymize(kText, kFound,
                     custom([](const std::string&) { return std::string("\xC3("); }));
    ADD_FAILURE() << "invalid UTF-8 accepted";
  } catch (const std::invalid_argument& e) {
    EXPECT_THAT(e.what(), HasSubstr("custom operator for WORD returned invalid UTF-8"));
  }
  EXPECT_THROW(engine.anonymize(kText, {{"P", 40, 43, 0.5}}), std::invalid_argument);
  EXPECT_THROW(engine.anonymize(kText, {{"P", -1, 3, 0.5}}), std::invalid_argument);
  OperatorMap broken{{"WORD", OperatorConfig("redact")}};
  broken.at("WORD").operator_name = "shred";
  EXPECT_THROW(engine.anonymize(kText, kFound, broken), std::invalid_argument);
}

}  // namespace
}  // namespace tesk_privacy::anonymization
