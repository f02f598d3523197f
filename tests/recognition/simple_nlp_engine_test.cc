// The NLP engine, its configuration and provider: artifacts per language,
// configuration errors, hostile texts.
#include "recognition/simple_nlp_engine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recognition/nlp_engine_provider.h"

namespace tesk_privacy::recognition {
namespace {

using Words = std::vector<std::string>;

struct Case {
  std::string language;
  std::string text;
  Words lemmas;
  Words keywords;
};

TEST(SimpleNlpEngine, LemmasAndKeywordsPerLanguage) {
  const SimpleNlpEngine engine;
  const std::vector<Case> cases = {
      {"id", "Nomor rekening saya adalah 1234567890",
       {"nomor", "rekening", "saya", "adalah", "1234567890"}, {"nomor", "rekening", "1234567890"}},
      {"id", "Rekeningnya di PT. Maju, apakah benar?",
       {"rekening", "di", "pt", "maju", ",", "apa", "benar", "?"}, {"rekening", "pt", "maju", "benar"}},
      {"id", "Kirim ke budi@x.id atau https://x.id/a ya",
       {"kirim", "ke", "budi@x.id", "atau", "https://x.id/a", "ya"}, {"kirim", "budi@x.id", "https://x.id/a"}},
      {"id", "The accounts", {"the", "accounts"}, {"accounts"}},  // English stop words, Indonesian lemmas
      {"en", "The accounts were closed by Mr. James's bank.",
       {"the", "account", "be", "close", "by", "mr", "james", "'s", "bank", "."},
       {"account", "close", "mr", "james", "bank"}},
      {"en", "Accounts. BPJS numbers, Cards", {"account", ".", "bpjs", "number", ",", "cards"},
       {"account", "bpjs", "number", "cards"}},
      {"en", "saya adalah", {"saya", "adalah"}, {"saya", "adalah"}},  // no Indonesian stop words in "en"
  };
  for (const Case& c : cases) {
    const NlpArtifacts a = engine.process_text(c.text, c.language);
    EXPECT_EQ(a.lemmas, c.lemmas) << c.language << ": " << c.text;
    EXPECT_EQ(a.keywords, c.keywords) << c.language << ": " << c.text;
    EXPECT_EQ(a.tokens.size(), a.lemmas.size());
    EXPECT_EQ(a.tokens.size(), a.tokens_indices.size());
  }
}

TEST(SimpleNlpEngine, TokensAndOffsetsInCodePoints) {
  const NlpArtifacts a = SimpleNlpEngine().process_text("Bu Dédé 山田: \U0001F600 No.5", "id");
  EXPECT_EQ(a.tokens, (Words{"Bu", "Dédé", "山田", ":", "\U0001F600", "No.", "5"}));
  EXPECT_EQ(a.tokens_indices, (std::vector<int64_t>{0, 3, 8, 10, 12, 14, 17}));
  EXPECT_EQ(a.keywords, (Words{"bu", "dédé", "山田", "no", "5"}));
  EXPECT_EQ(a.nlp_engine_name, "spacy");
}

TEST(SimpleNlpEngine, HostileTexts) {
  const SimpleNlpEngine engine;
  const NlpArtifacts blank = engine.process_text(" \t\n\u00a0\u3000 ", "id");
  EXPECT_TRUE(blank.tokens.empty());
  EXPECT_TRUE(blank.keywords.empty());

  const NlpArtifacts punctuation = engine.process_text("!!! ... ?,;:()[]{}\"'", "en");
  EXPECT_FALSE(punctuation.tokens.empty());
  EXPECT_TRUE(punctuation.keywords.empty());
  EXPECT_EQ(punctuation.lemmas, punctuation.tokens);

  const NlpArtifacts emoji = engine.process_text("\U0001F600\U0001F44D\U0001F3FD \U0001F1EE\U0001F1E9", "id");
  EXPECT_EQ(emoji.tokens.size(), 3u);
  EXPECT_TRUE(emoji.keywords.empty());

  const std::string long_word(12000, 'a');
  const std::string long_upper = std::string(12000, 'X') + "nya";
  const NlpArtifacts longest = engine.process_text(long_word + "nya " + long_upper, "id");
  EXPECT_EQ(longest.tokens.size(), 2u);
  EXPECT_EQ(longest.lemmas[0], long_word);
  EXPECT_EQ(longest.tokens_indices[1], 12004);

  const NlpArtifacts mixed = engine.process_text("Nomor 山田 rekening مرحبا 0123", "id");
  EXPECT_EQ(mixed.keywords, (Words{"nomor", "山田", "rekening", "مرحبا", "0123"}));
}

TEST(SimpleNlpEngine, UnknownLanguage) {
  try {
    SimpleNlpEngine().process_text("x", "fr");
    FAIL() << "expected std::invalid_argument";
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "the NLP engine has no pipeline for language 'fr'; configured: en, id");
  }
}

TEST(NlpEngineProvider, CreatesTheConfiguredEngine) {
  const auto engine = NlpEngineProvider().create_engine();
  EXPECT_EQ(engine->supported_languages(), (Words{"en", "id"}));

  NlpConfiguration only_id;
  only_id.models = {{"id", "en_core_web_sm"}};
  const auto id_engine = NlpEngineProvider(only_id).create_engine();
  EXPECT_EQ(id_engine->supported_languages(), (Words{"id"}));
  EXPECT_THROW(id_engine->process_text("x", "en"), std::invalid_argument);
}

TEST(NlpEngineProvider, RefusesWhatItCannotBuild) {
  struct Bad {
    NlpConfiguration configuration;
    std::string message;
  };
  const std::vector<Bad> cases = {
      {{"stanza", {{"en", "en_core_web_sm"}}}, "NLP engine 'stanza' is not available; the available engine is 'spacy'"},
      {{"spacy", {{"id", "id_core_news_sm"}}},
       "NLP model 'id_core_news_sm' for language 'id' is not available; the built-in pipeline is 'en_core_web_sm'"},
      {{"spacy", {{"fr", "en_core_web_sm"}}},
       "the built-in NLP pipeline does not support language 'fr'; supported: en, id"},
      {{"spacy", {}}, "the NLP configuration names no models; give at least one {lang_code, model_name} entry"},
  };
  for (const Bad& c : cases) {
    try {
      NlpEngineProvider(c.configuration).create_engine();
      ADD_FAILURE() << "expected std::invalid_argument: " << c.message;
    } catch (const std::invalid_argument& e) {
      EXPECT_EQ(e.what(), c.message);
    }
  }
}

TEST(NlpConfiguration, FromJson) {
  EXPECT_EQ(NlpConfiguration::from_json(R"({"nlp_engine_name": "spacy", "models": [
      {"lang_code": "en", "model_name": "en_core_web_sm"},
      {"lang_code": "id", "model_name": "en_core_web_sm"}], "ner_model_configuration": {}})"),
            NlpConfiguration{});
  const NlpConfiguration one = NlpConfiguration::from_json(
      R"({"nlp_engine_name": "spacy", "models": [{"lang_code": "id", "model_name": "en_core_web_sm"}]})");
  EXPECT_EQ(one.models, (std::vector<NlpModelConfiguration>{{"id", "en_core_web_sm"}}));

  const std::vector<std::pair<std::string, std::string>> bad = {
      {"{", "not valid JSON"},
      {"[]", "not a JSON object"},
      {R"({"models": []})", "the configuration has no \"nlp_engine_name\""},
      {R"({"nlp_engine_name": 1, "models": []})", "the configuration's \"nlp_engine_name\" is not a string"},
      {R"({"nlp_engine_name": "spacy"})", "the configuration has no \"models\""},
      {R"({"nlp_engine_name": "spacy", "models": {}})", "\"models\" is not a list"},
      {R"({"nlp_engine_name": "spacy", "models": [1]})", "models[0] is not an object"},
      {R"({"nlp_engine_name": "spacy", "models": [{"lang_code": "id"}]})", "models[0] has no \"model_name\""},
  };
  for (const auto& [json, what] : bad) {
    try {
      NlpConfiguration::from_json(json);
      ADD_FAILURE() << "accepted " << json;
    } catch (const std::invalid_argument& e) {
      EXPECT_NE(std::string(e.what()).find("Illegal nlp configuration: " + what + "."), std::string::npos)
          << e.what();
    }
  }
}

}  // namespace
}  // namespace tesk_privacy::recognition
