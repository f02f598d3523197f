// The context enhancer: windows, phrases, matching order, the score rule, its
// log lines, and its use by the analyzer engine.
#include "pii_detector/custom_lemma_context_aware_enhancer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "pii_detector/recognizer/bpjs_number_recognizer.h"
#include "recognition/simple_nlp_engine.h"
#include "tesk_privacy/core/logger.h"
#include "tesk_privacy/recognition/analyzer_engine.h"
#include "tesk_privacy/recognition/pattern_recognizer.h"

namespace tesk_privacy::pii_detector {
namespace {

using recognition::AnalysisExplanation;
using recognition::EntityRecognizer;
using recognition::NlpArtifacts;
using recognition::PatternRecognizer;
using recognition::RecognizerResult;
using Words = std::vector<std::string>;
using Enhancer = CustomLemmaContextAwareEnhancer;

const Words kBankContext = {"bank account", "rekening", "bank", "account number", "nomor akun",
                            "akun bank", "nomor rekening", "rekening bank"};

std::shared_ptr<PatternRecognizer> recognizer(const std::string& entity, Words context,
                                              const std::string& regex = R"(\b\d{10}\b)", double score = 0.3) {
  return std::make_shared<PatternRecognizer>(entity, std::vector<recognition::Pattern>{{entity, regex, score}}, "id",
                                             std::move(context));
}

RecognizerResult result_of(const EntityRecognizer& r, int64_t start, int64_t end, double score) {
  return RecognizerResult(r.supported_entities().front(), start, end, score,
                          AnalysisExplanation(r.name(), score),
                          RecognizerResult::Metadata{{RecognizerResult::RECOGNIZER_IDENTIFIER_KEY, r.id()}});
}

// "Nomor rekening saya adalah 1234567890": "saya" and "adalah" are stop words.
NlpArtifacts worked_example() {
  NlpArtifacts a;
  a.tokens = {"Nomor", "rekening", "saya", "adalah", "1234567890"};
  a.tokens_indices = {0, 6, 15, 20, 27};
  a.lemmas = {"nomor", "rekening", "saya", "adalah", "1234567890"};
  a.keywords = {"nomor", "rekening", "1234567890"};
  return a;
}

class CapturedLog : public ::testing::Test {
 protected:
  void SetUp() override {
    core::LoggerManager().set_sink([this](const core::LogRecord& r) {
      if (r.logger_name == kName) records.push_back(std::string(core::level_name(r.level)) + ":" + std::string(r.message));
    });
    core::LoggerManager().get_logger(kName).set_level(core::LogLevel::kDebug);
  }
  void TearDown() override {
    core::LoggerManager().get_logger(kName).set_level(core::LogLevel::kNotSet);
    core::LoggerManager().set_sink(nullptr);
  }
  bool logged(const std::string& line) const {
    return std::find(records.begin(), records.end(), line) != records.end();
  }
  static constexpr const char* kName = "tesk_privacy.pii_detector.custom_lemma_context_aware_enhancer";
  std::vector<std::string> records;
};

using CustomLemmaContextAwareEnhancerTest = CapturedLog;

TEST_F(CustomLemmaContextAwareEnhancerTest, WorkedExample) {
  const Enhancer enhancer(0.45, 0.46);
  const NlpArtifacts a = worked_example();
  EXPECT_EQ(Enhancer::_add_n_words_backward(4, 5, a.lemmas, a.keywords), (Words{"1234567890", "rekening", "nomor"}));
  EXPECT_EQ(Enhancer::_add_n_words_forward(4, 0, a.lemmas, a.keywords), (Words{"1234567890"}));
  EXPECT_EQ(enhancer._extract_phrases_backward(4, 5, a.lemmas, a.keywords), (Words{"nomor rekening"}));
  EXPECT_TRUE(enhancer._extract_phrases_forward(4, 0, a.lemmas, a.keywords).empty());
  const Words surrounding = enhancer._extract_surrounding_words(a, "1234567890", 27);
  EXPECT_EQ(std::set<std::string>(surrounding.begin(), surrounding.end()),
            (std::set<std::string>{"1234567890", "rekening", "nomor", "nomor rekening"}));
  EXPECT_EQ(Enhancer::_find_supportive_word_in_context(surrounding, kBankContext), "rekening");
  EXPECT_EQ(Enhancer::_find_supportive_word_in_context(surrounding, {"no rekening"}), "no rekening");
  EXPECT_TRUE(logged("DEBUG:Found partial context match 'no rekening' in 'nomor rekening'"));

  const auto bank = recognizer("BANK_ACCOUNT", kBankContext);
  const std::vector<RecognizerResult> raw = {result_of(*bank, 27, 37, 0.3)};
  const auto enhanced = enhancer.enhance_using_context("Nomor rekening saya adalah 1234567890", raw, a, {bank});
  ASSERT_EQ(enhanced.size(), 1u);
  EXPECT_DOUBLE_EQ(enhanced[0].score, 0.75);
  EXPECT_EQ(enhanced[0].analysis_explanation->supportive_context_word, "rekening");
  EXPECT_DOUBLE_EQ(enhanced[0].analysis_explanation->score, 0.75);
  EXPECT_DOUBLE_EQ(enhanced[0].analysis_explanation->score_context_improvement, 0.45);
  EXPECT_TRUE(logged("DEBUG:Found exact context match 'rekening'"));
  // The caller's results are untouched.
  EXPECT_DOUBLE_EQ(raw[0].score, 0.3);
  EXPECT_EQ(raw[0].analysis_explanation->supportive_context_word, "");
  EXPECT_DOUBLE_EQ(raw[0].analysis_explanation->score, 0.3);
}

TEST_F(CustomLemmaContextAwareEnhancerTest, ScoreRule) {
  struct Case {
    double factor, floor, raw, expected;
  };
  const std::vector<Case> cases = {
      {0.45, 0.46, 0.9, 1.0},  {0.45, 0.46, 0.0, 0.46}, {0.45, 0.46, 0.01, 0.46},
      {0.45, 0.46, 0.3, 0.75}, {0.35, 0.4, 0.01, 0.4},  {0.35, 0.4, 0.1, 0.45},
  };
  const auto bank = recognizer("BANK_ACCOUNT", kBankContext);
  for (const Case& c : cases) {
    const Enhancer enhancer(c.factor, c.floor);
    const auto out = enhancer.enhance_using_context("Nomor rekening saya adalah 1234567890",
                                                    {result_of(*bank, 27, 37, c.raw)}, worked_example(), {bank});
    EXPECT_DOUBLE_EQ(out[0].score, c.expected) << c.raw;
  }
  const Enhancer defaults;
  EXPECT_DOUBLE_EQ(defaults.context_similarity_factor, 0.35);
  EXPECT_DOUBLE_EQ(defaults.min_score_with_context_similarity, 0.4);
  EXPECT_EQ(defaults.context_prefix_count, 5);
  EXPECT_EQ(defaults.context_suffix_count, 0);
  EXPECT_EQ(defaults.max_phrase_words, 3);
}

TEST_F(CustomLemmaContextAwareEnhancerTest, MatchingOrder) {
  struct Case {
    std::string name;
    Words collected;
    Words recognizer_context;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"first listed of two exact matches", {"bank", "rekening"}, {"rekening", "bank"}, "rekening"},
      {"exact beats an earlier partial", {"nomor rekening", "rekening"}, {"no rekening", "rekening"}, "rekening"},
      {"short entry inside a longer lemma", {"hotel"}, {"phone", "tel"}, "tel"},
      {"entries compared lower-cased", {"kk"}, {"family card", "KK", "Nomor KK"}, "kk"},
      {"phrase entry, partial", {"nomor kk saya"}, {"Nomor KK"}, "nomor kk"},
      {"every word in one string", {"nomor", "kk"}, {"nomor kk"}, ""},
      {"caller context compared lower-cased", {"Rekening"}, {"rekening"}, "rekening"},
      {"blank entry supports nothing", {"rekening"}, {" ", "\t"}, ""},
      {"nothing collected", {}, kBankContext, ""},
      {"no recognizer context", {"rekening"}, {}, ""},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Enhancer::_find_supportive_word_in_context(c.collected, c.recognizer_context), c.expected) << c.name;
  }
}

TEST_F(CustomLemmaContextAwareEnhancerTest, WindowsCountKeywordsPhrasesCountTokens) {
  const Enhancer enhancer;
  // "nomor saya rekening adalah yang 1234567890" with three stop words.
  const Words lemmas = {"nomor", "saya", "rekening", "adalah", "yang", "1234567890", "bank"};
  const Words keywords = {"nomor", "rekening", "1234567890", "bank"};
  EXPECT_EQ(Enhancer::_add_n_words_backward(5, 5, lemmas, keywords), (Words{"1234567890", "rekening", "nomor"}));
  EXPECT_EQ(Enhancer::_add_n_words_backward(5, 1, lemmas, keywords), (Words{"1234567890", "rekening"}));
  EXPECT_EQ(Enhancer::_add_n_words_forward(5, 0, lemmas, keywords), (Words{"1234567890"}));
  EXPECT_EQ(Enhancer::_add_n_words_forward(3, 0, lemmas, keywords), (Words{"1234567890"}));  // first at or after
  EXPECT_EQ(Enhancer::_add_n_words_forward(5, 3, lemmas, keywords), (Words{"1234567890", "bank"}));
  // A stop word inside the window breaks phrases: "nomor saya rekening" is none.
  EXPECT_EQ(enhancer._extract_phrases_backward(5, 5, lemmas, keywords), Words{});
  EXPECT_EQ(enhancer._extract_phrases_forward(5, 5, lemmas, keywords), (Words{"1234567890 bank"}));
  EXPECT_TRUE(enhancer._extract_phrases_forward(5, 0, lemmas, keywords).empty());
  // Phrases of up to three words, the span's own token included; duplicates kept.
  const Words all = {"a", "b", "c", "d"};
  EXPECT_EQ(enhancer._extract_phrases_backward(3, 2, all, all), (Words{"a b", "b c", "a b c", "c d", "b c d"}));
  EXPECT_EQ(Enhancer(0.35, 0.4, 5, 0, 2)._extract_phrases_backward(3, 2, all, all), (Words{"a b", "b c", "c d"}));
  EXPECT_EQ(enhancer._extract_phrases_backward(3, 0, all, all), Words{});  // a window of one token
  // Out of range, or a window of nothing.
  EXPECT_TRUE(Enhancer::_add_n_words_backward(9, 5, all, all).empty());
  EXPECT_TRUE(Enhancer::_add_n_words_backward(2, -1, all, all).empty());
}

TEST_F(CustomLemmaContextAwareEnhancerTest, AnchoringTheSpanOnAToken) {
  const Words tokens = {"ab", "cd", "\U0001F600x"};
  const std::vector<int64_t> starts = {0, 6, 10};
  EXPECT_EQ(Enhancer::_find_index_of_match_token("b", 1, tokens, starts), 0);  // inside a token
  EXPECT_EQ(Enhancer::_find_index_of_match_token(" ", 4, tokens, starts), 1);  // in the blank: the next token
  EXPECT_EQ(Enhancer::_find_index_of_match_token("x", 11, tokens, starts), 2);  // lengths in code points
  try {
    Enhancer::_find_index_of_match_token("zz", 12, tokens, starts);
    FAIL() << "expected std::invalid_argument";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "Did not find word 'zz' in the list of tokens although it is expected to be found");
  }
}

TEST_F(CustomLemmaContextAwareEnhancerTest, SpanAfterTheLastTokenKeepsItsScoreOthersAreRaised) {
  const Enhancer enhancer(0.45, 0.46);
  const auto bank = recognizer("BANK_ACCOUNT", kBankContext);
  NlpArtifacts a = worked_example();
  const std::string text = "Nomor rekening saya adalah 1234567890 0987654321";
  // Artifacts that stop before the second number (e.g. from a truncating engine).
  const std::vector<RecognizerResult> raw = {result_of(*bank, 38, 48, 0.3), result_of(*bank, 27, 37, 0.3),
                                             result_of(*bank, 37, 38, 0.2)};
  const auto out = enhancer.enhance_using_context(text, raw, a, {bank});
  ASSERT_EQ(out.size(), 3u);
  EXPECT_DOUBLE_EQ(out[0].score, 0.3);
  EXPECT_EQ(out[0].analysis_explanation->supportive_context_word, "");
  EXPECT_DOUBLE_EQ(out[1].score, 0.75);
  EXPECT_DOUBLE_EQ(out[2].score, 0.2);  // 37: the end of the last token
  EXPECT_TRUE(logged("DEBUG:Did not find word '0987654321' in the list of tokens although it is expected to be "
                     "found; the score is left unchanged"));
}

TEST_F(CustomLemmaContextAwareEnhancerTest, ResultsLeftAlone) {
  const Enhancer enhancer(0.45, 0.46);
  const auto bank = recognizer("BANK_ACCOUNT", kBankContext);
  const auto silent = recognizer("SILENT", {});
  const auto other = recognizer("OTHER", {"rekening"});
  RecognizerResult no_metadata("BANK_ACCOUNT", 27, 37, 0.3);
  RecognizerResult unknown_id = result_of(*other, 27, 37, 0.3);  // `other` is not handed over
  RecognizerResult boosted = result_of(*bank, 27, 37, 0.3);
  boosted.recognition_metadata->emplace(RecognizerResult::IS_SCORE_ENHANCED_BY_CONTEXT_KEY, true);
  RecognizerResult not_boosted = result_of(*bank, 27, 37, 0.3);
  not_boosted.recognition_metadata->emplace(RecognizerResult::IS_SCORE_ENHANCED_BY_CONTEXT_KEY, false);
  RecognizerResult no_explanation = result_of(*bank, 27, 37, 0.3);
  no_explanation.analysis_explanation.reset();

  const auto out = enhancer.enhance_using_context(
      "Nomor rekening saya adalah 1234567890", {no_metadata, unknown_id, result_of(*silent, 27, 37, 0.3), boosted,
                                                not_boosted, no_explanation},
      worked_example(), {bank, silent});
  ASSERT_EQ(out.size(), 6u);
  for (size_t i = 0; i < 4; ++i) EXPECT_DOUBLE_EQ(out[i].score, 0.3) << i;
  EXPECT_DOUBLE_EQ(out[4].score, 0.75);
  EXPECT_DOUBLE_EQ(out[5].score, 0.75);
  ASSERT_TRUE(out[5].analysis_explanation.has_value());
  EXPECT_EQ(out[5].analysis_explanation->supportive_context_word, "rekening");
  EXPECT_DOUBLE_EQ(out[5].analysis_explanation->original_score, 0.3);
  EXPECT_TRUE(logged("DEBUG:Recognizer name not found as part of the recognition_metadata dict in the "
                     "RecognizerResult."));
  EXPECT_TRUE(logged("DEBUG:recognizer '" + silent->name() + "' does not support context enhancement"));
  EXPECT_TRUE(logged("DEBUG:result score already boosted, skipping"));
  EXPECT_TRUE(logged("DEBUG:Context list is: 1234567890 rekening nomor nomor rekening"));
}

// Results sharing a token and a recognizer reuse one context search when
// debug logging is off; the outcome must equal the per-result search.
TEST_F(CustomLemmaContextAwareEnhancerTest, ResultsSharingATokenAsWithPerResultSearch) {
  const Enhancer enhancer(0.45, 0.46);
  const auto bank = recognizer("BANK_ACCOUNT", kBankContext);
  const auto card = recognizer("CARD", {"kartu"});
  const auto nomor = recognizer("NOMOR", {"adalah", "nomor"});
  const std::vector<RecognizerResult> raw = {
      result_of(*bank, 27, 37, 0.3), result_of(*card, 27, 37, 0.3), result_of(*bank, 28, 33, 0.2),
      result_of(*nomor, 27, 30, 0.1), result_of(*card, 29, 37, 0.4), result_of(*nomor, 0, 5, 0.1),
      result_of(*bank, 6, 14, 0.3)};
  const std::string text = "Nomor rekening saya adalah 1234567890";
  const auto per_result = enhancer.enhance_using_context(text, raw, worked_example(), {bank, card, nomor});
  core::LoggerManager().get_logger(kName).set_level(core::LogLevel::kNotSet);
  const auto shared = enhancer.enhance_using_context(text, raw, worked_example(), {bank, card, nomor});
  ASSERT_EQ(shared.size(), per_result.size());
  for (size_t i = 0; i < shared.size(); ++i) {
    EXPECT_DOUBLE_EQ(shared[i].score, per_result[i].score) << i;
    EXPECT_EQ(shared[i].analysis_explanation->supportive_context_word,
              per_result[i].analysis_explanation->supportive_context_word)
        << i;
  }
  EXPECT_DOUBLE_EQ(shared[2].score, 0.65);  // the second bank result in the token is raised too
  EXPECT_DOUBLE_EQ(shared[4].score, 0.4);   // "kartu" is nowhere near
}

TEST_F(CustomLemmaContextAwareEnhancerTest, NoTokensOnlyCallerContext) {
  const Enhancer enhancer(0.45, 0.46);
  const auto bpjs = recognizer("BPJS", {"bpjs"}, R"(\b\d{13}\b)", 0.01);
  const std::vector<RecognizerResult> raw = {result_of(*bpjs, 0, 13, 0.01)};
  auto out = enhancer.enhance_using_context("0001234567890", raw, NlpArtifacts{}, {bpjs}, Words{"BPJS"});
  EXPECT_DOUBLE_EQ(out[0].score, 0.46);
  EXPECT_TRUE(logged("INFO:Skipping context extraction due to lack of NLP artifacts"));
  out = enhancer.enhance_using_context("0001234567890", raw, NlpArtifacts{}, {bpjs});
  EXPECT_DOUBLE_EQ(out[0].score, 0.01);
  EXPECT_EQ(enhancer._extract_surrounding_words(NlpArtifacts{}, "x", 0), Words{""});
}

// Through the analyzer engine, with the built-in NLP engine.
struct EngineCase {
  std::string name;
  std::string text;
  Words caller_context;
  std::vector<double> scores;  // of the reported results, threshold 0.46
};

void check_engine(const std::shared_ptr<EntityRecognizer>& r, const std::vector<EngineCase>& cases) {
  auto registry = std::make_shared<recognition::RecognizerRegistry>(std::vector<std::shared_ptr<EntityRecognizer>>{},
                                                                    Words{"en", "id"});
  registry->add_recognizer(r);
  const recognition::AnalyzerEngine engine(registry, std::make_shared<recognition::SimpleNlpEngine>(), {"en", "id"},
                                           std::make_shared<Enhancer>(0.45, 0.46));
  for (const EngineCase& c : cases) {
    recognition::AnalyzeOptions options;
    options.score_threshold = 0.46;
    if (!c.caller_context.empty()) options.context = c.caller_context;
    std::vector<double> scores;
    for (const RecognizerResult& result : engine.analyze(c.text, "id", options)) scores.push_back(result.score);
    ASSERT_EQ(scores.size(), c.scores.size()) << c.name;
    for (size_t i = 0; i < scores.size(); ++i) EXPECT_DOUBLE_EQ(scores[i], c.scores[i]) << c.name;
  }
}

TEST_F(CustomLemmaContextAwareEnhancerTest, ThroughTheAnalyzerEngine) {
  const std::vector<EngineCase> bpjs_cases = {
      {"context word before", "bpjs 0001234567890", {}, {0.46}},
      {"capitals and punctuation", "Nomor BPJS: 0001234567890.", {}, {0.46}},
      {"stop words between", "bpjs saya adalah 0001234567890", {}, {0.46}},
      {"phrase", "Jaminan sosial 0001234567890", {}, {0.46}},
      {"inflected with a clitic", "bpjsnya 0001234567890", {}, {0.46}},
      {"six keywords between", "bpjs satu dua tiga empat lima enam 0001234567890", {}, {0.46}},  // phrase "bpjs satu"
      {"too far back", "bpjs satu dua tiga empat lima enam tujuh delapan 0001234567890", {}, {}},
      {"context after the number only", "0001234567890 bpjs", {}, {}},
      {"no context", "nomor 0001234567890", {}, {}},
      {"caller context", "nomor 0001234567890", {"BPJS"}, {0.46}},
  };
  check_engine(std::make_shared<PatternRecognizer>(
                   "ID_BPJS_NUMBER", std::vector<recognition::Pattern>{{"BPJS", R"(\b\d{13}\b)", 0.01}}, "id",
                   Words{"bpjs", "social security", "jaminan sosial", "bpjs kesehatan"}),
               bpjs_cases);
  check_engine(std::make_shared<BPJSNumberRecognizer>("id"), bpjs_cases);
  check_engine(recognizer("BANK_ACCOUNT", {"rekening"}, R"(\b\d{10}\b)", 0.01),
               {{"caller context Rekening", "kode 1234567890", {"Rekening"}, {0.46}},
                {"rekening with a clitic", "Rekeningnya 1234567890", {}, {0.46}},
                {"two numbers, one context", "rekening 1234567890 dan 0987654321", {}, {0.46, 0.46}}});
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
