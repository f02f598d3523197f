// Tagger: finds persons, locations and organisations in a tokenized text
// with a Model. The text is cut into sentences (after sentence-final
// punctuation and at line breaks), each sentence's tokens are scored with
// the model's features and labelled; a model with a second stage then
// scores every token again with the first stage's labels of the whole text
// (of blocks of about 4096 tokens in a long one) as further features
// (StackedFeatures). The last stage's scores are
// decoded into the best BIO-valid labelling, and every entity found gets a
// confidence: its probability under the model, calibrated so that a
// confidence of 0.5 is right about half of the time. An entity never begins
// or ends with a quote, bracket, "?", "!", ",", ";" or ":" token (such
// tokens at its edges are left out), and never takes in an e-mail address
// or URL (such a span is dropped), nor is it the name of an identity
// document alone ("NIK", "KTP"). A person's title or rank ("Bapak",
// "Drs.", "Mayor") and degrees after the name (", S.H.") are left out of
// it, and so are common words opening a sentence ("Makasih Dewi" -> "Dewi";
// "Gimana kabarnya" is no name). A capitalised word of a confident person name is a person wherever
// else in the text it stands alone, with that name's confidence.
//
//   ner::Tagger tagger;                               // the built-in model
//   std::vector<ner::TokenSpan> tokens = ...;         // byte ranges of the tokens
//   for (const ner::Entity& e : tagger.tag(text, tokens))
//     ... e.type, tokens[e.begin_token].begin, tokens[e.end_token - 1].end, e.score
//
// Immutable; tag() may run on several threads at once.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "ner/feature_extractor.h"
#include "ner/gazetteer.h"
#include "ner/labels.h"
#include "ner/model.h"
#include "ner/stacked_features.h"

namespace tesk_privacy::ner {

// A token as a byte range of the text.
struct TokenSpan {
  size_t begin = 0;
  size_t end = 0;
};

// An entity over tokens [begin_token, end_token) with its confidence in 0..1.
struct Entity {
  EntityType type;
  size_t begin_token;
  size_t end_token;
  double score;
};

// Sentences of a tokenized text as half-open ranges of token indices. A
// sentence ends after a token made only of ".", "!", "?" or "…", and before
// a token separated from the previous one by a line break. A "." after an
// initial ends none: a single letter directly before it, or a single capital
// with a space between ("S . Djajeng"); nor does a decimal point glued to
// the digits after it (".558").
std::vector<std::pair<size_t, size_t>> split_sentences(std::string_view text, std::span<const TokenSpan> tokens);

// The text of each token.
std::vector<std::string_view> token_words(std::string_view text, std::span<const TokenSpan> tokens);

// The last step of Tagger::tag, over the entities of a whole text (sorted
// by token): a person's leading titles and ranks ("Bapak", "Drs .", "Mayor")
// and the academic degrees after it (", S.H., M.Kn.", "Ph.D."; a degree that
// could be a surname, such as "Ma", only after a comma) are left out of the
// name, keeping at least one token; then each
// capitalised word of a person name with confidence 0.5 or more becomes a
// person, with that confidence, wherever else in the text it stands outside
// any entity ("George Roger Waters ... Waters"; adjacent such words form one
// name). The entities stay sorted by token.
void refine_person_names(std::string_view text, std::span<const TokenSpan> tokens, std::vector<Entity>& entities);

// A person name takes in the capitalised given names (on the gazetteer's
// lists, and no common word, title, month or day) that stand right before
// it outside any entity: the model often starts a name at its surname
// ("Lala [Hamid]"). The entities stay sorted by token.
void take_in_given_names(std::string_view text, std::span<const TokenSpan> tokens, const Gazetteer& gazetteer,
                         std::vector<Entity>& entities);

// A capitalised given name (on the gazetteer's lists) right after a word
// that addresses or introduces a person ("halo Budi", "saya Riko", "salam
// buat Indah", "Pak Slamet") is a person, with the listed name words after
// it, at least at even odds: one the model missed is added, one it doubted
// (under 0.5) or took alone for a place or organisation becomes a person at
// 0.5. The entities, sorted by token, stay sorted.
void settle_addressed_names(std::string_view text, std::span<const TokenSpan> tokens, const Gazetteer& gazetteer,
                            std::vector<Entity>& entities);

// Lines of a news report whose form says what their names are, each
// settled as the form requires:
// - A results line: a sentence made only of names each followed by
//   numbers, either two names with a score each ("Leicester 2 Chelsea 1")
//   or one name with three or more ("Newcastle 4 3 0 1 9 5 9", "NEW YORK 72
//   57 .558 -"). Its names are teams or players: each becomes an entity of
//   its own without the numbers, an organisation unless the model called it
//   a person or the gazetteer lists it as a country (a national team,
//   written as its country). A name the model left out is taken in, at even
//   odds, only in a line of two names and their scores, and only when it is
//   not made of common words ("Lantai 3 Ruang 5").
// - A dateline: places separated by commas and a date ("BRUSSELS
//   1996-08-22", "AL-AIN , United Arab Emirates 1996-12-06"). Each place the
//   model found (as any type) or the gazetteer lists as a place is a place;
//   a person the model found stays one unless the gazetteer lists the name
//   as a place.
// `sentences` as split_sentences() gives them; the entities, sorted by
// token, stay sorted.
void settle_report_lines(std::string_view text, std::span<const TokenSpan> tokens,
                         std::span<const std::pair<size_t, size_t>> sentences, const Gazetteer& gazetteer,
                         std::vector<Entity>& entities);

// The language of a text's words, "id" or "en", told apart by their
// commonest function words ("yang", "dan", "di" against "the", "of",
// "and"); `fallback` when neither clearly outnumbers the other, as in a
// short chat message.
std::string_view guess_language(std::span<const std::string_view> words, std::string_view fallback);

class Tagger {
 public:
  // Throws std::invalid_argument for a null model.
  explicit Tagger(std::shared_ptr<const Model> model = Model::builtin());

  // `tokens` must lie inside `text`, in order and without overlap; throws
  // std::invalid_argument otherwise. `language` ("id", "en") selects the
  // model's weights for that language besides the shared ones; an empty or
  // unknown language uses the shared ones alone. A text whose words are
  // plainly of the other of "id" and "en" (guess_language) is tagged as
  // that language: a caller that knows one language per run, as the command
  // line does ("id" unless told), still gets English text tagged as English.
  std::vector<Entity> tag(std::string_view text, std::span<const TokenSpan> tokens,
                          std::string_view language = "") const;

  // The feature domain of a language: domain_key("lang:" + language).
  static uint64_t language_domain(std::string_view language);

  // A text read by the first stage: its words and sentences, and every
  // token's features (sentence after sentence) and label.
  struct FirstStage {
    std::vector<std::string_view> words;
    std::vector<std::pair<size_t, size_t>> sentences;
    FeatureSet features;
    std::vector<int> labels;
  };
  // Fills `out` for a text; `tokens` as for tag(), `domains` the feature
  // domains (language_domain()). Labels are found only with `labels`.
  void first_stage(std::string_view text, std::span<const TokenSpan> tokens, std::span<const uint64_t> domains,
                   FirstStage& out, bool labels = true) const;

  // The last stage's emission scores of every token of a text (kNumLabels
  // per token) and the text's sentences. The second stage reads a long
  // text in blocks of whole sentences of about 4096 tokens, and what it
  // knows of a word's other mentions comes from the block.
  struct Scores {
    std::vector<std::pair<size_t, size_t>> sentences;
    std::vector<float> emissions;
  };
  void score(std::string_view text, std::span<const TokenSpan> tokens, std::span<const uint64_t> domains,
             Scores& out) const;
  // The label-to-label scores of the last stage.
  const TransitionScores& transitions() const;

  // The entities of one sentence, from its last-stage emission scores, with
  // their calibrated confidences.
  std::vector<Entity> decode(std::span<const float> emissions) const;
  // The calibrated confidence of a span of the given probability.
  double confidence(double probability) const;

  const Model& model() const { return *model_; }
  const FeatureExtractor& feature_extractor() const { return extractor_; }

 private:
  // Where a person span [begin, end) that opens its sentence starts once
  // its leading common words are left out ("Makasih Dewi" -> "Dewi";
  // "Gimana kabarnya", "Jangan Lupa Bahagia" -> nothing left): words on the
  // model's common-word list and on none of its name lists, unless the
  // whole span is a listed name. Chat messages and headings open with
  // capitalised words that are no names; a model without a common-word list
  // keeps every span as it is.
  size_t skip_opening_filler(std::string_view text, std::span<const TokenSpan> tokens, size_t begin,
                             size_t end) const;

  std::shared_ptr<const Model> model_;
  FeatureExtractor extractor_;
  std::optional<StackedFeatures> stacked_;
};

}  // namespace tesk_privacy::ner
