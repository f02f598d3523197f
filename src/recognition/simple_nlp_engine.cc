#include "recognition/simple_nlp_engine.h"

#include <stdexcept>

#include "recognition/english_lemmatizer.h"
#include "recognition/indonesian_lemmatizer.h"
#include "text/case_mapping.h"

namespace tesk_privacy::recognition {
namespace {

bool ends_sentence(std::string_view punctuation) {
  if (punctuation.ends_with("\xE2\x80\xA6")) return true;  // "…"
  const char last = punctuation.back();
  return last == '.' || last == '!' || last == '?';
}

// Lower-case words are reduced; a capitalised word only where a sentence
// starts; capitals, mixed case and other scripts' case forms never.
bool reducible(std::string_view token, std::string_view lower, bool sentence_start) {
  if (token == lower) return true;
  if (!sentence_start || token.size() != lower.size()) return false;
  const char first = token.front();
  return first >= 'A' && first <= 'Z' && token.substr(1) == lower.substr(1);
}

}  // namespace

SimpleNlpEngine::SimpleNlpEngine(const NlpConfiguration& configuration)
    : engine_name_(configuration.nlp_engine_name) {
  if (configuration.models.empty()) {
    throw std::invalid_argument("the NLP configuration names no models; give at least one "
                                "{lang_code, model_name} entry");
  }
  for (const NlpModelConfiguration& model : configuration.models) {
    if (model.model_name != kBuiltinModelName) {
      throw std::invalid_argument("NLP model '" + model.model_name + "' for language '" + model.lang_code +
                                  "' is not available; the built-in pipeline is '" + kBuiltinModelName + "'");
    }
    std::unique_ptr<Lemmatizer> lemmatizer;
    if (model.lang_code == "en") {
      lemmatizer = std::make_unique<EnglishLemmatizer>();
    } else if (model.lang_code == "id") {
      lemmatizer = std::make_unique<IndonesianLemmatizer>();
    } else {
      throw std::invalid_argument("the built-in NLP pipeline does not support language '" + model.lang_code +
                                  "'; supported: en, id");
    }
    Pipeline p{model.lang_code, model.model_name, std::move(lemmatizer), StopWords(model.lang_code)};
    std::erase_if(pipelines_, [&](const Pipeline& q) { return q.language == model.lang_code; });
    pipelines_.push_back(std::move(p));
  }
}

std::vector<std::string> SimpleNlpEngine::supported_languages() const {
  std::vector<std::string> languages;
  for (const Pipeline& p : pipelines_) languages.push_back(p.language);
  return languages;
}

const SimpleNlpEngine::Pipeline& SimpleNlpEngine::pipeline(const std::string& language) const {
  for (const Pipeline& p : pipelines_) {
    if (p.language == language) return p;
  }
  std::string known;
  for (const Pipeline& p : pipelines_) known += (known.empty() ? "" : ", ") + p.language;
  throw std::invalid_argument("the NLP engine has no pipeline for language '" + language + "'; configured: " +
                              known);
}

NlpArtifacts SimpleNlpEngine::process_text(const Utf8Text& text, const std::string& language) const {
  const Pipeline& p = pipeline(language);
  const std::string_view view = text.view();
  const std::vector<Token> tokens = tokenizer_.tokenize(view);

  NlpArtifacts a;
  a.nlp_engine_name = engine_name_;
  a.tokens.reserve(tokens.size());
  a.tokens_indices.reserve(tokens.size());
  a.lemmas.reserve(tokens.size());
  a.keywords.reserve(tokens.size());
  bool sentence_start = true;
  for (const Token& t : tokens) {
    const std::string_view token = view.substr(t.byte_start, t.byte_end - t.byte_start);
    a.tokens.emplace_back(token);
    a.tokens_indices.push_back(t.start);
    switch (t.kind) {
      case TokenKind::kPunctuation:
      case TokenKind::kSymbol:
        a.lemmas.emplace_back(token);
        if (ends_sentence(token)) sentence_start = true;
        continue;
      case TokenKind::kNumber:
      case TokenKind::kEmail:
      case TokenKind::kUrl:
        a.lemmas.emplace_back(token);
        a.keywords.push_back(to_lower(token));
        break;
      case TokenKind::kAbbreviation: {
        std::string lemma = to_lower(token);
        lemma.pop_back();  // the period
        if (!p.stop_words.contains(lemma)) a.keywords.push_back(lemma);
        a.lemmas.push_back(std::move(lemma));
        break;
      }
      case TokenKind::kWord: {
        std::string lower = to_lower(token);
        std::string lemma = reducible(token, lower, sentence_start) ? p.lemmatizer->lemmatize(lower) : lower;
        if (!p.stop_words.contains(lower) && !p.stop_words.contains(lemma)) a.keywords.push_back(lemma);
        a.lemmas.push_back(std::move(lemma));
        break;
      }
    }
    sentence_start = false;
  }

  std::vector<ner::TokenSpan> spans;
  spans.reserve(tokens.size());
  for (const Token& t : tokens) spans.push_back({t.byte_start, t.byte_end});
  for (const ner::Entity& e : tagger_.tag(view, spans, language)) {
    // Names are made of words: a span holding an e-mail address or a URL,
    // or no word at all, is the model's mistake.
    bool has_word = false, foreign = false;
    for (size_t i = e.begin_token; i < e.end_token; ++i) {
      has_word |= tokens[i].kind == TokenKind::kWord || tokens[i].kind == TokenKind::kAbbreviation;
      foreign |= tokens[i].kind == TokenKind::kEmail || tokens[i].kind == TokenKind::kUrl;
    }
    if (!has_word || foreign) continue;
    a.entities.push_back({std::string(ner::entity_type_name(e.type)), tokens[e.begin_token].start,
                          tokens[e.end_token - 1].end, e.score});
  }
  return a;
}

}  // namespace tesk_privacy::recognition
