// Organization-name, project-name and credit-card recognizers.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "pii_detector/recognizer/credit_card_recognizer.h"
#include "pii_detector/recognizer/organization_name_recognizer.h"
#include "pii_detector/recognizer/project_name_recognizer.h"
#include "recognition/predefined/span_table.h"
#include "tesk_privacy/pii_detector/constants.h"
#include "tesk_privacy/recognition/analyzer_engine.h"
#include "text/case_mapping.h"

namespace tesk_privacy::pii_detector {
namespace {

using testing::check_table;
using testing::Span;
using testing::spans;

TEST(OrganizationNameRecognizer, CaseSensitiveWhateverTheFlags) {
  const std::vector<testing::SpanCase> cases = {
      {"title-case words", "PT Maju Jaya", {{"PT Maju Jaya", 0.5}}},
      {"capitals then title case", "CV ABC Sejahtera", {{"CV ABC Sejahtera", 0.5}}},
      {"bank with abbreviations", "PT Bank BCA Tbk", {{"PT Bank BCA Tbk", 0.5}}},
      {"span ends at the first lower-case word", "Kerja di PT Sinar Mas Agro di Jakarta",
       {{"PT Sinar Mas Agro", 0.5}}},
      {"lower case", "pt maju jaya", {}},
      {"dot after PT", "PT. Maju", {}},
      {"lower-case first word", "PT maju", {}},
      {"no blank after PT", "PTMaju Jaya", {}},
      {"single capital is no word", "PT A", {}},
      {"glued to a preceding word", "ExPT Maju", {}},
      {"non-ASCII capital ends the name", "PT Maju Élan", {{"PT Maju", 0.5}}},
  };
  const OrganizationNameRecognizer r;
  check_table(r, cases);                                       // default flags, IGNORECASE included
  check_table(r, cases, regex::IGNORECASE);                    // IGNORECASE alone
  check_table(r, cases, regex::MULTILINE | regex::DOTALL);     // no IGNORECASE
}

TEST(ProjectNameRecognizer, BuiltInNamesPatternAndDenyList) {
  check_table(ProjectNameRecognizer(), {
      {"built-in name: pattern and deny list", "proyek Morvale", {{"Morvale", 0.5}, {"Morvale", 1.0}}},
      {"Project E", "Project E selesai", {{"Project E", 0.5}, {"Project E", 1.0}}},
      {"word boundary", "PELKAS", {}},
      {"Project and a title-case word", "Project Alpha", {{"Project Alpha", 0.5}}},
      {"any case under the default flags", "project plan", {{"project plan", 0.5}}},
      {"deny list is case-insensitive too", "tando", {{"tando", 0.5}, {"tando", 1.0}}},
  });
}

TEST(ProjectNameRecognizer, GeneratedPattern) {
  const auto patterns = ProjectNameRecognizer::_generate_patterns();
  ASSERT_EQ(patterns.size(), 1u);
  EXPECT_EQ(patterns[0].name, "Project (medium)");
  EXPECT_EQ(patterns[0].score, 0.5);
  EXPECT_EQ(patterns[0].regex,
            R"(\b(Project\s(?:E|[A-Z][a-z]+)|Halvern|Morvale|MORVALE|TRELIS|DORNAK|Project E|PELKA|TANDO)\b)");
  EXPECT_EQ(ProjectNameRecognizer::_generate_patterns(std::vector<std::string>{}), patterns);
  EXPECT_EQ(ProjectNameRecognizer::_generate_patterns(std::vector<std::string>{"Nebula", "Nebula"})[0].regex,
            R"(\b(Project\s(?:E|[A-Z][a-z]+)|Halvern|Morvale|MORVALE|TRELIS|DORNAK|Project E|PELKA|TANDO|Nebula|Nebula)\b)");
  EXPECT_EQ(&ProjectNameRecognizer::default_deny_list(), &ProjectNameRecognizer::default_project_names());
}

TEST(ProjectNameRecognizer, AdditionalNames) {
  const ProjectNameRecognizer r("id", std::vector<std::string>{"Nebula", "Neb.la"});
  EXPECT_EQ(r.PATTERNS, r.patterns());
  EXPECT_EQ(r.deny_list(), ProjectNameRecognizer::default_project_names());
  check_table(r, {
      {"additional name: pattern only", "proyek Nebula", {{"Nebula", 0.5}}},
      {"a dot in a name is a regex dot", "proyek Nebxla", {{"Nebxla", 0.5}}},
  });
}

TEST(ProjectNameRecognizer, InvalidAdditionalNameIsNamed) {
  const std::vector<std::vector<std::string>> bad = {
      {"Nebula", "Orion("},              // unbalanced parenthesis
      {"[Orion"},                        // unterminated class
      {"(?P<n>a)", "(?P<n>b)"},          // clashes with an earlier name
      {"Orion\\q"},                      // escape Python refuses
  };
  for (const auto& names : bad) {
    try {
      ProjectNameRecognizer r("id", names);
      ADD_FAILURE() << "accepted " << names.back();
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find("'" + names.back() + "'"), std::string::npos) << e.what();
    }
  }
}

TEST(CreditCardRecognizer, ScoresCappedAtBaseScore) {
  check_table(CreditCardRecognizer(), {
      {"Luhn-valid Visa alone", "Kartu 4111 1111 1111 1111 milik Budi", {{"4111 1111 1111 1111", 0.2}}},
      {"Luhn-valid Mastercard compact", "5555555555554444", {{"5555555555554444", 0.2}}},
      {"Luhn-valid Amex", "3782 822463 10005", {{"3782 822463 10005", 0.2}}},
      {"Luhn failure is dropped", "4111 1111 1111 1112", {}},
  });
  // The explanation, which the results of a pattern share, is capped too.
  const Utf8Text text("4111 1111 1111 1111, 5555555555554444 dan 4111111111111111");
  const auto results = CreditCardRecognizer().analyze(text, {}, nullptr);
  ASSERT_EQ(results.size(), 3u);
  for (const auto& r : results) {
    EXPECT_EQ(r.analysis_explanation->score, CREDIT_CARD_BASE_SCORE);
    EXPECT_EQ(r.analysis_explanation->validation_result, std::optional<bool>(true));
  }
}

TEST(CreditCardRecognizer, MergedNormalizedContext) {
  const CreditCardRecognizer plain;
  const std::set<std::string> merged(plain.context().begin(), plain.context().end());
  EXPECT_EQ(merged.size(), plain.context().size()) << "duplicates";
  for (const auto& term : plain.context()) {
    EXPECT_EQ(term, to_lower(term));
    EXPECT_EQ(term, CreditCardRecognizer::_normalize_context_term(term));
  }
  for (const auto& term : CreditCardRecognizer::default_context()) EXPECT_TRUE(merged.count(term)) << term;
  const BaseCreditCardRecognizer base;
  for (const auto& term : base.context()) EXPECT_TRUE(merged.count(term)) << term;

  recognition::CreditCardRecognizerOptions options;
  options.context = std::vector<std::string>{" Kartu ", "CC", "\tVISA\n"};
  const CreditCardRecognizer custom("id", options);
  const std::set<std::string> custom_merged(custom.context().begin(), custom.context().end());
  EXPECT_EQ(custom_merged.size(), custom.context().size());
  EXPECT_TRUE(custom_merged.count("kartu"));
  EXPECT_TRUE(custom_merged.count("amex"));
  EXPECT_FALSE(custom_merged.count("discover")) << "the custom context replaces the base one";

  EXPECT_EQ(CreditCardRecognizer::_normalize_context_term("\u00a0 Kartu KREDIT\u3000"), "kartu kredit");
  EXPECT_EQ(CreditCardRecognizer::_normalize_context_term("  "), "");
  for (const auto& p : plain.patterns()) EXPECT_LE(p.score, CREDIT_CARD_BASE_SCORE);
  EXPECT_EQ(plain.supported_language(), "id");
  EXPECT_EQ(plain.supported_entities(), std::vector<std::string>{Entities::CREDIT_CARD});
}

// Raises a result by 0.45 when one of its recognizer's context words occurs
// in the text: just enough of an enhancer to show the cap comes first.
class SubstringEnhancer : public recognition::ContextAwareEnhancer {
 public:
  SubstringEnhancer() : ContextAwareEnhancer(0.45, 0.46, 5, 0) {}
  std::vector<recognition::RecognizerResult> enhance_using_context(
      const Utf8Text& text, std::vector<recognition::RecognizerResult> out,
      const recognition::NlpArtifacts&, const std::vector<std::shared_ptr<recognition::EntityRecognizer>>& recognizers,
      const std::optional<std::vector<std::string>>&) const override {
    for (auto& r : out) {
      for (const auto& word : recognizers.front()->context()) {
        if (text.str().find(word) != std::string::npos) {
          r.score = std::min(std::max(r.score + context_similarity_factor, min_score_with_context_similarity), MAX_SCORE);
          break;
        }
      }
    }
    return out;
  }
};

TEST(CreditCardRecognizer, ContextLiftsTheCappedScore) {
  auto registry = std::make_shared<recognition::RecognizerRegistry>(
      std::vector<std::shared_ptr<recognition::EntityRecognizer>>{std::make_shared<CreditCardRecognizer>()},
      std::vector<std::string>{"id"});
  recognition::AnalyzerEngine engine(registry, nullptr, {"id"}, std::make_shared<SubstringEnhancer>());
  recognition::AnalyzeOptions options;
  options.score_threshold = 0.46;
  auto alone = engine.analyze("Nomor 4111 1111 1111 1111 tercatat", "id", options);
  EXPECT_TRUE(alone.empty());
  auto with_context = engine.analyze("kartu kredit 4111 1111 1111 1111", "id", options);
  ASSERT_EQ(with_context.size(), 1u);
  EXPECT_DOUBLE_EQ(with_context[0].score, 0.65);
}

TEST(OrganizationProjectCreditCard, EntityAndLanguage) {
  EXPECT_EQ(OrganizationNameRecognizer().supported_entities(), std::vector<std::string>{Entities::ORGANIZATION_NAME});
  EXPECT_EQ(ProjectNameRecognizer("en").supported_language(), "en");
  EXPECT_EQ(CreditCardRecognizer("en").supported_language(), "en");
}

}  // namespace
}  // namespace tesk_privacy::pii_detector
